#include "manager/archive/option_parser.h"

#include <string.h>

#include "manager/startup/command_line.h"
#include "manager/startup/text_util.h"

namespace {

// Longest raw token that can still trim to an accepted value: the value and
// one pair of quotes.
enum { RAW_VALUE_MAX = OPTION_VALUE_MAX + 2 };

bool tokenIsWord(const TextToken& token, const char* word) {
  size_t n = strlen(word);
  if (token.length != n) return false;
  for (size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(token.start[i]);
    unsigned char b = static_cast<unsigned char>(word[i]);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// Index of the table entry whose word the token is, or -1.
long findOption(const TextToken& token, const char* const* table, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (table[i][0] != '\0' && tokenIsWord(token, table[i] + 1)) return static_cast<long>(i);
  return -1;
}

void appendRaw(char* others, size_t cap, const TextToken& token) {
  if (cap == 0) return;
  size_t used = strnlen(others, cap - 1);
  // A plain token that does not fit whole is left out rather than cut.
  if (used + token.length + 1 > cap - 1) return;
  memcpy(others + used, token.start, token.length);
  others[used + token.length] = ' ';
  others[used + token.length + 1] = '\0';
}

void takeValue(const TextToken& token, char* slot) {
  char value[OPTION_SLOT_SIZE];
  if (trimmedToken(token, value)) copyText(slot, OPTION_SLOT_SIZE, value);
}

}  // namespace

bool nextToken(const char** cursor, TextToken* token) {
  const char* p = *cursor;
  while (*p == ' ') ++p;
  if (*p == '\0') {
    *cursor = p;
    return false;
  }
  const char* start = p;
  bool quoted = false;
  for (; *p != '\0'; ++p) {
    if (*p == '"') quoted = !quoted;
    else if (*p == ' ' && !quoted) break;
  }
  token->start = start;
  token->length = static_cast<size_t>(p - start);
  *cursor = p;
  return true;
}

bool trimmedToken(const TextToken& token, char* out) {
  out[0] = '\0';
  if (token.length > RAW_VALUE_MAX) return false;
  char raw[RAW_VALUE_MAX + 1];
  memcpy(raw, token.start, token.length);
  raw[token.length] = '\0';
  char trimmed[RAW_VALUE_MAX + 1];
  trimCommandLinePath(trimmed, sizeof trimmed, raw);
  if (strlen(trimmed) > OPTION_VALUE_MAX) return false;
  copyText(out, OPTION_SLOT_SIZE, trimmed);
  return true;
}

void parseOptionText(const char* text, const char* const* optionTable, size_t optionCount,
                     char* const* values, char* others, size_t othersCap) {
  if (othersCap > 0) others[0] = '\0';
  const char* cursor = text;
  TextToken token;
  long pendingValue = -1;   // entry waiting for its value
  bool dropping = false;    // after a flag, until the next option word
  while (nextToken(&cursor, &token)) {
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
        if (values[option]) copyText(values[option], OPTION_SLOT_SIZE, "1");
      }
      continue;
    }
    if (!dropping) appendRaw(others, othersCap, token);
  }
}

void parseExtractionOptions(const char* text, char* archivePath, char* outputFolder) {
  archivePath[0] = '\0';
  outputFolder[0] = '\0';
  if (strnlen(text, EXTRACTION_TEXT_MAX + 1) > EXTRACTION_TEXT_MAX) return;
  static const char* const kTable[] = {"S-i", "S-o", "N-x"};
  const char* cursor = text;
  TextToken token;
  char* pending = nullptr;
  bool ignoring = false;  // after "-x", for good
  while (nextToken(&cursor, &token)) {
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
