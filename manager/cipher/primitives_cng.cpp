// The primitives from the system's CNG. bcrypt.dll is loaded from the system
// folder when first needed, never linked: the program's static imports stay
// the known DLLs, which no file beside the program can stand in for. The
// algorithm providers are opened once and kept for the life of the process;
// keys and hash states are CNG objects, destroyed when their owner drops them.
//
// CBC's chain is carried by the caller's IV, as CNG's interface has it. Some
// implementations (Wine's) keep the chain inside the key object instead and
// neither write the IV back nor start again when handed the same IV twice;
// so the IV is moved on here, and a call that does not continue the chain
// the key object is at gets a fresh key object.
#include "manager/cipher/primitives.h"

#include <windows.h>
#include <bcrypt.h>
#include <string.h>

#include "common/file_util.h"
#include "common/unique_handle.h"

namespace {

struct BcryptCalls {
  decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider;
  decltype(&BCryptSetProperty) setProperty;
  decltype(&BCryptGenerateSymmetricKey) generateSymmetricKey;
  decltype(&BCryptDestroyKey) destroyKey;
  decltype(&BCryptEncrypt) encrypt;
  decltype(&BCryptDecrypt) decrypt;
  decltype(&BCryptCreateHash) createHash;
  decltype(&BCryptDuplicateHash) duplicateHash;
  decltype(&BCryptHashData) hashData;
  decltype(&BCryptFinishHash) finishHash;
  decltype(&BCryptDestroyHash) destroyHash;
  decltype(&BCryptGenRandom) genRandom;
};

// What the process keeps: the calls, and one provider per algorithm (the two
// AES ones differ in their chaining mode).
struct Cng {
  bool ready;
  BcryptCalls call;
  BCRYPT_ALG_HANDLE sha256;
  BCRYPT_ALG_HANDLE hmacSha256;
  BCRYPT_ALG_HANDLE aesCbc;
  BCRYPT_ALG_HANDLE aesGcm;
};

Cng cng;
INIT_ONCE cngOnce = INIT_ONCE_STATIC_INIT;

template <typename T>
bool bind(HMODULE library, const char* name, T* call) {
  *call = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *call != nullptr;
}

bool succeeded(NTSTATUS status) { return status >= 0; }

bool openAes(const wchar_t* chainingMode, BCRYPT_ALG_HANDLE* provider) {
  if (!succeeded(cng.call.openAlgorithmProvider(provider, BCRYPT_AES_ALGORITHM, nullptr, 0))) return false;
  ULONG size = static_cast<ULONG>((lstrlenW(chainingMode) + 1) * sizeof(wchar_t));
  return succeeded(cng.call.setProperty(*provider, BCRYPT_CHAINING_MODE,
                                        reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chainingMode)), size, 0));
}

BOOL CALLBACK openCng(PINIT_ONCE, PVOID, PVOID*) {
  // The library stays loaded: the providers and every key live in it.
  HMODULE library = loadSystemLibrary(L"bcrypt.dll");
  if (!library) return TRUE;
  BcryptCalls& c = cng.call;
  bool bound = bind(library, "BCryptOpenAlgorithmProvider", &c.openAlgorithmProvider) &&
               bind(library, "BCryptSetProperty", &c.setProperty) &&
               bind(library, "BCryptGenerateSymmetricKey", &c.generateSymmetricKey) &&
               bind(library, "BCryptDestroyKey", &c.destroyKey) && bind(library, "BCryptEncrypt", &c.encrypt) &&
               bind(library, "BCryptDecrypt", &c.decrypt) && bind(library, "BCryptCreateHash", &c.createHash) &&
               bind(library, "BCryptDuplicateHash", &c.duplicateHash) &&
               bind(library, "BCryptHashData", &c.hashData) && bind(library, "BCryptFinishHash", &c.finishHash) &&
               bind(library, "BCryptDestroyHash", &c.destroyHash) &&
               bind(library, "BCryptGenRandom", &c.genRandom);
  if (!bound) return TRUE;
  cng.ready = succeeded(c.openAlgorithmProvider(&cng.sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
              succeeded(c.openAlgorithmProvider(&cng.hmacSha256, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                BCRYPT_ALG_HANDLE_HMAC_FLAG)) &&
              openAes(BCRYPT_CHAIN_MODE_CBC, &cng.aesCbc) && openAes(BCRYPT_CHAIN_MODE_GCM, &cng.aesGcm);
  return TRUE;
}

bool ready() {
  InitOnceExecuteOnce(&cngOnce, openCng, nullptr, nullptr);
  return cng.ready;
}

struct CngHashTraits {
  using Type = BCRYPT_HASH_HANDLE;
  static Type empty() { return nullptr; }
  static void close(Type h) { cng.call.destroyHash(h); }
};
using UniqueCngHash = UniqueHandle<CngHashTraits>;

// Lengths of this program's buffers fit a ULONG: the largest is a chunk.
ULONG ulong(size_t n) { return static_cast<ULONG>(n); }

bool hashPart(BCRYPT_HASH_HANDLE hash, const void* data, size_t length) {
  if (length == 0) return true;
  return succeeded(cng.call.hashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), ulong(length), 0));
}

