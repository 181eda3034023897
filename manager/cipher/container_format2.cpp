#include "manager/cipher/container_format2.h"

#include <string.h>

#include <mbedtls/platform_util.h>
#include <mbedtls/sha256.h>

#include "common/le_bytes.h"

const unsigned char format2Magic[FORMAT2_MAGIC_SIZE] = {'K', 'Y', 'V', 'O', 'M', 'A', 'R', ' ',
                                                         'C', 'R', 'Y', 'P', 'T', ' ', '2', 0x0A};

namespace {

enum { kShaBlock = 64, kShaSize = 32 };

// HMAC-SHA256 with the key's padded blocks already absorbed: inner and outer
// hold the state after the key XOR ipad and the key XOR opad.
class HmacSha256 {
 public:
  HmacSha256(const unsigned char* key, size_t keyLength) {
    mbedtls_sha256_init(&inner_);
    mbedtls_sha256_init(&outer_);
    unsigned char block[kShaBlock] = {};
    if (keyLength > kShaBlock)
      mbedtls_sha256_ret(key, keyLength, block, 0);  // a long key is replaced by its digest
    else if (keyLength > 0)
      memcpy(block, key, keyLength);
    for (unsigned char& b : block) b ^= 0x36;
    mbedtls_sha256_starts_ret(&inner_, 0);
    mbedtls_sha256_update_ret(&inner_, block, kShaBlock);
    for (unsigned char& b : block) b ^= 0x36 ^ 0x5C;
    mbedtls_sha256_starts_ret(&outer_, 0);
    mbedtls_sha256_update_ret(&outer_, block, kShaBlock);
    mbedtls_platform_zeroize(block, sizeof block);
  }
  ~HmacSha256() {
    mbedtls_sha256_free(&inner_);  // zeroizes
    mbedtls_sha256_free(&outer_);
  }
  HmacSha256(const HmacSha256&) = delete;
  HmacSha256& operator=(const HmacSha256&) = delete;

  // MAC of the concatenation of two byte strings.
  void mac(const unsigned char* a, size_t aLength, const unsigned char* b, size_t bLength,
           unsigned char out[kShaSize]) const {
    mbedtls_sha256_context work;
    mbedtls_sha256_init(&work);
    mbedtls_sha256_clone(&work, &inner_);
    if (aLength > 0) mbedtls_sha256_update_ret(&work, a, aLength);
    if (bLength > 0) mbedtls_sha256_update_ret(&work, b, bLength);
    mbedtls_sha256_finish_ret(&work, out);
    mbedtls_sha256_clone(&work, &outer_);
    mbedtls_sha256_update_ret(&work, out, kShaSize);
    mbedtls_sha256_finish_ret(&work, out);
    mbedtls_sha256_free(&work);
  }

 private:
  mbedtls_sha256_context inner_;
  mbedtls_sha256_context outer_;
};

const unsigned char kEncLabel[] = {'k', 'y', 'v', 'o', 'm', 'a', 'r', ' ', 'e', 'n', 'c'};
const unsigned char kMacLabel[] = {'k', 'y', 'v', 'o', 'm', 'a', 'r', ' ', 'm', 'a', 'c'};

}  // namespace

bool hasFormat2Magic(const unsigned char* data, size_t size) {
  return size >= FORMAT2_MAGIC_SIZE && memcmp(data, format2Magic, FORMAT2_MAGIC_SIZE) == 0;
}

Format2Header newFormat2Header(const unsigned char salt[FORMAT2_SALT_SIZE], uint32_t iterations,
                               uint64_t archiveSize) {
  Format2Header header;
  memset(&header, 0, sizeof header);
  header.derivation = FORMAT2_KDF_PBKDF2_SHA256;
  header.iterations = iterations;
  memcpy(header.salt, salt, FORMAT2_SALT_SIZE);
  header.chunkSize = FORMAT2_CHUNK_SIZE;
  header.archiveSize = archiveSize;
  return header;
}

