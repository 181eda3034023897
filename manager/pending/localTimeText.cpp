// Stand-in until the real step lands; reports failure.
#include <stddef.h>
int localTimeText(char* out, size_t cap, int) { if (cap) out[0] = 0; return 0; }
