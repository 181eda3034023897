// The selection texts the packer splits into paths: every token lies inside
// the text, the tokens and the blanks between them cover it, and a trimmed
// token never overruns its slot.
#include <stdint.h>
#include <stddef.h>
#include <string.h>
#include <vector>

#include "manager/archive/option_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  const char* const begin = text.data();
  const char* const end = begin + strlen(begin);
  const char* cursor = begin;
  const char* covered = begin;
  TextToken token;
  static char slot[OPTION_SLOT_SIZE];
  while (nextToken(&cursor, &token)) {
    if (token.length == 0 || token.start < covered || token.start + token.length > end) __builtin_trap();
    for (const char* p = covered; p < token.start; ++p)
      if (*p != ' ') __builtin_trap();
    covered = token.start + token.length;
    if (trimmedToken(token, slot) ? strnlen(slot, OPTION_SLOT_SIZE) >= OPTION_SLOT_SIZE - 1 : slot[0] != '\0')
      __builtin_trap();
  }
  for (const char* p = covered; p < end; ++p)
    if (*p != ' ') __builtin_trap();
  return 0;
}
