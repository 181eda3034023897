#include "archive/packer_data.h"

std::string textLike(size_t size, unsigned seed) {
  static const char* const words[] = {"archive ", "表ソ能 ", "block ", "zlib\r\n", "header ", "データ ", "x "};
  std::string s;
  s.reserve(size + 16);
  unsigned x = seed * 2654435761u + 12345u;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 7];
  }
  s.resize(size);
  return s;
}

std::string mixedChunks(size_t size, unsigned seed) {
  std::string s;
  s.reserve(size + 32768);
  for (unsigned i = 0; s.size() < size; ++i) {
    switch ((i + seed) % 4) {
      case 0: s += textLike(32768, seed + i); break;
      case 1: s += std::string(32768, '\0'); break;
      case 2: s += patternBytes(32768, seed + i); break;
      default: s += std::string(32768, static_cast<char>('a' + i % 26)); break;
    }
  }
  s.resize(size);
  return s;
}
