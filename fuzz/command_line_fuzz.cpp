// Command lines as the system or the shell extension hand them over (UTF-16
// units, two input bytes each), and the path trimming rule.
#include <stdint.h>
#include <stddef.h>
#include <string.h>
#include <vector>

#include "common/command_line.h"
#include "common/text_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<wchar_t> text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  text.push_back(0);
  const wchar_t* end = text.data() + text.size() - 1;
  // The arguments and the path list always point into the text.
  const wchar_t* arguments = commandLineArguments(text.data());
  if (arguments < text.data() || arguments > end) __builtin_trap();
  CommandLineInfo info;
  classifyCommandLine(arguments, &info);
  if (info.pathList < arguments || info.pathList > end) __builtin_trap();
  wchar_t small[16], large[300];
  trimCommandLinePath(small, 16, text.data());
  trimCommandLinePath(large, 300, text.data());
  if (textLength(small) >= 16 || textLength(large) >= 300) __builtin_trap();
  WidePathParts parts;
  splitPath(text.data(), &parts);
  std::vector<char> narrow(data, data + size);
  narrow.push_back('\0');
  char narrowSmall[16];
  trimCommandLinePath(narrowSmall, sizeof narrowSmall, narrow.data());
  if (strlen(narrowSmall) >= sizeof narrowSmall) __builtin_trap();
  return 0;
}
