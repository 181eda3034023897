#include "manager/archive/option_parser.h"

#include <string.h>

#include "common/command_line.h"
#include "common/text_util.h"

namespace {

// Longest raw token that can still trim to an accepted value: the value and
// one pair of quotes.
enum { RAW_VALUE_MAX = OPTION_VALUE_MAX + 2 };

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

}  // namespace

bool nextToken(const char** cursor, TextToken* token) { return nextTokenT(cursor, token); }
bool nextToken(const wchar_t** cursor, WideTextToken* token) { return nextTokenT(cursor, token); }
bool trimmedToken(const TextToken& token, char* out) { return trimmedTokenT(token, out); }
bool trimmedToken(const WideTextToken& token, wchar_t* out) { return trimmedTokenT(token, out); }
