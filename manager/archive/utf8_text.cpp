#include "manager/archive/utf8_text.h"

#include <string.h>

namespace {

bool isHighSurrogate(unsigned long u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(unsigned long u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Decodes the character at text[*at] and moves past it; false for anything
// ill-formed.
bool decodeOne(const unsigned char* text, size_t length, size_t* at, unsigned long* codePoint) {
  unsigned char c = text[*at];
  if (c < 0x80) {
    *codePoint = c;
    ++*at;
    return true;
  }
  size_t extra;
  unsigned long value, least;
  if (c >= 0xC2 && c <= 0xDF) {
    extra = 1, value = c & 0x1Fu, least = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2, value = c & 0x0Fu, least = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3, value = c & 0x07u, least = 0x10000;
  } else {
    return false;  // a continuation byte, or the lead of an overlong or too large form
  }
  if (length - *at <= extra) return false;  // cut off
  for (size_t i = 1; i <= extra; ++i) {
    unsigned char next = text[*at + i];
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < least || value > 0x10FFFF || isHighSurrogate(value) || isLowSurrogate(value)) return false;
  *codePoint = value;
  *at += extra + 1;
  return true;
}

// Appends one code point as UTF-8; false when it does not fit before the
// terminator.
bool putUtf8(unsigned long u, char* out, size_t cap, size_t* used) {
  unsigned char bytes[4];
  size_t n = u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
  static const unsigned char kLead[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
  for (size_t k = n - 1; k > 0; --k, u >>= 6) bytes[k] = static_cast<unsigned char>(0x80 | (u & 0x3F));
  bytes[0] = static_cast<unsigned char>(kLead[n] | u);
  if (*used + n >= cap) return false;
  memcpy(out + *used, bytes, n);
  *used += n;
  return true;
}

// Appends one code point as wide units; false when it does not fit.
bool putWide(unsigned long u, wchar_t* out, size_t cap, size_t* used) {
  if (sizeof(wchar_t) == 2 && u >= 0x10000) {
    if (*used + 2 >= cap) return false;
    out[(*used)++] = static_cast<wchar_t>(0xD800 + ((u - 0x10000) >> 10));
    out[(*used)++] = static_cast<wchar_t>(0xDC00 + ((u - 0x10000) & 0x3FF));
    return true;
  }
  if (*used + 1 >= cap) return false;
  out[(*used)++] = static_cast<wchar_t>(u);
  return true;
}

}  // namespace

bool isValidUtf8(const char* text, size_t length) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  unsigned long codePoint;
  while (at < length)
    if (!decodeOne(bytes, length, &at, &codePoint)) return false;
  return true;
}

bool utf8FromWide(const wchar_t* text, char* out, size_t cap) {
  if (cap == 0) return false;
  size_t used = 0;
  bool ok = true;
  for (size_t i = 0; ok && text[i] != 0; ++i) {
    unsigned long u = static_cast<unsigned long>(text[i]);
    if (sizeof(wchar_t) == 2 && isHighSurrogate(u) && isLowSurrogate(static_cast<unsigned long>(text[i + 1]))) {
      u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<unsigned long>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (isHighSurrogate(u) || isLowSurrogate(u) || u > 0x10FFFF) {
      ok = false;  // half a pair names no character
      break;
    }
    ok = putUtf8(u, out, cap, &used);
  }
  out[ok ? used : 0] = '\0';
  return ok;
}

bool wideFromUtf8(const char* text, wchar_t* out, size_t cap) {
  if (cap == 0) return false;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t length = strlen(text), at = 0, used = 0;
  bool ok = true;
  while (ok && at < length) {
    unsigned long codePoint;
    ok = decodeOne(bytes, length, &at, &codePoint) && putWide(codePoint, out, cap, &used);
  }
  out[ok ? used : 0] = 0;
  return ok;
}
