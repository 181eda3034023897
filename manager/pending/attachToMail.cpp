// Stand-in until the real step lands; reports failure.
#include <stddef.h>
int attachToMail(const char*) { return -1; }
