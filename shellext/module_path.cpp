#include "shellext/module_path.h"

#include <string.h>
#include <wchar.h>

namespace {

bool copyBounded(const wchar_t* text, size_t length, wchar_t* out, size_t outSize) {
  if (length >= outSize) {
    out[0] = L'\0';
    return false;
  }
  memcpy(out, text, length * sizeof *text);
  out[length] = L'\0';
  return true;
}

}  // namespace

bool directoryOfPath(const wchar_t* path, wchar_t* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = L'\0';
  if (!path) return false;
  // The directory ends before the last separator; without one only the drive
  // (if any) is left.
  size_t length = wcslen(path);
  size_t cut = 0;
  bool found = false;
  for (size_t i = 0; i < length; ++i) {
    if (path[i] == L'\\' || path[i] == L'/') {
      cut = i;
      found = true;
    }
  }
  if (!found) cut = (length >= 2 && path[1] == L':') ? 2 : 0;
  return copyBounded(path, cut, out, outSize);
}

bool buildProgramPath(const wchar_t* moduleDirectory, wchar_t* out, size_t outSize) {
  static const wchar_t kProgram[] = L"Kyvomar.exe";
  if (!out || outSize == 0) return false;
  out[0] = L'\0';
  if (!moduleDirectory || moduleDirectory[0] == L'\0') return false;
  size_t dir = wcslen(moduleDirectory);
  size_t total = dir + 1 + (sizeof kProgram / sizeof kProgram[0] - 1);
  if (total >= outSize) return false;
  memcpy(out, moduleDirectory, dir * sizeof *out);
  out[dir] = L'\\';
  memcpy(out + dir + 1, kProgram, sizeof kProgram);
  return true;
}
