// Key material of the cipher: the SHA-256 digest of the password (sha2sum) is
// the AES-256 key, and its first two bytes place the size record in the
// container header. Blocks are enciphered in CBC mode with a caller-held IV
// that carries the chain from one call to the next. The primitives come
// through primitives.h; every call that uses them says whether it could.
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "manager/cipher/primitives.h"

enum {
  SHA2SUM_SIZE = 32,
  CIPHER_BLOCK = 16,
  PASSWORD_MAX_BYTES = 1025,  // longer passwords are refused by the engine
  STATLOC_LAST = 1018,        // highest offset of the size record in the header
};

// The key of one password, for both directions: its digest and the CBC key
// object made from it. Held by one stream; wipeKey destroys the object and
// clears the digest before it goes. A zeroed record holds no key.
struct CipherKey {
  unsigned char sha2sum[SHA2SUM_SIZE];
  CryptoKey aes;
};

// True for a password the engine accepts: present and at most 1025 bytes
// before its terminator. Never reads more than 1026 bytes of the text.
bool passwordAcceptable(const char* password);

// sha2sum = SHA-256 over the password bytes (without the terminator). False
// when the digest could not be made.
bool passwordDigest(const char* password, unsigned char sha2sum[SHA2SUM_SIZE]);

// Digest of the password and the AES-256 key object made from it.
bool deriveKey(const char* password, CipherKey* key);
// The key object for a given 256-bit key (kept in sha2sum).
bool keyFromDigest(const unsigned char sha2sum[SHA2SUM_SIZE], CipherKey* key);
// Destroys the key object and clears the digest.
void wipeKey(CipherKey* key);

// Offset of the size record: the low 10 bits of sha2sum[1]:sha2sum[0], with
// 1019 to 1023 all becoming 1018.
int statLocOf(const unsigned char sha2sum[SHA2SUM_SIZE]);

// CBC encryption of length bytes (a multiple of 16; a partial tail is left
// alone). iv holds the chain and is updated in place. in and out may be the
// same buffer. False when the primitive failed.
bool cbcEncrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in,
                unsigned char* out, size_t length);
// CBC decryption of length bytes rounded up to whole blocks: a partial count
// still turns one whole block, so in and out must hold the rounded length.
// in and out are distinct buffers.
bool cbcDecrypt(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* in,
                unsigned char* out, size_t length);

inline size_t roundUpToBlock(size_t count) {
  return (count + (CIPHER_BLOCK - 1)) & ~static_cast<size_t>(CIPHER_BLOCK - 1);
}

// One chunk of a stream. Encrypting: the count bytes at data, padded with
// zero bytes to whole blocks (data must hold the rounded length), are
// enciphered into out; *produced is the rounded count. Decrypting: whole
// blocks covering count are deciphered into out; *produced is count. False
// when the primitive failed.
bool encryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], unsigned char* data, size_t count,
                  unsigned char* out, size_t* produced);
bool decryptChunk(CipherKey* key, unsigned char iv[CIPHER_BLOCK], const unsigned char* data, size_t count,
                  unsigned char* out, size_t* produced);
