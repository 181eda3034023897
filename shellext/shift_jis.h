// Byte rules of code page 932 (Shift-JIS) that the DLL's text cuts rely on.
#pragma once
#include <stddef.h>

inline bool isShiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
inline bool isShiftJisTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC; }

// The longest prefix of text, at most maxBytes long, that ends on a character
// boundary.
inline size_t shiftJisCutLength(const char* text, size_t maxBytes) {
  size_t i = 0;
  while (text[i] != '\0') {
    size_t step = 1;
    if (isShiftJisLeadByte(static_cast<unsigned char>(text[i])) &&
        isShiftJisTrailByte(static_cast<unsigned char>(text[i + 1])))
      step = 2;
    if (i + step > maxBytes) break;
    i += step;
  }
  return i;
}
