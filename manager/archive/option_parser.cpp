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
void parseExtractionOptionsT(const C* text, C* archivePath, C* outputFolder) {
  static const C kI[] = {'S', '-', 'i', 0}, kO[] = {'S', '-', 'o', 0}, kX[] = {'N', '-', 'x', 0};
  static const C* const kTable[] = {kI, kO, kX};
  archivePath[0] = 0;
  outputFolder[0] = 0;
  if (textLengthUpTo(text, EXTRACTION_TEXT_MAX + 1) > EXTRACTION_TEXT_MAX) return;
  const C* cursor = text;
  BasicTextToken<C> token;
  C* pending = nullptr;
  bool ignoring = false;  // after "-x", for good
  while (nextTokenT(&cursor, &token)) {
    if (pending) {
      takeValue(token, pending);
      pending = nullptr;
      continue;
    }
    switch (findOption(token, kTable, 3)) {
      case 0: pending = archivePath; continue;
      case 1: pending = outputFolder; continue;
      case 2: ignoring = true; continue;
    }
    if (!ignoring) takeValue(token, archivePath);
  }
}

}  // namespace

bool nextToken(const char** cursor, TextToken* token) { return nextTokenT(cursor, token); }
bool nextToken(const wchar_t** cursor, WideTextToken* token) { return nextTokenT(cursor, token); }
bool trimmedToken(const TextToken& token, char* out) { return trimmedTokenT(token, out); }
bool trimmedToken(const WideTextToken& token, wchar_t* out) { return trimmedTokenT(token, out); }

void parseExtractionOptions(const char* text, char* archivePath, char* outputFolder) {
  parseExtractionOptionsT(text, archivePath, outputFolder);
}
void parseExtractionOptions(const wchar_t* text, wchar_t* archivePath, wchar_t* outputFolder) {
  parseExtractionOptionsT(text, archivePath, outputFolder);
}
