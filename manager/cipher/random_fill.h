// Random bytes from the system's strong generator.
#pragma once
#include <stddef.h>

// Fills size bytes from the system's strong generator (CNG's system-preferred
// one). False when it fails; there is no weaker fallback, so callers that
// need the bytes stop with it.
bool strongRandom(unsigned char* out, size_t size);

// Filler for the container header: bytes whose values no reader depends on,
// from the same generator. False when it fails: the job stops then.
bool fillRandom(unsigned char block[1024]);
