#include "manager/archive/option_parser.h"

#include <string.h>

#include "common/command_line.h"
#include "common/text_util.h"

namespace {

// Longest raw token that can still trim to an accepted value: the value and
// one pair of quotes.
enum { RAW_VALUE_MAX = OPTION_VALUE_MAX + 2 };

template <typename C>
unsigned long lowerAscii(C c) {
  unsigned long v = sizeof(C) == 1 ? static_cast<unsigned char>(c) : static_cast<unsigned long>(c);
  return (v >= 'A' && v <= 'Z') ? v - 'A' + 'a' : v;
}

template <typename C>
bool tokenIsWord(const BasicTextToken<C>& token, const C* word) {
  size_t n = textLength(word);
  if (token.length != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (lowerAscii(token.start[i]) != lowerAscii(word[i])) return false;
  return true;
}

// Index of the table entry whose word the token is, or -1.
template <typename C>
long findOption(const BasicTextToken<C>& token, const C* const* table, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (table[i][0] != 0 && tokenIsWord(token, table[i] + 1)) return static_cast<long>(i);
  return -1;
}

template <typename C>
void appendRaw(C* others, size_t cap, const BasicTextToken<C>& token) {
  if (cap == 0) return;
  size_t used = textLengthUpTo(others, cap - 1);
  // A plain token that does not fit whole is left out rather than cut.
  if (used + token.length + 1 > cap - 1) return;
  memcpy(others + used, token.start, token.length * sizeof(C));
  others[used + token.length] = ' ';
  others[used + token.length + 1] = 0;
}

template <typename C>
bool nextTokenT(const C** cursor, BasicTextToken<C>* token) {
  const C* p = *cursor;
  while (*p == ' ') ++p;
  if (*p == 0) {
    *cursor = p;
    return false;
  }
  const C* start = p;
  bool quoted = false;
  for (; *p != 0; ++p) {
    if (*p == '"') quoted = !quoted;
    else if (*p == ' ' && !quoted) break;
  }
  token->start = start;
  token->length = static_cast<size_t>(p - start);
  *cursor = p;
  return true;
}

template <typename C>
bool trimmedTokenT(const BasicTextToken<C>& token, C* out) {
  out[0] = 0;
  if (token.length > RAW_VALUE_MAX) return false;
  C raw[RAW_VALUE_MAX + 1];
  memcpy(raw, token.start, token.length * sizeof(C));
  raw[token.length] = 0;
  C trimmed[RAW_VALUE_MAX + 1];
  trimCommandLinePath(trimmed, countOf(trimmed), raw);
  if (textLength(trimmed) > OPTION_VALUE_MAX) return false;
  copyText(out, OPTION_SLOT_SIZE, trimmed);
  return true;
}

template <typename C>
void takeValue(const BasicTextToken<C>& token, C* slot) {
  C value[OPTION_SLOT_SIZE];
  if (trimmedTokenT(token, value)) copyText(slot, OPTION_SLOT_SIZE, value);
}

template <typename C>
void parseOptionTextT(const C* text, const C* const* optionTable, size_t optionCount, C* const* values,
                      C* others, size_t othersCap) {
  static const C kOne[] = {'1', 0};
  if (othersCap > 0) others[0] = 0;
  const C* cursor = text;
  BasicTextToken<C> token;
  long pendingValue = -1;   // entry waiting for its value
  bool dropping = false;    // after a flag, until the next option word
  while (nextTokenT(&cursor, &token)) {
    if (pendingValue >= 0) {
      takeValue(token, values[pendingValue]);
      pendingValue = -1;
      continue;
    }
    long option = findOption(token, optionTable, optionCount);
    if (option >= 0) {
      dropping = false;
      if (optionTable[option][0] == 'S') {
        if (values[option]) pendingValue = option;
      } else {
        dropping = true;
        if (values[option]) copyText(values[option], OPTION_SLOT_SIZE, kOne);
      }
      continue;
    }
    if (!dropping) appendRaw(others, othersCap, token);
  }
}

}  // namespace

bool nextToken(const char** cursor, TextToken* token) { return nextTokenT(cursor, token); }
bool nextToken(const wchar_t** cursor, WideTextToken* token) { return nextTokenT(cursor, token); }
bool trimmedToken(const TextToken& token, char* out) { return trimmedTokenT(token, out); }
bool trimmedToken(const WideTextToken& token, wchar_t* out) { return trimmedTokenT(token, out); }

void parseOptionText(const char* text, const char* const* optionTable, size_t optionCount,
                     char* const* values, char* others, size_t othersCap) {
  parseOptionTextT(text, optionTable, optionCount, values, others, othersCap);
}
void parseOptionText(const wchar_t* text, const wchar_t* const* optionTable, size_t optionCount,
                     wchar_t* const* values, wchar_t* others, size_t othersCap) {
  parseOptionTextT(text, optionTable, optionCount, values, others, othersCap);
}
