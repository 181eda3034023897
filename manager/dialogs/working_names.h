// Time texts, the working names of a job, and unique probe names.
#pragma once
#include <stddef.h>

// kind 0: "%04d%02d%02d_%02d%02d%02d%03d"; kind 1: "%d-%d-%d %d:%d:%d" (local time).
// Returns 0 (1, with an empty text, for another kind or a buffer too small).
int localTimeText(char* out, size_t cap, int kind);

struct WorkingNames {
  wchar_t encrypted[2049];   // "%sTmpCrp_%s_%x_%x.enc"
  wchar_t sourceList[2049];  // "%sTmpCrp_%s_%x_%x.prc"
};
// Forms the names in the user's temporary folder with one stamp, the process
// and the current thread number. Returns 0, or 1 when the temporary folder
// cannot be had or a name would not fit in 2048 characters (all names are
// empty then: a name is never cut into another path).
int makeWorkingNames(WorkingNames* names);

// Local time "%04d%02d%02d-%02d%02d%02d", eight characters drawn from the
// 62-character alphabet with the generator seeded by seed, and the process
// and thread numbers as "%08x%08x": 39 characters. Returns 0 (1, with an empty
// text, when out is smaller than 40 bytes).
int makeUniqueName(char* out, size_t cap, unsigned seed);
