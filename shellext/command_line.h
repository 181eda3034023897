// The command line with which the handler starts the manager:
//   xx /crpmode=N "path" "path" ...
// "xx" stands in the place of the program name, which the manager's entry
// point drops. Pure text work.
#pragma once
#include <stddef.h>

// Each selected item takes one slot of this size: a path of at most 259 bytes
// and its terminator.
const size_t kSelectionSlotSize = 261;
// The platform's limit for a command line.
const unsigned long long kCommandLineLimit = 32767;

// Room the command line for count items is allowed: 9 for "/crpmode=", 4 for
// "xx", its blank and the mode digit, 263 per path (260 for the path, a blank
// and two quotation marks).
unsigned long long commandLineBound(unsigned count);

// Writes the command line for mode and the count slots (kSelectionSlotSize
// bytes each, a slot's text ends at its first NUL or at the slot's end) into
// out, NUL-terminated. Returns its length, or -1 (and an empty out) if it does
// not fit in outSize bytes.
long buildManagerCommandLine(unsigned mode, const char* slots, unsigned count, char* out, size_t outSize);
