// The primitives from OpenSSL's libcrypto, for the native build and the
// fuzzers: the same cipher code runs there on an implementation of its own.
#include "manager/cipher/primitives.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <string.h>

namespace {

// A key: its bytes and a cipher context, set up again for every call.
struct OpenSslKey {
  CryptoMode mode;
  unsigned char bytes[CRYPTO_AES_KEY_SIZE];
  EVP_CIPHER_CTX* context;
};

// HMAC's padded key absorbed into the inner and outer digests.
struct OpenSslHmac {
  EVP_MD_CTX* inner;
  EVP_MD_CTX* outer;
};

OpenSslKey* keyOf(const CryptoKey* key) { return static_cast<OpenSslKey*>(key->object); }

bool cbc(const CryptoKey* key, bool encrypting, unsigned char iv[CRYPTO_AES_BLOCK], const unsigned char* in,
         unsigned char* out, size_t length) {
  OpenSslKey* k = keyOf(key);
  if (!k || k->mode != CRYPTO_AES_CBC || length % CRYPTO_AES_BLOCK != 0) return false;
  if (length == 0) return true;
  unsigned char next[CRYPTO_AES_BLOCK];
  if (!encrypting) memcpy(next, in + length - CRYPTO_AES_BLOCK, sizeof next);  // in may be out
  int done = 0;
  bool ok = EVP_CipherInit_ex(k->context, EVP_aes_256_cbc(), nullptr, k->bytes, iv, encrypting ? 1 : 0) == 1 &&
            EVP_CIPHER_CTX_set_padding(k->context, 0) == 1 &&
            EVP_CipherUpdate(k->context, out, &done, in, static_cast<int>(length)) == 1 &&
            static_cast<size_t>(done) == length;
  if (ok) memcpy(iv, encrypting ? out + length - CRYPTO_AES_BLOCK : next, CRYPTO_AES_BLOCK);
  return ok;
}

bool gcmStart(OpenSslKey* k, const unsigned char* nonce, bool encrypting) {
  return k && k->mode == CRYPTO_AES_GCM &&
         EVP_CipherInit_ex(k->context, EVP_aes_256_gcm(), nullptr, nullptr, nullptr, encrypting ? 1 : 0) == 1 &&
         EVP_CIPHER_CTX_ctrl(k->context, EVP_CTRL_GCM_SET_IVLEN, CRYPTO_GCM_NONCE_SIZE, nullptr) == 1 &&
         EVP_CipherInit_ex(k->context, nullptr, nullptr, k->bytes, nonce, encrypting ? 1 : 0) == 1;
}

}  // namespace

bool cryptoAvailable() { return true; }

bool cryptoSha256(const void* data, size_t length, unsigned char digest[CRYPTO_SHA256_SIZE]) {
  return EVP_Digest(data, length, digest, nullptr, EVP_sha256(), nullptr) == 1;
}

bool cryptoHmacStart(CryptoHmac* hmac, const unsigned char* key, size_t keyLength) {
  hmac->state = nullptr;
  OpenSslHmac* h = new OpenSslHmac{EVP_MD_CTX_new(), EVP_MD_CTX_new()};
  unsigned char block[64] = {};
  bool ok = h->inner && h->outer;
  if (ok && keyLength > sizeof block)
    ok = cryptoSha256(key, keyLength, block);  // a long key is replaced by its digest
  else if (keyLength > 0)
    memcpy(block, key, keyLength);
  for (unsigned char& b : block) b ^= 0x36;
  ok = ok && EVP_DigestInit_ex(h->inner, EVP_sha256(), nullptr) == 1 &&
       EVP_DigestUpdate(h->inner, block, sizeof block) == 1;
  for (unsigned char& b : block) b ^= 0x36 ^ 0x5C;
  ok = ok && EVP_DigestInit_ex(h->outer, EVP_sha256(), nullptr) == 1 &&
       EVP_DigestUpdate(h->outer, block, sizeof block) == 1;
  OPENSSL_cleanse(block, sizeof block);
  hmac->state = h;
  if (!ok) cryptoHmacEnd(hmac);
  return ok;
}

