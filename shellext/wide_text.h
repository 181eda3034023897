// Owner of a UTF-16 text on the heap (malloc), as the DLL holds paths and the
// manager's command line.
#pragma once
#include <stdlib.h>

#include "manager/startup/unique_handle.h"

struct HeapWideTextTraits {
  using Type = wchar_t*;
  static Type empty() { return nullptr; }
  static void close(Type p) { free(p); }
};
using UniqueWideText = UniqueHandle<HeapWideTextTraits>;

inline wchar_t* allocateWideText(size_t characters) {
  return static_cast<wchar_t*>(malloc(characters * sizeof(wchar_t)));
}
