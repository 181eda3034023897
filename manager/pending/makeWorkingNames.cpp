// Stand-in until the real step lands; reports failure.
#include <stddef.h>
struct WorkingNames; int makeWorkingNames(WorkingNames*) { return 1; }