void encodeFormat2Header(const Format2Header& header, unsigned char out[FORMAT2_HEADER_SIZE]) {
  memcpy(out, format2Magic, FORMAT2_MAGIC_SIZE);
  putLe32(out + 16, header.derivation);
  putLe32(out + 20, header.iterations);
  memcpy(out + 24, header.salt, FORMAT2_SALT_SIZE);
  putLe32(out + 40, header.chunkSize);
  putLe64(out + 44, header.archiveSize);
  memcpy(out + FORMAT2_MAC_OFFSET, header.mac, sizeof header.mac);
}

int parseFormat2Header(const unsigned char* data, size_t size, Format2Header* header) {
  if (size < FORMAT2_HEADER_SIZE || !hasFormat2Magic(data, size)) return FORMAT2_DAMAGED;
  header->derivation = getLe32(data + 16);
  header->iterations = getLe32(data + 20);
  memcpy(header->salt, data + 24, FORMAT2_SALT_SIZE);
  header->chunkSize = getLe32(data + 40);
  header->archiveSize = getLe64(data + 44);
  memcpy(header->mac, data + FORMAT2_MAC_OFFSET, sizeof header->mac);
  if (header->derivation != FORMAT2_KDF_PBKDF2_SHA256) return FORMAT2_DAMAGED;
  if (header->iterations < FORMAT2_ITERATIONS_MIN || header->iterations > FORMAT2_ITERATIONS_MAX)
    return FORMAT2_DAMAGED;
  if (header->chunkSize != FORMAT2_CHUNK_SIZE) return FORMAT2_DAMAGED;
  return FORMAT2_OK;
}

void hmacSha256(const unsigned char* key, size_t keyLength, const unsigned char* data, size_t length,
                unsigned char out[32]) {
  HmacSha256 hmac(key, keyLength);
  hmac.mac(data, length, nullptr, 0, out);
}

bool pbkdf2HmacSha256(const unsigned char* password, size_t passwordLength, const unsigned char* salt,
                      size_t saltLength, uint32_t iterations, unsigned char* out, size_t outLength,
                      bool (*stopRequested)()) {
  HmacSha256 prf(password, passwordLength);
  unsigned char u[kShaSize], t[kShaSize];
  unsigned char* const start = out;
  const size_t length = outLength;
  bool stopped = false;
  for (uint32_t block = 1; outLength > 0; ++block) {
    unsigned char index[4] = {static_cast<unsigned char>(block >> 24), static_cast<unsigned char>(block >> 16),
                              static_cast<unsigned char>(block >> 8), static_cast<unsigned char>(block)};
    prf.mac(salt, saltLength, index, sizeof index, u);  // U1 = PRF(salt || INT(block))
    memcpy(t, u, kShaSize);
    for (uint32_t i = 1; i < iterations; ++i) {
      if (stopRequested != nullptr && i % FORMAT2_STOP_POLL == 0 && stopRequested()) {
        stopped = true;
        break;
      }
      prf.mac(u, kShaSize, nullptr, 0, u);  // Uj = PRF(Uj-1)
      for (int k = 0; k < kShaSize; ++k) t[k] ^= u[k];
    }
    if (stopped) break;
    size_t take = outLength < size_t{kShaSize} ? outLength : size_t{kShaSize};
    memcpy(out, t, take);
    out += take;
    outLength -= take;
  }
  mbedtls_platform_zeroize(u, sizeof u);
  mbedtls_platform_zeroize(t, sizeof t);
  if (stopped) mbedtls_platform_zeroize(start, length);
  return !stopped;
}

Format2Result deriveFormat2Keys(const char* password, const unsigned char salt[FORMAT2_SALT_SIZE],
                                uint32_t iterations, Format2Keys* keys, bool (*stopRequested)()) {
  unsigned char master[FORMAT2_KEY_SIZE];
  if (!pbkdf2HmacSha256(reinterpret_cast<const unsigned char*>(password), strlen(password), salt,
                        FORMAT2_SALT_SIZE, iterations, master, sizeof master, stopRequested)) {
    wipeFormat2Keys(keys);
    return FORMAT2_STOPPED;
  }
  HmacSha256 split(master, sizeof master);
  split.mac(kEncLabel, sizeof kEncLabel, nullptr, 0, keys->encryption);
  split.mac(kMacLabel, sizeof kMacLabel, nullptr, 0, keys->mac);
  mbedtls_platform_zeroize(master, sizeof master);
  return FORMAT2_OK;
}

