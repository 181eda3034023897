#include "manager/archive/entry_check.h"

#include <string.h>

#include "common/text_util.h"
#include "manager/archive/utf8_text.h"

namespace {

bool isPairAt(const char* text, unsigned long i, unsigned long length, bool utf8) {
  return !utf8 && i + 1 < length && isLeadByte(static_cast<unsigned char>(text[i])) &&
         isTrailByte(static_cast<unsigned char>(text[i + 1]));
}

bool isRefusedByte(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  return strchr("/:<>\"|?*", c) != nullptr;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsWord(const char* text, unsigned long length, const char* word) {
  if (strlen(word) != length) return false;
  for (unsigned long i = 0; i < length; ++i)
    if (lowerAscii(text[i]) != word[i]) return false;
  return true;
}

bool isDeviceName(const char* text, unsigned long length) {
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices)
    if (equalsWord(text, length, device)) return true;
  if (length == 4 && text[3] >= '1' && text[3] <= '9' &&
      (equalsWord(text, 3, "com") || equalsWord(text, 3, "lpt")))
    return true;
  return false;
}

// Length without trailing dots and blanks, which Windows strips from a name.
unsigned long strippedLength(const char* text, unsigned long length) {
  while (length > 0 && (text[length - 1] == '.' || text[length - 1] == ' ')) --length;
  return length;
}

}  // namespace

bool isSafePathComponent(const char* text, unsigned long length, bool utf8) {
  unsigned long kept = strippedLength(text, length);
  if (kept == 0) return false;
  if (utf8 && !isValidUtf8(text, length)) return false;
  unsigned long firstDot = kept;
  for (unsigned long i = 0; i < length; ++i) {
    if (isPairAt(text, i, length, utf8)) {
      ++i;  // the second byte belongs to its character
      continue;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\' || isRefusedByte(c)) return false;
    if (c == '.' && firstDot == kept && i < kept) firstDot = i;
  }
  // "CON.txt", "con .log" and "NUL..." open the device just like "CON".
  unsigned long base = firstDot;
  while (base > 0 && text[base - 1] == ' ') --base;
  return !isDeviceName(text, base);
}

bool isSafeFolderPath(const char* folderPath, bool utf8) {
  unsigned long length = static_cast<unsigned long>(strlen(folderPath));
  if (length == 0) return true;
  unsigned long start = 0;
  for (unsigned long i = 0; i <= length; ++i) {
    if (i < length && isPairAt(folderPath, i, length, utf8)) {
      ++i;
      continue;
    }
    if (i == length || folderPath[i] == '\\') {
      // An empty component stands for a leading, trailing or doubled
      // backslash; each is refused.
      if (!isSafePathComponent(folderPath + start, i - start, utf8)) return false;
      start = i + 1;
    }
  }
  return true;
}

bool isSafeEntryName(const char* name, bool folderEntry, bool utf8) {
  unsigned long length = static_cast<unsigned long>(strlen(name));
  if (length == 0) return folderEntry;
  return isSafePathComponent(name, length, utf8);
}
