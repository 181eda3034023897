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

// The traits of a kind: the type of its values, the empty value (NULL, or
// INVALID_HANDLE_VALUE where the platform marks a failed open with it) and
// the call that closes one.
template <typename T, typename Result, Result (WINAPI* Close)(T), bool emptyIsInvalidHandle = false>
struct SystemHandleTraits {
  using Type = T;
  static Type empty() {
    if (emptyIsInvalidHandle) return reinterpret_cast<Type>(INVALID_HANDLE_VALUE);
    return nullptr;
  }
  static void close(Type h) { Close(h); }
};
template <typename T>
struct HeapTraits {  // texts and arrays from malloc
  using Type = T*;
  static Type empty() { return nullptr; }
  static void close(Type p) { free(p); }
};

using FileHandleTraits = SystemHandleTraits<HANDLE, BOOL, CloseHandle, true>;  // CreateFile
using KernelHandleTraits = SystemHandleTraits<HANDLE, BOOL, CloseHandle>;     // threads, semaphores, events
using FindHandleTraits = SystemHandleTraits<HANDLE, BOOL, FindClose, true>;
using LibraryTraits = SystemHandleTraits<HMODULE, BOOL, FreeLibrary>;
using RegKeyTraits = SystemHandleTraits<HKEY, LONG, RegCloseKey>;
using GdiObjectTraits = SystemHandleTraits<HGDIOBJ, BOOL, DeleteObject>;

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueHeapText = UniqueHandle<HeapTraits<char>>;
using UniqueWideText = UniqueHandle<HeapTraits<wchar_t>>;
template <typename T>
using UniqueHeapBlock = UniqueHandle<HeapTraits<T>>;
