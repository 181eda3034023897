// Time texts, the working names of a job, and unique probe names.
#pragma once
#include <stddef.h>

// kind 0: "%04d%02d%02d_%02d%02d%02d%03d"; kind 1: "%d-%d-%d %d:%d:%d" (local time).
// Returns 0 (1, with an empty text, for another kind or a buffer too small).
int localTimeText(char* out, size_t cap, int kind);

struct WorkingNames {
  wchar_t sourceList[2049];  // "%sTmpCrp_%s_%x_%x.prc"
};
// Forms the job's working name in the user's temporary folder with the
// stamp, the process and the current thread number. Returns 0, or 1 when the
// temporary folder cannot be had or the name would not fit in 2048
// characters (it is empty then: a name is never cut into another path). The
// job's other working files take fresh names (common/working_file.h).
int makeWorkingNames(WorkingNames* names);

// Local time "%04d%02d%02d-%02d%02d%02d", eight characters drawn from the
// 62-character alphabet with the generator seeded by seed, and the process
// and thread numbers as "%08x%08x": 39 characters. Returns 0 (1, with an empty
// text, when out is smaller than 40 bytes).
int makeUniqueName(char* out, size_t cap, unsigned seed);
