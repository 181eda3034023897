#include "manager/cipher/key_material.h"

#include <string.h>

#include "common/wipe.h"

bool passwordAcceptable(const char* password) {
  if (password == nullptr) return false;
  for (size_t i = 0; i <= PASSWORD_MAX_BYTES; ++i)
    if (password[i] == '\0') return true;
  return false;
}

bool passwordDigest(const char* password, unsigned char sha2sum[SHA2SUM_SIZE]) {
  return cryptoSha256(password, strlen(password), sha2sum);
}

bool deriveKey(const char* password, CipherKey* key) {
  unsigned char sha2sum[SHA2SUM_SIZE];
  bool made = passwordDigest(password, sha2sum) && keyFromDigest(sha2sum, key);
  wipeBytes(sha2sum, sizeof sha2sum);
  if (!made) wipeKey(key);
  return made;
}

bool keyFromDigest(const unsigned char sha2sum[SHA2SUM_SIZE], CipherKey* key) {
  memmove(key->sha2sum, sha2sum, SHA2SUM_SIZE);
  return cryptoMakeKey(&key->aes, CRYPTO_AES_CBC, key->sha2sum);
}

void wipeKey(CipherKey* key) {
  cryptoDropKey(&key->aes);
  wipeBytes(key, sizeof *key);
}
int statLocOf(const unsigned char sha2sum[SHA2SUM_SIZE]) {
  int value = (sha2sum[0] | (sha2sum[1] << 8)) & 0x3FF;
  return value > STATLOC_LAST ? STATLOC_LAST : value;
}

bool cbcEncrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in, unsigned char* out,
                size_t length) {
  return cryptoCbcEncrypt(&key->aes, iv, in, out, length & ~static_cast<size_t>(CIPHER_BLOCK - 1));
}

bool cbcDecrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in, unsigned char* out,
                size_t length) {
  return cryptoCbcDecrypt(&key->aes, iv, in, out, roundUpToBlock(length));
}

bool encryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], unsigned char* data, size_t count,
                  unsigned char* out, size_t* produced) {
  size_t rounded = roundUpToBlock(count);
  // The pad bytes of the last block are zero: whatever the buffer held there
  // before (plaintext of an earlier chunk) never reaches the output.
  memset(data + count, 0, rounded - count);
  *produced = rounded;
  return cbcEncrypt(key, iv, data, out, rounded);
}

bool decryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* data, size_t count,
                  unsigned char* out, size_t* produced) {
  *produced = count;
  return cbcDecrypt(key, iv, data, out, count);
}
