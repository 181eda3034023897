#include "manager/startup/configuration.h"

#include <string.h>

#include "common/text_util.h"

static bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

void trimConfigField(char* field) {
  size_t start = 0;
  while (field[start] != '\0' && isBlank(field[start])) ++start;
  if (start > 0) memmove(field, field + start, strlen(field + start) + 1);
  size_t len = strlen(field);
  // The end is cut after the last byte above 0x20, looking no further back
  // than the second byte: a single leading non-blank keeps what follows it.
  for (size_t i = len; i-- > 1;) {
    if (!isBlank(field[i])) {
      field[i + 1] = '\0';
      break;
    }
  }
}

void applyConfigurationText(const char* content, size_t len, long* writeLog) {
  if (len > CONFIG_MAX_BYTES) len = CONFIG_MAX_BYTES;
  char key[CONFIG_FIELD_MAX + 1];
  char value[CONFIG_FIELD_MAX + 1];
  size_t keyLen = 0, valueLen = 0;
  bool inValue = false;
  for (size_t i = 0; i < len && content[i] != '\0'; ++i) {
    char c = content[i];
    if (c == ',' || c == '=') {
      inValue = true;
      continue;
    }
    if (!inValue) {
      if (keyLen < CONFIG_FIELD_MAX) key[keyLen++] = c;
    } else if (valueLen < CONFIG_FIELD_MAX) {
      value[valueLen++] = c;
    }
  }
  key[keyLen] = '\0';
  value[valueLen] = '\0';
  trimConfigField(key);
  trimConfigField(value);
  if (key[0] == '#') return;
  if (!equalsIgnoreAsciiCase(key, "writelog")) return;
  if (textToInt(value) == 0) *writeLog = 0;
}
