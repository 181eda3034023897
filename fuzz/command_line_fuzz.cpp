// Command lines as Explorer or the shell extension hand them over, and the
// path trimming rule.
#include <stdint.h>
#include <stddef.h>
#include <string.h>
#include <vector>

#include "manager/startup/command_line.h"
#include "manager/startup/text_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  CommandLineInfo info;
  classifyCommandLine(text.data(), &info);
  // The path list always points into the text.
  if (info.pathList < text.data() || info.pathList > text.data() + strlen(text.data())) __builtin_trap();
  char small[16], large[300];
  trimCommandLinePath(small, sizeof small, text.data());
  trimCommandLinePath(large, sizeof large, text.data());
  if (strlen(small) >= sizeof small || strlen(large) >= sizeof large) __builtin_trap();
  PathParts parts;
  splitPath(text.data(), &parts);
  return 0;
}
