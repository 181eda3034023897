#include "manager/startup/text_util.h"

#include <stdio.h>
#include <string.h>
#include <limits.h>

int isTrailByteAt(const char* text, size_t i) {
  size_t pos = 0;
  while (pos <= i && text[pos] != '\0') {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (!isLeadByte(c)) {
      if (pos == i) return 0;
      ++pos;
      continue;
    }
    if (pos == i) return 1;
    if (isTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
      if (pos + 1 == i) return 2;
      pos += 2;
    } else {
      ++pos;  // the byte after the lead byte is a single byte
    }
  }
  return 0;
}

bool endsWithSeparator(const char* text) {
  size_t len = strlen(text);
  if (len == 0 || text[len - 1] != '\\') return false;
  return isTrailByteAt(text, len - 1) == 0;
}

size_t safeCutLength(const char* text, size_t len, size_t maxLen) {
  if (len <= maxLen) return len;
  // Walk whole characters until the next one would not fit.
  size_t pos = 0;
  while (pos < maxLen) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    size_t step = (isLeadByte(c) && pos + 1 < len &&
                   isTrailByte(static_cast<unsigned char>(text[pos + 1])))
                      ? 2
                      : 1;
    if (pos + step > maxLen) break;
    pos += step;
  }
  return pos;
}

bool copyTextN(char* dst, size_t cap, const char* src, size_t n) {
  if (cap == 0) return false;
  size_t len = 0;
  while (len < n && src[len] != '\0') ++len;
  size_t keep = safeCutLength(src, len, cap - 1);
  memmove(dst, src, keep);
  dst[keep] = '\0';
  return keep == len;
}

bool copyText(char* dst, size_t cap, const char* src) {
  return copyTextN(dst, cap, src, static_cast<size_t>(-1));
}

bool appendText(char* dst, size_t cap, const char* src) {
  if (cap == 0) return false;
  size_t used = strnlen(dst, cap - 1);
  return copyText(dst + used, cap - used, src);
}

bool formatTextV(char* dst, size_t cap, const char* format, va_list args) {
  if (cap == 0) return false;
  // The Windows runtime returns -1 and leaves no terminator when the text is
  // cut; the C99 form returns the full length. Both end up terminated here.
#ifdef _WIN32
  int n = _vsnprintf(dst, cap, format, args);  // the system runtime's, not a bundled copy
#else
  int n = vsnprintf(dst, cap, format, args);
#endif
  dst[cap - 1] = '\0';
  if (n >= 0 && static_cast<size_t>(n) < cap) return true;
  // Cut: drop a lead byte whose partner fell outside the buffer.
  size_t len = strlen(dst);
  if (len > 0 && isTrailByteAt(dst, len - 1) == 1) dst[len - 1] = '\0';
  return false;
}

bool formatText(char* dst, size_t cap, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = formatTextV(dst, cap, format, args);
  va_end(args);
  return ok;
}

long lastSeparatorIndex(const char* text) {
  long last = -1;
  for (size_t i = 0; text[i] != '\0'; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (isLeadByte(c) && isTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      ++i;  // skip the trail byte, which may be 0x5C
      continue;
    }
    if (c == '\\' || c == '/') last = static_cast<long>(i);
  }
  return last;
}

void splitPath(const char* path, PathParts* parts) {
  parts->drive[0] = parts->dir[0] = parts->name[0] = parts->ext[0] = '\0';
  const char* p = path;
  if (p[0] != '\0' && p[1] == ':' && !isLeadByte(static_cast<unsigned char>(p[0]))) {
    parts->drive[0] = p[0];
    parts->drive[1] = ':';
    parts->drive[2] = '\0';
    p += 2;
  }
  long sep = lastSeparatorIndex(p);
  const char* file = p;
  if (sep >= 0) {
    copyTextN(parts->dir, sizeof parts->dir, p, static_cast<size_t>(sep) + 1);
    file = p + sep + 1;
  }
  // The extension starts at the last dot of the file part.
  long dot = -1;
  for (size_t i = 0; file[i] != '\0'; ++i) {
    unsigned char c = static_cast<unsigned char>(file[i]);
    if (isLeadByte(c) && isTrailByte(static_cast<unsigned char>(file[i + 1]))) {
      ++i;
      continue;
    }
    if (c == '.') dot = static_cast<long>(i);
  }
  if (dot >= 0) {
    copyTextN(parts->name, sizeof parts->name, file, static_cast<size_t>(dot));
    copyText(parts->ext, sizeof parts->ext, file + dot);
  } else {
    copyText(parts->name, sizeof parts->name, file);
  }
}

bool removeTrailingBackslash(char* text) {
  if (!endsWithSeparator(text)) return false;
  text[strlen(text) - 1] = '\0';
  return true;
}

bool equalsIgnoreAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

long textToInt(const char* text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
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
