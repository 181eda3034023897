// UTF-8, the encoding of the names of Unicode archive entries: strict, so that
// no name has two spellings (no overlong forms, no surrogates, nothing above
// U+10FFFF, no cut sequence). Byte-level code.
#pragma once
#include <stddef.h>

// True when the length bytes of text are well-formed UTF-8.
bool isValidUtf8(const char* text, size_t length);

// The UTF-16 text (or, where wchar_t holds whole code points, the UCS-4 text)
// as UTF-8 into out (capacity cap, terminator included). false, with out
// empty, when the text holds an unpaired surrogate or does not fit.
bool utf8FromWide(const wchar_t* text, char* out, size_t cap);

// The UTF-8 text as wide text into out (capacity cap in units, terminator
// included). false, with out empty, when the text is not well-formed UTF-8 or
// does not fit.
bool wideFromUtf8(const char* text, wchar_t* out, size_t cap);
