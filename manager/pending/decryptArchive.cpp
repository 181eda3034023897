// Stand-in until the real step lands; reports failure.
#include <stddef.h>
int decryptArchive(const char*, const char*, const char*) { return 205; }