// A key: the CNG object, the key's bytes (to make a fresh object when a new
// chain starts) and, for CBC, where the object's chain is.
struct CngKey {
  BCRYPT_KEY_HANDLE handle;
  BCRYPT_ALG_HANDLE provider;
  unsigned char bytes[CRYPTO_AES_KEY_SIZE];
  unsigned char chain[CRYPTO_AES_BLOCK];
  bool used;   // the object has turned data: chain holds where it is
  bool stale;  // a call failed: where its chain is, is unknown
};

CngKey* keyOf(const CryptoKey* key) { return static_cast<CngKey*>(key->object); }

bool freshObject(CngKey* k) {
  if (k->handle) cng.call.destroyKey(k->handle);
  k->handle = nullptr;
  k->used = false;
  k->stale = false;
  return succeeded(cng.call.generateSymmetricKey(k->provider, &k->handle, nullptr, 0, k->bytes,
                                                 CRYPTO_AES_KEY_SIZE, 0));
}

bool cbc(const CryptoKey* key, bool encrypting, unsigned char iv[CRYPTO_AES_BLOCK], const unsigned char* in,
         unsigned char* out, size_t length) {
  CngKey* k = keyOf(key);
  if (!k || length % CRYPTO_AES_BLOCK != 0) return false;
  if (length == 0) return true;
  bool continues = k->used && !k->stale && memcmp(k->chain, iv, CRYPTO_AES_BLOCK) == 0;
  if (k->used && !continues && !freshObject(k)) return false;
  unsigned char next[CRYPTO_AES_BLOCK];
  if (!encrypting) memcpy(next, in + length - CRYPTO_AES_BLOCK, sizeof next);  // in may be out
  unsigned char work[CRYPTO_AES_BLOCK];  // CNG may or may not write it back
  memcpy(work, iv, sizeof work);
  ULONG done = 0;
  NTSTATUS status =
      encrypting ? cng.call.encrypt(k->handle, const_cast<PUCHAR>(in), ulong(length), nullptr, work, sizeof work, out,
                                    ulong(length), &done, 0)
                 : cng.call.decrypt(k->handle, const_cast<PUCHAR>(in), ulong(length), nullptr, work, sizeof work, out,
                                    ulong(length), &done, 0);
  if (!succeeded(status) || done != length) {
    k->used = k->stale = true;  // the next call starts afresh
    return false;
  }
  memcpy(iv, encrypting ? out + length - CRYPTO_AES_BLOCK : next, CRYPTO_AES_BLOCK);
  memcpy(k->chain, iv, CRYPTO_AES_BLOCK);
  k->used = true;
  return true;
}

}  // namespace

bool cryptoAvailable() { return ready(); }

bool cryptoSha256(const void* data, size_t length, unsigned char digest[CRYPTO_SHA256_SIZE]) {
  if (!ready()) return false;
  UniqueCngHash hash;
  return succeeded(cng.call.createHash(cng.sha256, hash.put(), nullptr, 0, nullptr, 0, 0)) &&
         hashPart(hash.get(), data, length) &&
         succeeded(cng.call.finishHash(hash.get(), digest, CRYPTO_SHA256_SIZE, 0));
}

