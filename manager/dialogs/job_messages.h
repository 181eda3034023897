// What both jobs say alike at the end of their message tables.
#pragma once
#include <stddef.h>

#include "common/ui_texts.h"

// A stop (seen by the engines, or by the cipher), the system's cryptography
// that could not be used, and any other code by its number in the job's
// general failure text ("%d"), into buffer.
const char* jobEndMessage(int code, UiText stopped, UiText failed, char* buffer, size_t cap);
