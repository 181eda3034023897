// Stand-in until the real step lands; reports failure.
#include <stddef.h>
int makeUniqueName(char* out, size_t cap, unsigned) { if (cap) out[0] = 0; return 0; }
