// Conversions between the program's two kinds of text: UTF-16 (paths) and
// the program's own ANSI texts, which are code page 932 whatever the system's
// code page is: messages and dialog texts (compiled in 932), the password, the
// operation log, the ANSI names of archive entries. A result made on one
// system reads the same on any other.
#pragma once
#include <stddef.h>
#include <stdlib.h>

// The code page of the program's ANSI texts.
const unsigned kProgramCodePage = 932;

// The ANSI text as UTF-16, cut safely to cap units. false when it was cut or
// could not be converted (out is then empty or the part that fitted).
bool ansiToWide(const char* text, wchar_t* out, size_t cap);

// The text in code page 932 only when every character converts exactly:
// no best-fit look-alike ("café" never becomes "cafe") and no replacement
// character. false, with all cap bytes of out zero (nothing of a password
// left in it), when a character has no exact form or the result would not
// fit in cap bytes.
bool wideToAnsiExact(const wchar_t* text, char* out, size_t cap);

// The text in code page 932 with "?" for each character the code page
// lacks (no look-alikes either), cut safely to cap bytes.
void wideToAnsiMarked(const wchar_t* text, char* out, size_t cap);

// The text in the system's own ANSI code page, exactly as wideToAnsiExact
// does it; only for a call of the system that takes that code page.
bool wideToSystemAnsiExact(const wchar_t* text, char* out, size_t cap);

// A heap copy of an ANSI text as UTF-16 (free it); null without memory.
wchar_t* wideCopyOfAnsi(const char* text);

// A UTF-16 text of the given number of characters on the heap (malloc), as
// the shell extension holds paths and the manager its command line; a
// UniqueWideText owns one.
inline wchar_t* allocateWideText(size_t characters) {
  return static_cast<wchar_t*>(malloc(characters * sizeof(wchar_t)));
}
