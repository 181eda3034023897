#include "manager/cipher/key_material.h"

#include <string.h>

#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>

bool passwordAcceptable(const char* password) {
  if (password == nullptr) return false;
  for (size_t i = 0; i <= PASSWORD_MAX_BYTES; ++i)
    if (password[i] == '\0') return true;
  return false;
}

void passwordDigest(const char* password, unsigned char sha2sum[SHA2SUM_SIZE]) {
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(password), strlen(password), sha2sum, 0);
}

void deriveKey(const char* password, CipherKey* key) {
  unsigned char sha2sum[SHA2SUM_SIZE];
  passwordDigest(password, sha2sum);
  keyFromDigest(sha2sum, key);
  mbedtls_platform_zeroize(sha2sum, sizeof sha2sum);
}

void keyFromDigest(const unsigned char sha2sum[SHA2SUM_SIZE], CipherKey* key) {
  memmove(key->sha2sum, sha2sum, SHA2SUM_SIZE);
  mbedtls_aes_init(&key->encryptRounds);
  mbedtls_aes_init(&key->decryptRounds);
  mbedtls_aes_setkey_enc(&key->encryptRounds, key->sha2sum, 256);
  mbedtls_aes_setkey_dec(&key->decryptRounds, key->sha2sum, 256);
}

void wipeKey(CipherKey* key) {
  mbedtls_aes_free(&key->encryptRounds);  // zeroizes the round keys
  mbedtls_aes_free(&key->decryptRounds);
  mbedtls_platform_zeroize(key, sizeof *key);
}

int statLocOf(const unsigned char sha2sum[SHA2SUM_SIZE]) {
  int value = (sha2sum[0] | (sha2sum[1] << 8)) & 0x3FF;
  return value > STATLOC_LAST ? STATLOC_LAST : value;
}

void cbcEncrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in,
                unsigned char* out, size_t length) {
  length &= ~static_cast<size_t>(CIPHER_BLOCK - 1);
  if (length == 0) return;
  mbedtls_aes_crypt_cbc(&key->encryptRounds, MBEDTLS_AES_ENCRYPT, length, iv, in, out);
}

void cbcDecrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in,
                unsigned char* out, size_t length) {
  length = roundUpToBlock(length);
  if (length == 0) return;
  mbedtls_aes_crypt_cbc(&key->decryptRounds, MBEDTLS_AES_DECRYPT, length, iv, in, out);
}

size_t encryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], unsigned char* data,
                    size_t count, unsigned char* out) {
  size_t rounded = roundUpToBlock(count);
  // The pad bytes of the last block are zero: whatever the buffer held there
  // before (plaintext of an earlier chunk) never reaches the output.
  memset(data + count, 0, rounded - count);
  cbcEncrypt(key, iv, data, out, rounded);
  return rounded;
}

size_t decryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* data,
                    size_t count, unsigned char* out) {
  cbcDecrypt(key, iv, data, out, count);
  return count;
}
