// Random bytes from the system's strong generator.
#pragma once
#include <stddef.h>

// Fills size bytes from the system's strong generator. False when it fails;
// there is no weaker fallback, so callers that need secrets fail with it.
bool strongRandom(unsigned char* out, size_t size);

// Filler for the container header: bytes whose values no reader depends on.
// Fills the 1024-byte header block from the system's strong random source;
// when that fails, from the C runtime's generator seeded with the time in
// seconds.
void fillRandom(unsigned char block[1024]);
