// Helpers of the cipher tests: hexadecimal texts, and an independent CBC run
// over a whole buffer, for comparing what the engine and the container write.
#pragma once
#include <stdlib.h>

#include <string>
#include <vector>

#include "manager/cipher/key_material.h"

inline std::vector<unsigned char> fromHex(const char* hex) {
  std::vector<unsigned char> out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    char pair[3] = {hex[i], hex[i + 1], '\0'};
    out.push_back(static_cast<unsigned char>(strtoul(pair, nullptr, 16)));
  }
  return out;
}

inline std::string hexOf(const unsigned char* p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

// AES-256-CBC from a zero IV under SHA-256(password), over the data padded
// with zero bytes to whole blocks.
inline std::string referenceEncrypt(const std::string& data, const char* password) {
  CipherKey key;
  deriveKey(password, &key);
  std::string padded = data;
  padded.resize(roundUpToBlock(data.size()), '\0');
  std::string out(padded.size(), '\0');
  unsigned char iv[CIPHER_BLOCK] = {};
  cbcEncrypt(&key, iv, reinterpret_cast<const unsigned char*>(padded.data()),
             reinterpret_cast<unsigned char*>(&out[0]), padded.size());
  wipeKey(&key);
  return out;
}

// The inverse over whole blocks (data is a multiple of 16 bytes).
inline std::string referenceDecrypt(const std::string& data, const char* password) {
  CipherKey key;
  deriveKey(password, &key);
  std::string out(data.size(), '\0');
  unsigned char iv[CIPHER_BLOCK] = {};
  cbcDecrypt(&key, iv, reinterpret_cast<const unsigned char*>(data.data()),
             reinterpret_cast<unsigned char*>(&out[0]), data.size());
  wipeKey(&key);
  return out;
}
