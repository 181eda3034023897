#include "manager/archive/zone_identifier.h"

#include <string.h>

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool blank(char c) { return c == ' ' || c == '\t'; }

// Whether [begin, end) is word, regardless of case.
bool equalsWord(const char* begin, const char* end, const char* word) {
  size_t n = strlen(word);
  if (static_cast<size_t>(end - begin) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (lower(begin[i]) != word[i]) return false;
  return true;
}

void trim(const char** begin, const char** end) {
  while (*begin < *end && blank(**begin)) ++*begin;
  while (*end > *begin && blank((*end)[-1])) --*end;
}

}  // namespace

int zoneOfMarkText(const char* text, size_t size) {
  const char* end = text + size;
  bool inSection = false;
  for (const char* line = text; line < end;) {
    const char* stop = line;
    while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
    const char *begin = line, *finish = stop;
    line = stop < end ? stop + 1 : end;
    // A byte-order mark may open the text.
    if (begin == text && finish - begin >= 3 && memcmp(begin, "\xEF\xBB\xBF", 3) == 0) begin += 3;
    trim(&begin, &finish);
    if (begin < finish && *begin == '[') {
      const char* close = static_cast<const char*>(memchr(begin, ']', static_cast<size_t>(finish - begin)));
      const char* nameBegin = begin + 1;
      const char* nameEnd = close ? close : finish;
      trim(&nameBegin, &nameEnd);
      inSection = close && equalsWord(nameBegin, nameEnd, "zonetransfer");
      continue;
    }
    const char* equals = static_cast<const char*>(memchr(begin, '=', static_cast<size_t>(finish - begin)));
    if (!inSection || !equals) continue;
    const char *keyBegin = begin, *keyEnd = equals, *valueBegin = equals + 1, *valueEnd = finish;
    trim(&keyBegin, &keyEnd);
    trim(&valueBegin, &valueEnd);
    if (!equalsWord(keyBegin, keyEnd, "zoneid")) continue;
    if (valueEnd - valueBegin != 1 || *valueBegin < '0' || *valueBegin > '4') return ZONE_NONE;
    return *valueBegin - '0';
  }
  return ZONE_NONE;
}

size_t formatMarkText(int zone, char* out, size_t cap) {
  static const char kText[] = "[ZoneTransfer]\r\nZoneId=0\r\n";
  if (zone < ZONE_LOCAL || zone > ZONE_RESTRICTED || cap < sizeof kText) return 0;
  memcpy(out, kText, sizeof kText);
  out[sizeof kText - 4] = static_cast<char>('0' + zone);
  return sizeof kText - 1;
}
