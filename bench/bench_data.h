// What the benchmarks share: generated contents and a wall clock.
#pragma once
#include <stddef.h>

#include <string>

// Text-like bytes (Shift-JIS words included) that compress well but slowly.
std::string textLike(size_t size, unsigned seed);
// Random-looking bytes that do not compress.
std::string randomBytes(size_t size, unsigned seed);
// Seconds from an arbitrary start, high resolution.
double now();
// Seconds the second container format's key derivation takes once, with the
// iterations every container gets, as the jobs derive (with the user's stop
// asked as it goes).
double format2KeyDerivationSeconds(const char* password);
