#include "common/text_util.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <limits.h>

namespace {

unsigned long unitValue(char c) { return static_cast<unsigned char>(c); }
unsigned long unitValue(wchar_t c) { return static_cast<unsigned long>(c); }

// A character of two units starts at text[i] (its second unit is in range).
template <typename C>
bool pairAt(const C* text, size_t i) {
  return isLeadUnit(text[i]) && text[i + 1] != 0 && isTrailUnit(text[i + 1]);
}

template <typename C>
int classifyAt(const C* text, size_t i) {
  size_t pos = 0;
  while (pos <= i && text[pos] != 0) {
    if (!isLeadUnit(text[pos])) {
      if (pos == i) return 0;
      ++pos;
      continue;
    }
    if (pos == i) return 1;
    if (text[pos + 1] != 0 && isTrailUnit(text[pos + 1])) {
      if (pos + 1 == i) return 2;
      pos += 2;
    } else {
      ++pos;  // the unit after the lead unit is a single unit
    }
  }
  return 0;
}

template <typename C>
bool endsWithSeparatorT(const C* text) {
  size_t len = textLength(text);
  if (len == 0 || text[len - 1] != '\\') return false;
  return classifyAt(text, len - 1) == 0;
}

template <typename C>
size_t safeCutLengthT(const C* text, size_t len, size_t maxLen) {
  if (len <= maxLen) return len;
  // Walk whole characters until the next one would not fit.
  size_t pos = 0;
  while (pos < maxLen) {
    size_t step = (isLeadUnit(text[pos]) && pos + 1 < len && isTrailUnit(text[pos + 1])) ? 2 : 1;
    if (pos + step > maxLen) break;
    pos += step;
  }
  return pos;
}

template <typename C>
bool copyTextNT(C* dst, size_t cap, const C* src, size_t n) {
  if (cap == 0) return false;
  size_t len = textLengthUpTo(src, n);
  size_t keep = safeCutLengthT(src, len, cap - 1);
  memmove(dst, src, keep * sizeof(C));
  dst[keep] = 0;
  return keep == len;
}

template <typename C>
bool appendTextT(C* dst, size_t cap, const C* src) {
  if (cap == 0) return false;
  size_t used = textLengthUpTo(dst, cap - 1);
  return copyTextNT(dst + used, cap - used, src, static_cast<size_t>(-1));
}

template <typename C>
long lastSeparatorIndexT(const C* text) {
  long last = -1;
  for (size_t i = 0; text[i] != 0; ++i) {
    if (pairAt(text, i)) {
      ++i;  // skip the second unit, which may be 0x5C
      continue;
    }
    if (text[i] == '\\' || text[i] == '/') last = static_cast<long>(i);
  }
  return last;
}

template <typename C>
void splitPathT(const C* path, BasicPathParts<C>* parts) {
  parts->drive[0] = parts->dir[0] = parts->name[0] = parts->ext[0] = 0;
  const C* p = path;
  if (p[0] != 0 && p[1] == ':' && !isLeadUnit(p[0])) {
    parts->drive[0] = p[0];
    parts->drive[1] = ':';
    parts->drive[2] = 0;
    p += 2;
  }
  long sep = lastSeparatorIndexT(p);
  const C* file = p;
  if (sep >= 0) {
    copyTextNT(parts->dir, countOf(parts->dir), p, static_cast<size_t>(sep) + 1);
    file = p + sep + 1;
  }
  // The extension starts at the last dot of the file part.
  long dot = -1;
  for (size_t i = 0; file[i] != 0; ++i) {
    if (pairAt(file, i)) {
      ++i;
      continue;
    }
    if (file[i] == '.') dot = static_cast<long>(i);
  }
  if (dot >= 0) {
    copyTextNT(parts->name, countOf(parts->name), file, static_cast<size_t>(dot));
    copyTextNT(parts->ext, countOf(parts->ext), file + dot, static_cast<size_t>(-1));
  } else {
    copyTextNT(parts->name, countOf(parts->name), file, static_cast<size_t>(-1));
  }
}

template <typename C>
bool removeTrailingBackslashT(C* text) {
  if (!endsWithSeparatorT(text)) return false;
  text[textLength(text) - 1] = 0;
  return true;
}

template <typename C>
bool equalsIgnoreAsciiCaseT(const C* a, const C* b) {
  for (;; ++a, ++b) {
    unsigned long x = unitValue(*a), y = unitValue(*b);
    if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
    if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
    if (x != y) return false;
    if (x == 0) return true;
  }
}

template <typename C>
long textToIntT(const C* text) {
  const C* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  const long long limit = 2147483648LL;  // the 32-bit range, saturated
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + (*p++ - '0');
    if (value > limit) value = limit;
  }
  if (negative) return static_cast<long>(-value);
  return static_cast<long>(value >= limit ? limit - 1 : value);
}

}  // namespace

