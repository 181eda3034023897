// Filler for the container header: bytes whose values no reader depends on.
#pragma once

// Fills the 1024-byte header block from the system's strong random source;
// when that fails, from the C runtime's generator seeded with the time in
// seconds.
void fillRandom(unsigned char block[1024]);
