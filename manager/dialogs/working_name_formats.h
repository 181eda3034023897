// The texts behind the working names, formed from given values: the clock,
// the temporary folder and the process and thread numbers are supplied by
// working_names.cpp, so that every format can be checked with fixed inputs.
#pragma once
#include <stddef.h>

#include "manager/dialogs/working_names.h"

struct LocalTimeFields {
  int year, month, day, hour, minute, second, millisecond;
};

enum TimeTextKind {
  TIME_TEXT_STAMP = 0,  // "%04d%02d%02d_%02d%02d%02d%03d", the stamp in working names
  TIME_TEXT_LOG = 1,    // "%d-%d-%d %d:%d:%d", the times of the operation log
};

// Writes the time text of the kind. 0, or 1 for an unknown kind or a buffer too
// small (out is then empty).
int formatTimeText(char* out, size_t cap, int kind, const LocalTimeFields& time);

// The working name in folder (which ends with a backslash) with the stamp
// and the process and thread numbers in lowercase hexadecimal. 0, or 1 when
// the name would be longer than 2048 characters: then it is empty, so a cut
// name can never point at another file.
int formatWorkingNames(WorkingNames* names, const wchar_t* folder, const char* stamp, unsigned processId,
                       unsigned threadId);

// The 62 characters of the random part of unique names.
extern const char kUniqueNameAlphabet[];
enum { UNIQUE_NAME_LENGTH = 39, UNIQUE_RANDOM_LENGTH = 8 };

// Local time "%04d%02d%02d-%02d%02d%02d", eight characters drawn with the C
// runtime's generator seeded by seed (srand, then rand() % 62 for each), and
// "%08x%08x" of the two numbers. 0, or 1 when out is smaller than 40 bytes (out
// is then empty).
int formatUniqueName(char* out, size_t cap, const LocalTimeFields& time, unsigned seed, unsigned processId,
                     unsigned threadId);
