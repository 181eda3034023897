// The command texts of the packer.
#include <stdint.h>
#include <stddef.h>
#include <string.h>
#include <vector>

#include "manager/archive/option_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  static const char* const kTable[] = {"S-i", "S-o", "N-x"};
  static char slots[3][OPTION_SLOT_SIZE];
  char* values[3] = {slots[0], slots[1], slots[2]};
  for (char* v : values) v[0] = '\0';
  std::vector<char> others(size + 2);
  parseOptionText(text.data(), kTable, 3, values, others.data(), others.size());
  for (char* v : values)
    if (strnlen(v, OPTION_SLOT_SIZE) == OPTION_SLOT_SIZE) __builtin_trap();
  return 0;
}