int isTrailByteAt(const char* text, size_t i) { return classifyAt(text, i); }
int isTrailByteAt(const wchar_t* text, size_t i) { return classifyAt(text, i); }
bool endsWithSeparator(const char* text) { return endsWithSeparatorT(text); }
bool endsWithSeparator(const wchar_t* text) { return endsWithSeparatorT(text); }
size_t safeCutLength(const char* text, size_t len, size_t maxLen) { return safeCutLengthT(text, len, maxLen); }
size_t safeCutLength(const wchar_t* text, size_t len, size_t maxLen) { return safeCutLengthT(text, len, maxLen); }
bool copyTextN(char* dst, size_t cap, const char* src, size_t n) { return copyTextNT(dst, cap, src, n); }
bool copyTextN(wchar_t* dst, size_t cap, const wchar_t* src, size_t n) { return copyTextNT(dst, cap, src, n); }
bool copyText(char* dst, size_t cap, const char* src) { return copyTextNT(dst, cap, src, static_cast<size_t>(-1)); }
bool copyText(wchar_t* dst, size_t cap, const wchar_t* src) {
  return copyTextNT(dst, cap, src, static_cast<size_t>(-1));
}
bool appendText(char* dst, size_t cap, const char* src) { return appendTextT(dst, cap, src); }
bool appendText(wchar_t* dst, size_t cap, const wchar_t* src) { return appendTextT(dst, cap, src); }
long lastSeparatorIndex(const char* text) { return lastSeparatorIndexT(text); }
long lastSeparatorIndex(const wchar_t* text) { return lastSeparatorIndexT(text); }
void splitPath(const char* path, PathParts* parts) { splitPathT(path, parts); }
void splitPath(const wchar_t* path, WidePathParts* parts) { splitPathT(path, parts); }
bool removeTrailingBackslash(char* text) { return removeTrailingBackslashT(text); }
bool removeTrailingBackslash(wchar_t* text) { return removeTrailingBackslashT(text); }
bool equalsIgnoreAsciiCase(const char* a, const char* b) { return equalsIgnoreAsciiCaseT(a, b); }
bool equalsIgnoreAsciiCase(const wchar_t* a, const wchar_t* b) { return equalsIgnoreAsciiCaseT(a, b); }
long textToInt(const char* text) { return textToIntT(text); }
long textToInt(const wchar_t* text) { return textToIntT(text); }

namespace {

// The runtime's bounded print for each kind of text. The Windows runtime
// returns -1 and leaves no terminator when the text is cut; the C99 form
// returns the full length (wide: -1 when cut).
int printInto(char* dst, size_t cap, const char* format, va_list args) {
#ifdef _WIN32
  return _vsnprintf(dst, cap, format, args);  // the system runtime's, not a bundled copy
#else
  return vsnprintf(dst, cap, format, args);
#endif
}
int printInto(wchar_t* dst, size_t cap, const wchar_t* format, va_list args) {
#ifdef _WIN32
  return _vsnwprintf(dst, cap, format, args);
#else
  return vswprintf(dst, cap, format, args);
#endif
}

template <typename C>
bool formatTextVT(C* dst, size_t cap, const C* format, va_list args) {
  if (cap == 0) return false;
  int n = printInto(dst, cap, format, args);
  dst[cap - 1] = 0;
  if (n >= 0 && static_cast<size_t>(n) < cap) return true;
  // Cut: drop a lead unit whose partner fell outside the buffer.
  size_t len = textLength(dst);
  if (len > 0 && isTrailByteAt(dst, len - 1) == 1) dst[len - 1] = 0;
  return false;
}

}  // namespace

bool formatTextV(char* dst, size_t cap, const char* format, va_list args) {
  return formatTextVT(dst, cap, format, args);
}
bool formatTextV(wchar_t* dst, size_t cap, const wchar_t* format, va_list args) {
  return formatTextVT(dst, cap, format, args);
}

// The variadic forms, which differ in their kind of text only.
#define KYVO_DEFINE_FORMAT_TEXT(C)                                \
  bool formatText(C* dst, size_t cap, const C* format, ...) {     \
    va_list args;                                                 \
    va_start(args, format);                                       \
    bool ok = formatTextVT(dst, cap, format, args);               \
    va_end(args);                                                 \
    return ok;                                                    \
  }
KYVO_DEFINE_FORMAT_TEXT(char)
KYVO_DEFINE_FORMAT_TEXT(wchar_t)
#undef KYVO_DEFINE_FORMAT_TEXT
