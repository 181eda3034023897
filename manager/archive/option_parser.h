// The option texts of the archive build.
//
// Tokens are separated by spaces; a double quote switches quoting on and off
// and spaces inside quotes do not separate. Option words ("-o", ...) are
// matched without regard to ASCII case against the raw token, so they must
// stand unquoted. Values are trimmed of blanks and one pair of enclosing
// quotes and kept only when they are shorter than 2048 bytes. Tokens are
// handled in place: a token of any length never overruns a buffer.
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

// Splits text by the option table: entries are "S<word>" (the word takes the
// next token as its value) or "N<word>" (a flag; plain tokens after it are
// dropped until the next option word). values[i] is the 2049-byte slot of
// entry i, or null: then the token after the word is not taken as a value but
// is a plain token like any other (a flag's slot, when given, receives "1").
// Every plain token is appended raw to others, followed by one blank; others
// (capacity othersCap) should hold the text's length plus 2.
void parseOptionText(const char* text, const char* const* optionTable, size_t optionCount,
                     char* const* values, char* others, size_t othersCap);
void parseOptionText(const wchar_t* text, const wchar_t* const* optionTable, size_t optionCount,
                     wchar_t* const* values, wchar_t* others, size_t othersCap);
