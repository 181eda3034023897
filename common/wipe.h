// Clearing memory that held secrets or plaintext, in a way the compiler may
// not drop as a dead store. Byte-level: no windows.h.
#pragma once
#include <stddef.h>

inline void wipeBytes(void* address, size_t size) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(address);
  while (size-- > 0) *p++ = 0;
}