bool cryptoHmacStart(CryptoHmac* hmac, const unsigned char* key, size_t keyLength) {
  hmac->state = nullptr;
  if (!ready()) return false;
  UniqueCngHash hash;
  if (!succeeded(cng.call.createHash(cng.hmacSha256, hash.put(), nullptr, 0, const_cast<PUCHAR>(key),
                                     ulong(keyLength), 0)))
    return false;
  hmac->state = hash.release();
  return true;
}

bool cryptoHmacMac(const CryptoHmac* hmac, const unsigned char* a, size_t aLength, const unsigned char* b,
                   size_t bLength, unsigned char out[CRYPTO_SHA256_SIZE]) {
  if (!hmac->state) return false;
  UniqueCngHash work;
  return succeeded(cng.call.duplicateHash(static_cast<BCRYPT_HASH_HANDLE>(hmac->state), work.put(), nullptr, 0, 0)) &&
         hashPart(work.get(), a, aLength) && hashPart(work.get(), b, bLength) &&
         succeeded(cng.call.finishHash(work.get(), out, CRYPTO_SHA256_SIZE, 0));
}

void cryptoHmacEnd(CryptoHmac* hmac) {
  if (hmac->state) cng.call.destroyHash(static_cast<BCRYPT_HASH_HANDLE>(hmac->state));
  hmac->state = nullptr;
}

bool cryptoMakeKey(CryptoKey* key, CryptoMode mode, const unsigned char bytes[CRYPTO_AES_KEY_SIZE]) {
  key->object = nullptr;
  if (!ready()) return false;
  CngKey* k = static_cast<CngKey*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CngKey)));
  if (!k) return false;
  k->provider = mode == CRYPTO_AES_GCM ? cng.aesGcm : cng.aesCbc;
  memcpy(k->bytes, bytes, CRYPTO_AES_KEY_SIZE);
  key->object = k;
  if (freshObject(k)) return true;
  cryptoDropKey(key);
  return false;
}

void cryptoDropKey(CryptoKey* key) {
  CngKey* k = keyOf(key);
  if (k) {
    if (k->handle) cng.call.destroyKey(k->handle);
    SecureZeroMemory(k, sizeof *k);
    HeapFree(GetProcessHeap(), 0, k);
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

namespace {
BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO gcmInfo(const unsigned char* nonce, unsigned char* tag) {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
  BCRYPT_INIT_AUTH_MODE_INFO(info);
  info.pbNonce = const_cast<PUCHAR>(nonce);
  info.cbNonce = CRYPTO_GCM_NONCE_SIZE;
  info.pbTag = tag;
  info.cbTag = CRYPTO_GCM_TAG_SIZE;
  return info;
}
}  // namespace

bool cryptoGcmSeal(const CryptoKey* key, const unsigned char nonce[CRYPTO_GCM_NONCE_SIZE], const unsigned char* plain,
                   size_t length, unsigned char* sealed, unsigned char tag[CRYPTO_GCM_TAG_SIZE]) {
  if (!key->object) return false;
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = gcmInfo(nonce, tag);
  ULONG done = 0;
  return succeeded(cng.call.encrypt(keyOf(key)->handle, const_cast<PUCHAR>(plain), ulong(length), &info, nullptr, 0, sealed,
                                    ulong(length), &done, 0)) &&
         done == length;
}

bool cryptoGcmOpen(const CryptoKey* key, const unsigned char nonce[CRYPTO_GCM_NONCE_SIZE], const unsigned char* sealed,
                   size_t length, const unsigned char tag[CRYPTO_GCM_TAG_SIZE], unsigned char* plain) {
  bool opened = false;
  if (key->object) {
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = gcmInfo(nonce, const_cast<unsigned char*>(tag));
    ULONG done = 0;
    opened = succeeded(cng.call.decrypt(keyOf(key)->handle, const_cast<PUCHAR>(sealed), ulong(length), &info, nullptr, 0,
                                        plain, ulong(length), &done, 0)) &&
             done == length;
  }
  if (!opened && length > 0) SecureZeroMemory(plain, length);
  return opened;
}

bool cryptoRandom(unsigned char* out, size_t size) {
  if (!ready()) return false;
  return succeeded(cng.call.genRandom(nullptr, out, ulong(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}
