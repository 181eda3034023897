// Source contents for the packer's thread tests: data that compresses well,
// slowly, quickly or not at all.
#pragma once
#include <stddef.h>
#include <string>

#include "support/test_files.h"  // patternBytes: random-looking, incompressible

// Text-like bytes (Shift-JIS words included) that compress well but slowly.
std::string textLike(size_t size, unsigned seed);
// 32768-byte chunks that take the compressor very different times: text,
// zeros, random bytes and a repeated byte in turn, cut to size.
std::string mixedChunks(size_t size, unsigned seed);
