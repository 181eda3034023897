// UTF-16 texts on the heap (malloc), as the DLL holds paths and the manager's
// command line; UniqueWideText owns one.
#pragma once
#include <stdlib.h>

#include "manager/startup/unique_handle.h"

inline wchar_t* allocateWideText(size_t characters) {
  return static_cast<wchar_t*>(malloc(characters * sizeof(wchar_t)));
}