bool cryptoHmacMac(const CryptoHmac* hmac, const unsigned char* a, size_t aLength, const unsigned char* b,
                   size_t bLength, unsigned char out[CRYPTO_SHA256_SIZE]) {
  const OpenSslHmac* h = static_cast<const OpenSslHmac*>(hmac->state);
  if (!h) return false;
  EVP_MD_CTX* work = EVP_MD_CTX_new();
  unsigned char inner[CRYPTO_SHA256_SIZE];
  bool ok = work && EVP_MD_CTX_copy_ex(work, h->inner) == 1 && (aLength == 0 || EVP_DigestUpdate(work, a, aLength) == 1) &&
            (bLength == 0 || EVP_DigestUpdate(work, b, bLength) == 1) &&
            EVP_DigestFinal_ex(work, inner, nullptr) == 1 && EVP_MD_CTX_copy_ex(work, h->outer) == 1 &&
            EVP_DigestUpdate(work, inner, sizeof inner) == 1 && EVP_DigestFinal_ex(work, out, nullptr) == 1;
  OPENSSL_cleanse(inner, sizeof inner);
  EVP_MD_CTX_free(work);
  return ok;
}

void cryptoHmacEnd(CryptoHmac* hmac) {
  OpenSslHmac* h = static_cast<OpenSslHmac*>(hmac->state);
  if (h) {
    EVP_MD_CTX_free(h->inner);  // cleanses
    EVP_MD_CTX_free(h->outer);
    delete h;
  }
  hmac->state = nullptr;
}

bool cryptoMakeKey(CryptoKey* key, CryptoMode mode, const unsigned char bytes[CRYPTO_AES_KEY_SIZE]) {
  OpenSslKey* k = new OpenSslKey;
  k->mode = mode;
  memcpy(k->bytes, bytes, CRYPTO_AES_KEY_SIZE);
  k->context = EVP_CIPHER_CTX_new();
  key->object = k;
  if (k->context) return true;
  cryptoDropKey(key);
  return false;
}

void cryptoDropKey(CryptoKey* key) {
  OpenSslKey* k = keyOf(key);
  if (k) {
    EVP_CIPHER_CTX_free(k->context);
    OPENSSL_cleanse(k->bytes, sizeof k->bytes);
    delete k;
  }
  key->object = nullptr;
}

bool cryptoCbcEncrypt(const CryptoKey* key, unsigned char iv[CRYPTO_AES_BLOCK], const unsigned char* in,
                      unsigned char* out, size_t length) {
  return cbc(key, true, iv, in, out, length);
}

bool cryptoCbcDecrypt(const CryptoKey* key, unsigned char iv[CRYPTO_AES_BLOCK], const unsigned char* in,
                      unsigned char* out, size_t length) {
  return cbc(key, false, iv, in, out, length);
}

bool cryptoGcmSeal(const CryptoKey* key, const unsigned char nonce[CRYPTO_GCM_NONCE_SIZE], const unsigned char* plain,
                   size_t length, unsigned char* sealed, unsigned char tag[CRYPTO_GCM_TAG_SIZE]) {
  OpenSslKey* k = keyOf(key);
  int done = 0, last = 0;
  return gcmStart(k, nonce, true) &&
         (length == 0 || EVP_CipherUpdate(k->context, sealed, &done, plain, static_cast<int>(length)) == 1) &&
         EVP_CipherFinal_ex(k->context, sealed + done, &last) == 1 &&
         EVP_CIPHER_CTX_ctrl(k->context, EVP_CTRL_GCM_GET_TAG, CRYPTO_GCM_TAG_SIZE, tag) == 1;
}

bool cryptoGcmOpen(const CryptoKey* key, const unsigned char nonce[CRYPTO_GCM_NONCE_SIZE], const unsigned char* sealed,
                   size_t length, const unsigned char tag[CRYPTO_GCM_TAG_SIZE], unsigned char* plain) {
  OpenSslKey* k = keyOf(key);
  int done = 0, last = 0;
  bool opened =
      gcmStart(k, nonce, false) &&
      (length == 0 || EVP_CipherUpdate(k->context, plain, &done, sealed, static_cast<int>(length)) == 1) &&
      EVP_CIPHER_CTX_ctrl(k->context, EVP_CTRL_GCM_SET_TAG, CRYPTO_GCM_TAG_SIZE, const_cast<unsigned char*>(tag)) == 1 &&
      EVP_CipherFinal_ex(k->context, plain + done, &last) == 1;
  if (!opened && length > 0) OPENSSL_cleanse(plain, length);
  return opened;
}

bool cryptoRandom(unsigned char* out, size_t size) { return RAND_bytes(out, static_cast<int>(size)) == 1; }
