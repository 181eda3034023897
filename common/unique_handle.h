// One owner per kind of handle: move-only, closes what it holds when it goes
// out of scope, so every early return releases what a function opened.
#pragma once
#include <windows.h>
#include <stdlib.h>

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;
  UniqueHandle() : value_(Traits::empty()) {}
  explicit UniqueHandle(Type value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  bool valid() const { return value_ != Traits::empty(); }
  explicit operator bool() const { return valid(); }
  // Closes the held value (if any) and takes the new one.
  void reset(Type value = Traits::empty()) {
    if (valid()) Traits::close(value_);
    value_ = value;
  }
  // Gives the value up without closing it.
  Type release() {
    Type value = value_;
    value_ = Traits::empty();
    return value;
  }
  // For out-parameters: closes the held value and exposes the slot.
  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_;
};

struct FileHandleTraits {  // CreateFile: empty is INVALID_HANDLE_VALUE
  using Type = HANDLE;
  static Type empty() { return INVALID_HANDLE_VALUE; }
  static void close(Type h) { CloseHandle(h); }
};
struct KernelHandleTraits {  // threads, semaphores, events: empty is NULL
  using Type = HANDLE;
  static Type empty() { return nullptr; }
  static void close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type empty() { return INVALID_HANDLE_VALUE; }
  static void close(Type h) { FindClose(h); }
};
struct LibraryTraits {
  using Type = HMODULE;
  static Type empty() { return nullptr; }
  static void close(Type h) { FreeLibrary(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type empty() { return nullptr; }
  static void close(Type h) { RegCloseKey(h); }
};
struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type empty() { return nullptr; }
  static void close(Type h) { DeleteObject(h); }
};
struct HeapTextTraits {  // texts from malloc
  using Type = char*;
  static Type empty() { return nullptr; }
  static void close(Type p) { free(p); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueHeapText = UniqueHandle<HeapTextTraits>;
struct WideHeapTextTraits {  // wide texts from malloc
  using Type = wchar_t*;
  static Type empty() { return nullptr; }
  static void close(Type p) { free(p); }
};
using UniqueWideText = UniqueHandle<WideHeapTextTraits>;
template <typename T>
struct HeapBlockTraits {  // arrays from malloc
  using Type = T*;
  static Type empty() { return nullptr; }
  static void close(Type p) { free(p); }
};
template <typename T>
using UniqueHeapBlock = UniqueHandle<HeapBlockTraits<T>>;
