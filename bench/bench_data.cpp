#include "bench/bench_data.h"

#include <windows.h>

#include "manager/cipher/container_format2.h"

std::string textLike(size_t size, unsigned seed) {
  static const char* const words[] = {"archive ", "block ", "zlib stream ", "header\r\n", "表ソ能 ", "データ ",
                                      "0123456789 ", "checksum ", "folder path "};
  std::string s;
  s.reserve(size + 16);
  unsigned x = seed * 2654435761u + 7;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 9];
  }
  s.resize(size);
  return s;
}

std::string randomBytes(size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned long long x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    s[i] = static_cast<char>(x);
  }
  return s;
}

double now() {
  static LARGE_INTEGER frequency;
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double format2KeyDerivationSeconds(const char* password) {
  const unsigned char salt[FORMAT2_SALT_SIZE] = {1, 2, 3};
  Format2Keys keys;
  bool (*const neverStop)() = [] { return false; };
  double start = now();
  deriveFormat2Keys(password, salt, FORMAT2_ITERATIONS, &keys, neverStop);
  double seconds = now() - start;
  wipeFormat2Keys(&keys);
  return seconds;
}
