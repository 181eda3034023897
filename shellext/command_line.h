// The command line with which the handler starts the manager:
//   xx /crpmode=N "path" "path" ...
// "xx" stands in the place of the program name, which the manager's entry
// point drops. The paths are the file manager's own UTF-16 names, handed on
// whole; for names that code page 932 holds, the line converted to ANSI is
// the manager's ANSI command line. Pure text work.
#pragma once
#include <stddef.h>

// The platform's limit for a command line, in characters with the terminator.
const size_t kCommandLineLimit = 32767;

// How many selected items the handler hands on: commandLineBound(count) must
// stay within kCommandLineLimit, which admits 124. The bound reserves 9 for
// "/crpmode=", 4 for "xx", its blank and the mode digit, and 263 per path
// (260 for the path, a blank and two quotation marks).
unsigned long long commandLineBound(unsigned count);

// Writes the command line for mode and the count paths (NUL-terminated wide
// texts) into out, NUL-terminated. Returns its length in characters, or -1
// (and an empty out) if it does not fit in outSize characters: a path is
// never cut.
long buildManagerCommandLine(unsigned mode, const wchar_t* const* paths, unsigned count, wchar_t* out,
                             size_t outSize);
