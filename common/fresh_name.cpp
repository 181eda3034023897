#include "common/fresh_name.h"

#include <string.h>

#include "common/text_util.h"

bool formFreshPath(const wchar_t* path, size_t folderPartLength, unsigned long value, wchar_t out[FRESH_PATH_SIZE]) {
  out[0] = 0;
  if (folderPartLength >= FRESH_PATH_SIZE - 1) return false;
  size_t room = FRESH_PATH_SIZE - 1 - folderPartLength;  // units left for the name
  char digits[9];
  formatText(digits, sizeof digits, "%08lx", value & 0xFFFFFFFFul);
  char name[20];
  if (room >= 16) {
    formatText(name, sizeof name, "~kyv%s.tmp", digits);
  } else if (room >= 2) {
    size_t keep = room - 1 > 8 ? 8 : room - 1;  // the last, fastest-changing digits
    formatText(name, sizeof name, "~%s", digits + 8 - keep);
  } else {
    formatText(name, sizeof name, "%s", digits + 7);
  }
  memcpy(out, path, folderPartLength * sizeof(wchar_t));
  size_t at = folderPartLength;
  for (const char* p = name; *p; ++p) out[at++] = static_cast<wchar_t>(*p);  // ASCII only
  out[at] = 0;
  return true;
}

bool isFreshName(const wchar_t* name) {
  if (textLength(name) != 16 || name[0] != L'~' || name[1] != L'k' || name[2] != L'y' || name[3] != L'v') return false;
  for (int i = 4; i < 12; ++i)
    if (!((name[i] >= L'0' && name[i] <= L'9') || (name[i] >= L'a' && name[i] <= L'f'))) return false;
  return name[12] == L'.' && name[13] == L't' && name[14] == L'm' && name[15] == L'p';
}
