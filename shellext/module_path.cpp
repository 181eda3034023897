#include "shellext/module_path.h"

#include <string.h>

#include "shellext/shift_jis.h"

namespace {

bool copyBounded(const char* text, size_t length, char* out, size_t outSize) {
  if (length >= outSize) {
    out[0] = '\0';
    return false;
  }
  memcpy(out, text, length);
  out[length] = '\0';
  return true;
}

}  // namespace

bool directoryOfPath(const char* path, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  if (!path) return false;
  // The directory ends before the last real separator; without one only the
  // drive (if any) is left.
  size_t length = strlen(path);
  size_t cut = 0;
  bool found = false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (isShiftJisLeadByte(c) && i + 1 < length && isShiftJisTrailByte(static_cast<unsigned char>(path[i + 1]))) {
      ++i;
      continue;
    }
    if (c == '\\' || c == '/') {
      cut = i;
      found = true;
    }
  }
  if (!found) cut = (length >= 2 && path[1] == ':') ? 2 : 0;
  return copyBounded(path, cut, out, outSize);
}

bool buildProgramPath(const char* moduleDirectory, char* out, size_t outSize) {
  static const char kProgram[] = "Kyvomar.exe";
  if (!out || outSize == 0) return false;
  out[0] = '\0';
  if (!moduleDirectory || moduleDirectory[0] == '\0') return false;
  size_t dir = strlen(moduleDirectory);
  size_t total = dir + 1 + (sizeof kProgram - 1);
  if (total >= outSize) return false;
  memcpy(out, moduleDirectory, dir);
  out[dir] = '\\';
  memcpy(out + dir + 1, kProgram, sizeof kProgram);
  return true;
}
