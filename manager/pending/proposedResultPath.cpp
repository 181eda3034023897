// Stand-in until the real step lands; reports failure.
#include <stddef.h>
void proposedResultPath(const char*, const char*, char* out, size_t cap) { if (cap) out[0] = 0; }