void wipeFormat2Keys(Format2Keys* keys) { mbedtls_platform_zeroize(keys, sizeof *keys); }

void format2HeaderMac(const unsigned char header[FORMAT2_HEADER_SIZE], const unsigned char macKey[FORMAT2_KEY_SIZE],
                      unsigned char mac[32]) {
  hmacSha256(macKey, FORMAT2_KEY_SIZE, header, FORMAT2_MAC_OFFSET, mac);
}

void sealFormat2Header(unsigned char header[FORMAT2_HEADER_SIZE], const Format2Keys& keys) {
  format2HeaderMac(header, keys.mac, header + FORMAT2_MAC_OFFSET);
}

int verifyFormat2Header(const unsigned char header[FORMAT2_HEADER_SIZE], const Format2Keys& keys) {
  unsigned char mac[32];
  format2HeaderMac(header, keys.mac, mac);
  unsigned char difference = 0;
  for (size_t i = 0; i < sizeof mac; ++i) difference |= mac[i] ^ header[FORMAT2_MAC_OFFSET + i];
  return difference == 0 ? FORMAT2_OK : FORMAT2_BAD_HEADER;
}

size_t format2ChunkLength(uint64_t n, uint64_t index) {
  uint64_t last = format2LastChunk(n);
  if (index < last) return FORMAT2_CHUNK_SIZE;
  if (index == last) return static_cast<size_t>(n % FORMAT2_CHUNK_SIZE);
  return 0;
}

bool format2ContainerSize(uint64_t n, uint64_t* size) {
  uint64_t tags = (format2LastChunk(n) + 1) * FORMAT2_TAG_SIZE;  // at most 2^52: no overflow
  uint64_t fixed = FORMAT2_HEADER_SIZE + tags;
  if (n > UINT64_MAX - fixed) return false;
  *size = n + fixed;
  return true;
}

void format2ChunkNonce(uint64_t index, bool last, unsigned char nonce[FORMAT2_NONCE_SIZE]) {
  putLe64(nonce, index);
  putLe32(nonce + 8, last ? 1 : 0);
}

Format2ChunkCipher::Format2ChunkCipher(const unsigned char key[FORMAT2_KEY_SIZE], GcmEngine engine)
    : ok_(gcmSetKey(&key_, key, engine)) {}

Format2ChunkCipher::~Format2ChunkCipher() { gcmWipeKey(&key_); }

bool Format2ChunkCipher::setKey(const unsigned char key[FORMAT2_KEY_SIZE], GcmEngine engine) {
  gcmWipeKey(&key_);
  ok_ = gcmSetKey(&key_, key, engine);
  return ok_;
}

bool Format2ChunkCipher::seal(uint64_t index, bool last, const unsigned char* plain, size_t length,
                              unsigned char* sealed) {
  if (!ok_) return false;
  unsigned char nonce[FORMAT2_NONCE_SIZE];
  format2ChunkNonce(index, last, nonce);
  gcmSeal(&key_, nonce, plain, length, sealed, sealed + length);
  return true;
}

int Format2ChunkCipher::open(uint64_t index, bool last, const unsigned char* sealed, size_t length,
                             unsigned char* plain) {
  unsigned char nonce[FORMAT2_NONCE_SIZE];
  format2ChunkNonce(index, last, nonce);
  if (ok_ && gcmOpen(&key_, nonce, sealed, length, sealed + length, plain)) return FORMAT2_OK;
  if (length > 0) mbedtls_platform_zeroize(plain, length);
  return FORMAT2_DAMAGED;
}
