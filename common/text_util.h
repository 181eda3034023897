// Bounded text handling, for the two kinds of text the program holds:
//
//  - char: ANSI text in code page 932 (Shift-JIS): messages, the password,
//    the operation log, the names inside archive entries of the ANSI kind.
//    A lead byte and its trail byte form one character.
//  - wchar_t: UTF-16, the program's one encoding for paths. A high and a low
//    surrogate form one character.
//
// Every fixed-size text goes through these helpers: a copy or a format never
// writes past its buffer, and a text that has to be cut is cut before a
// character of two units, never between its two halves. Capacities are
// counted in units of the text (bytes for char, UTF-16 units for wchar_t).
#pragma once
#include <stddef.h>
#include <stdarg.h>

// Lead bytes of a double-byte character: 0x81..0x9F and 0xE0..0xFC.
inline bool isLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC; }

// The first and second unit of a character of two units.
inline bool isLeadUnit(char c) { return isLeadByte(static_cast<unsigned char>(c)); }
inline bool isTrailUnit(char c) { return isTrailByte(static_cast<unsigned char>(c)); }
inline bool isLeadUnit(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool isTrailUnit(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Number of units of a text (stops at the terminator).
template <typename C>
size_t textLength(const C* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}
// Like textLength, but counts no further than limit.
template <typename C>
size_t textLengthUpTo(const C* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n]) ++n;
  return n;
}

// Number of elements of an array, for the capacity of a fixed text.
template <typename T, size_t N>
constexpr size_t countOf(T (&)[N]) {
  return N;
}

// Classifies the unit at index i (below the length of the text) by scanning
// from the start of the text:
// 0 single unit, 1 lead unit, 2 trail unit of a character of two units.
int isTrailByteAt(const char* text, size_t i);
int isTrailByteAt(const wchar_t* text, size_t i);

// True when the text ends with a backslash that is a separator (not the second
// byte of a double-byte character such as the 0x5C of 表).
bool endsWithSeparator(const char* text);
bool endsWithSeparator(const wchar_t* text);

// Number of units of text[0..len) that can be kept within maxLen units without
// splitting a character of two units.
size_t safeCutLength(const char* text, size_t len, size_t maxLen);
size_t safeCutLength(const wchar_t* text, size_t len, size_t maxLen);

// Copies src into dst (capacity cap, terminator included). Returns true when the
// whole text fitted; false when it was cut (safely) or cap is 0.
bool copyText(char* dst, size_t cap, const char* src);
bool copyText(wchar_t* dst, size_t cap, const wchar_t* src);
// Copies at most n units of src (stops at a NUL), safely cut to cap.
bool copyTextN(char* dst, size_t cap, const char* src, size_t n);
bool copyTextN(wchar_t* dst, size_t cap, const wchar_t* src, size_t n);
// Appends src to the text in dst. Same result rule as copyText.
bool appendText(char* dst, size_t cap, const char* src);
bool appendText(wchar_t* dst, size_t cap, const wchar_t* src);
// printf-style formatting into dst; false when the result was cut. In wide
// formats a wide text is "%ls", which every runtime reads the same way.
#ifdef _WIN32
#define KYVO_PRINTF_FORMAT ms_printf
#else
#define KYVO_PRINTF_FORMAT printf
#endif
bool formatText(char* dst, size_t cap, const char* format, ...)
    __attribute__((format(KYVO_PRINTF_FORMAT, 3, 4)));
bool formatTextV(char* dst, size_t cap, const char* format, va_list args);
bool formatText(wchar_t* dst, size_t cap, const wchar_t* format, ...);
bool formatTextV(wchar_t* dst, size_t cap, const wchar_t* format, va_list args);

// Parts of a path, in the manner of the C runtime's splitpath, aware of
// characters of two units: drive ("C:" or empty), directory (ending with its
// separator, or empty), base name and extension (with its dot). Each output
// has the given capacity and is cut safely. A path that begins with two
// backslashes keeps them in the directory part.
template <typename C>
struct BasicPathParts {
  C drive[3];
  C dir[2049];
  C name[2049];
  C ext[2049];
};
using PathParts = BasicPathParts<char>;
using WidePathParts = BasicPathParts<wchar_t>;
void splitPath(const char* path, PathParts* parts);
void splitPath(const wchar_t* path, WidePathParts* parts);

// Index of the last separator ('\\' outside double-byte characters, or '/'),
// or -1 when there is none.
long lastSeparatorIndex(const char* text);
long lastSeparatorIndex(const wchar_t* text);

// Removes one trailing separator (Shift-JIS rule). Returns true if one was removed.
bool removeTrailingBackslash(char* text);
bool removeTrailingBackslash(wchar_t* text);

// ASCII case-insensitive comparison of two texts; other characters are
// compared unit by unit.
bool equalsIgnoreAsciiCase(const char* a, const char* b);
bool equalsIgnoreAsciiCase(const wchar_t* a, const wchar_t* b);
// Decimal text-to-integer rule of the C runtime's atoi: optional blanks, an
// optional sign, leading digits; anything else gives 0. Saturates at the
// 32-bit range instead of overflowing.
long textToInt(const char* text);
long textToInt(const wchar_t* text);
