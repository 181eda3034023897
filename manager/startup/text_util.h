// Bounded text handling for ANSI text in code page 932 (Shift-JIS).
//
// Every fixed-size text in the program goes through these helpers: a copy or a
// format never writes past its buffer, and a text that has to be cut is cut
// before a lead byte, never between the two bytes of a double-byte character.
#pragma once
#include <stddef.h>
#include <stdarg.h>

// Lead bytes of a double-byte character: 0x81..0x9F and 0xE0..0xFC.
inline bool isLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC; }

// Classifies the byte at index i (below the length of the text) by scanning
// from the start of the text:
// 0 single byte, 1 lead byte, 2 trail byte of a double-byte character.
int isTrailByteAt(const char* text, size_t i);

// True when the text ends with a backslash that is a separator (not the second
// byte of a double-byte character such as the 0x5C of 表).
bool endsWithSeparator(const char* text);

// Number of bytes of text[0..len) that can be kept within maxLen bytes without
// splitting a double-byte character.
size_t safeCutLength(const char* text, size_t len, size_t maxLen);

// Copies src into dst (capacity cap, terminator included). Returns true when the
// whole text fitted; false when it was cut (safely) or cap is 0.
bool copyText(char* dst, size_t cap, const char* src);
// Copies at most n bytes of src (stops at a NUL), safely cut to cap.
bool copyTextN(char* dst, size_t cap, const char* src, size_t n);
// Appends src to the text in dst. Same result rule as copyText.
bool appendText(char* dst, size_t cap, const char* src);
// printf-style formatting into dst; false when the result was cut.
#ifdef _WIN32
#define KYVO_PRINTF_FORMAT ms_printf
#else
#define KYVO_PRINTF_FORMAT printf
#endif
bool formatText(char* dst, size_t cap, const char* format, ...)
    __attribute__((format(KYVO_PRINTF_FORMAT, 3, 4)));
bool formatTextV(char* dst, size_t cap, const char* format, va_list args);

// Parts of a path, in the manner of the C runtime's splitpath, Shift-JIS aware:
// drive ("C:" or empty), directory (ending with its separator, or empty), base
// name and extension (with its dot). Any output pointer may be null; each output
// has the given capacity and is cut safely. A path that begins with two
// backslashes keeps them in the directory part.
struct PathParts {
  char drive[3];
  char dir[2049];
  char name[2049];
  char ext[2049];
};
void splitPath(const char* path, PathParts* parts);

// Index of the last separator ('\\' outside double-byte characters, or '/'),
// or -1 when there is none.
long lastSeparatorIndex(const char* text);

// Removes one trailing separator (Shift-JIS rule). Returns true if one was removed.
bool removeTrailingBackslash(char* text);

// ASCII case-insensitive comparison of two texts; double-byte characters are
// compared as bytes.
bool equalsIgnoreAsciiCase(const char* a, const char* b);
// Decimal text-to-integer rule of the C runtime's atoi: optional blanks, an
// optional sign, leading digits; anything else gives 0. Saturates at the
// 32-bit range instead of overflowing.
long textToInt(const char* text);
