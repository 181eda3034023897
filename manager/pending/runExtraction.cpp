// Stand-in until the real step lands; reports failure.
#include <stddef.h>
int runExtraction(const char*) { return 1; }
