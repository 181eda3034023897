// The cryptographic primitives the cipher code is built on: SHA-256,
// HMAC-SHA256, AES-256 in CBC and GCM mode, and random bytes (PBKDF2 is
// built on the HMAC in container_format2.cpp, so that it can be stopped). The byte-level code sees them only through these calls; the Windows
// builds take them from the system's CNG (primitives_cng.cpp), the native
// build and the fuzzers from OpenSSL's libcrypto (primitives_openssl.cpp).
//
// Every call returns false when the implementation could not do it (in the
// Windows builds: bcrypt.dll missing, or a call of it failed); there is no
// fallback, so callers stop with the failure. Keys and HMAC states are plain
// records holding the implementation's object; an empty one (all zero) holds
// nothing, and dropping it again does nothing.
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum {
  CRYPTO_SHA256_SIZE = 32,
  CRYPTO_AES_KEY_SIZE = 32,
  CRYPTO_AES_BLOCK = 16,
  CRYPTO_GCM_NONCE_SIZE = 12,
  CRYPTO_GCM_TAG_SIZE = 16,
};

enum CryptoMode {
  CRYPTO_AES_CBC,
  CRYPTO_AES_GCM,  // 12-byte nonce, no additional data, 16-byte tag
};

// An AES-256 key object for one mode.
struct CryptoKey {
  void* object;
};

// HMAC-SHA256 with its key absorbed: each MAC starts from this state.
struct CryptoHmac {
  void* state;
};

// True when the primitives can be used at all (the Windows builds: bcrypt.dll
// loaded from the system folder and its algorithms opened).
bool cryptoAvailable();

bool cryptoSha256(const void* data, size_t length, unsigned char digest[CRYPTO_SHA256_SIZE]);

bool cryptoHmacStart(CryptoHmac* hmac, const unsigned char* key, size_t keyLength);
// The MAC of the concatenation of two byte strings (either may be empty).
// out may be one of the inputs.
bool cryptoHmacMac(const CryptoHmac* hmac, const unsigned char* a, size_t aLength, const unsigned char* b,
                   size_t bLength, unsigned char out[CRYPTO_SHA256_SIZE]);
void cryptoHmacEnd(CryptoHmac* hmac);

bool cryptoMakeKey(CryptoKey* key, CryptoMode mode, const unsigned char bytes[CRYPTO_AES_KEY_SIZE]);
void cryptoDropKey(CryptoKey* key);

// CBC over length bytes (a multiple of 16) of a CBC key; iv carries the chain
// and is updated in place. in and out may be the same buffer.
bool cryptoCbcEncrypt(const CryptoKey* key, unsigned char iv[CRYPTO_AES_BLOCK], const unsigned char* in,
                      unsigned char* out, size_t length);
bool cryptoCbcDecrypt(const CryptoKey* key, unsigned char iv[CRYPTO_AES_BLOCK], const unsigned char* in,
                      unsigned char* out, size_t length);

// GCM of a GCM key: length bytes of plain into sealed (as long), and the tag.
bool cryptoGcmSeal(const CryptoKey* key, const unsigned char nonce[CRYPTO_GCM_NONCE_SIZE], const unsigned char* plain,
                   size_t length, unsigned char* sealed, unsigned char tag[CRYPTO_GCM_TAG_SIZE]);
// True when the tag matches; false otherwise (or on failure), and plain then
// holds zeros, never unverified bytes.
bool cryptoGcmOpen(const CryptoKey* key, const unsigned char nonce[CRYPTO_GCM_NONCE_SIZE], const unsigned char* sealed,
                   size_t length, const unsigned char tag[CRYPTO_GCM_TAG_SIZE], unsigned char* plain);

// Bytes from the system's strong generator.
bool cryptoRandom(unsigned char* out, size_t size);
