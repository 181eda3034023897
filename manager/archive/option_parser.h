// The selection texts the packer splits into paths.
//
// Tokens are separated by spaces; a double quote switches quoting on and off
// and spaces inside quotes do not separate. Values are trimmed of blanks and
// one pair of enclosing quotes and kept only when they are shorter than 2048
// bytes. Tokens are handled in place: a token of any length never overruns a
// buffer.
#pragma once
#include <stddef.h>

enum { OPTION_SLOT_SIZE = 2049, OPTION_VALUE_MAX = 2047 };

// The texts are ANSI (char) or UTF-16 (wchar_t, the paths the program itself
// hands to the archive steps); lengths count units of the text.

// One token of a text: where it starts and how long it is (raw, quotes kept).
template <typename C>
struct BasicTextToken {
  const C* start;
  size_t length;
};
using TextToken = BasicTextToken<char>;
using WideTextToken = BasicTextToken<wchar_t>;
// Finds the next token at or after *cursor and moves the cursor past it.
// false when the text holds no further token.
bool nextToken(const char** cursor, TextToken* token);
bool nextToken(const wchar_t** cursor, WideTextToken* token);

// Trims a token (blanks, one pair of enclosing quotes) into out
// (OPTION_SLOT_SIZE units). false, with out empty, when the trimmed text would
// be 2048 units or longer.
bool trimmedToken(const TextToken& token, char* out);
bool trimmedToken(const WideTextToken& token, wchar_t* out);

