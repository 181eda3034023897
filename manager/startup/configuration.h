// Content rule of "Kyvomar.Cfg": one key/value pair, the only setting "writelog".
#pragma once
#include <stddef.h>

enum { CONFIG_MAX_BYTES = 1023, CONFIG_FIELD_MAX = 255 };

// Applies the file content (len bytes; only the first 1023 count, reading stops
// at a NUL byte) to writeLog: sets it to 0 when the key is "writelog" (ASCII case
// ignored) and its value converts to 0; leaves it as it was otherwise.
void applyConfigurationText(const char* content, size_t len, long* writeLog);

// Trims a key or value in place: bytes of 0x20 or below go at the start, and at
// the end unless the only byte above 0x20 is the first one.
void trimConfigField(char* field);
