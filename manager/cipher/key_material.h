// Key material of the cipher: the SHA-256 digest of the password (sha2sum) is
// the AES-256 key, and its first two bytes place the size record in the
// container header. Blocks are enciphered in CBC mode with a caller-held IV
// that carries the chain from one call to the next.
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <mbedtls/aes.h>

enum {
  SHA2SUM_SIZE = 32,
  CIPHER_BLOCK = 16,
  PASSWORD_MAX_BYTES = 1025,  // longer passwords are refused by the engine
  STATLOC_LAST = 1018,        // highest offset of the size record in the header
};

// The key schedule of one password, for both directions. Lives on the stack
// of one stream; wipeKey clears it before it goes.
struct CipherKey {
  unsigned char sha2sum[SHA2SUM_SIZE];
  mbedtls_aes_context encryptRounds;
  mbedtls_aes_context decryptRounds;
};

// True for a password the engine accepts: present and at most 1025 bytes
// before its terminator. Never reads more than 1026 bytes of the text.
bool passwordAcceptable(const char* password);

// sha2sum = SHA-256 over the password bytes (without the terminator).
void passwordDigest(const char* password, unsigned char sha2sum[SHA2SUM_SIZE]);

// Digest of the password and the round keys of AES-256 keyed with it.
void deriveKey(const char* password, CipherKey* key);
// The round keys for a given 256-bit key (kept in sha2sum).
void keyFromDigest(const unsigned char sha2sum[SHA2SUM_SIZE], CipherKey* key);
// Clears the digest and both key schedules.
void wipeKey(CipherKey* key);

// Offset of the size record: the low 10 bits of sha2sum[1]:sha2sum[0], with
// 1019 to 1023 all becoming 1018.
int statLocOf(const unsigned char sha2sum[SHA2SUM_SIZE]);

// CBC encryption of length bytes (a multiple of 16; a partial tail is left
// alone). iv holds the chain and is updated in place.
void cbcEncrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in,
                unsigned char* out, size_t length);
// CBC decryption of length bytes rounded up to whole blocks: a partial count
// still turns one whole block, so in and out must hold the rounded length.
// in and out are distinct buffers.
void cbcDecrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in,
                unsigned char* out, size_t length);

inline size_t roundUpToBlock(size_t count) {
  return (count + (CIPHER_BLOCK - 1)) & ~static_cast<size_t>(CIPHER_BLOCK - 1);
}

// One chunk of a stream. Encrypting: the count bytes at data, padded with
// zero bytes to whole blocks (data must hold the rounded length), are
// enciphered into out; returns the rounded count. Decrypting: whole blocks
// covering count are deciphered into out; returns count.
size_t encryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], unsigned char* data,
                    size_t count, unsigned char* out);
size_t decryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* data,
                    size_t count, unsigned char* out);
