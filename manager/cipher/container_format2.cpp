#include "manager/cipher/container_format2.h"

#include <string.h>

#include "common/le_bytes.h"
#include "common/wipe.h"

const unsigned char format2Magic[FORMAT2_MAGIC_SIZE] = {'K', 'Y', 'V', 'O', 'M', 'A', 'R', ' ',
                                                         'C', 'R', 'Y', 'P', 'T', ' ', '2', 0x0A};

namespace {

enum { kShaSize = 32 };

// HMAC-SHA256 with its key absorbed once; each MAC starts from that state.
class HmacSha256 {
 public:
  HmacSha256(const unsigned char* key, size_t keyLength) : ok_(cryptoHmacStart(&state_, key, keyLength)) {}
  ~HmacSha256() { cryptoHmacEnd(&state_); }
  HmacSha256(const HmacSha256&) = delete;
  HmacSha256& operator=(const HmacSha256&) = delete;

  // MAC of the concatenation of two byte strings; false when it failed.
  bool mac(const unsigned char* a, size_t aLength, const unsigned char* b, size_t bLength,
           unsigned char out[kShaSize]) const {
    return ok_ && cryptoHmacMac(&state_, a, aLength, b, bLength, out);
  }

 private:
  CryptoHmac state_;
  bool ok_;
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

bool hmacSha256(const unsigned char* key, size_t keyLength, const unsigned char* data, size_t length,
                unsigned char out[32]) {
  HmacSha256 hmac(key, keyLength);
  return hmac.mac(data, length, nullptr, 0, out);
}

Format2Result pbkdf2HmacSha256(const unsigned char* password, size_t passwordLength, const unsigned char* salt,
                               size_t saltLength, uint32_t iterations, unsigned char* out, size_t outLength,
                               bool (*stopRequested)()) {
  HmacSha256 prf(password, passwordLength);
  unsigned char u[kShaSize], t[kShaSize];
  unsigned char* const start = out;
  const size_t length = outLength;
  Format2Result result = FORMAT2_OK;
  for (uint32_t block = 1; outLength > 0 && result == FORMAT2_OK; ++block) {
    unsigned char index[4] = {static_cast<unsigned char>(block >> 24), static_cast<unsigned char>(block >> 16),
                              static_cast<unsigned char>(block >> 8), static_cast<unsigned char>(block)};
    if (!prf.mac(salt, saltLength, index, sizeof index, u)) {  // U1 = PRF(salt || INT(block))
      result = FORMAT2_NO_CIPHER;
      break;
    }
    memcpy(t, u, kShaSize);
    for (uint32_t i = 1; i < iterations; ++i) {
      if (i % FORMAT2_STOP_POLL == 0 && stopRequested()) {
        result = FORMAT2_STOPPED;
        break;
      }
      if (!prf.mac(u, kShaSize, nullptr, 0, u)) {  // Uj = PRF(Uj-1)
        result = FORMAT2_NO_CIPHER;
        break;
      }
      for (int k = 0; k < kShaSize; ++k) t[k] ^= u[k];
    }
    if (result != FORMAT2_OK) break;
    size_t take = outLength < size_t{kShaSize} ? outLength : size_t{kShaSize};
    memcpy(out, t, take);
    out += take;
    outLength -= take;
  }
  wipeBytes(u, sizeof u);
  wipeBytes(t, sizeof t);
  if (result != FORMAT2_OK) wipeBytes(start, length);
  return result;
}

Format2Result deriveFormat2Keys(const char* password, const unsigned char salt[FORMAT2_SALT_SIZE],
                                uint32_t iterations, Format2Keys* keys, bool (*stopRequested)()) {
  unsigned char master[FORMAT2_KEY_SIZE];
  Format2Result result = pbkdf2HmacSha256(reinterpret_cast<const unsigned char*>(password), strlen(password), salt,
                                          FORMAT2_SALT_SIZE, iterations, master, sizeof master, stopRequested);
  if (result == FORMAT2_OK) {
    HmacSha256 split(master, sizeof master);
    if (!split.mac(kEncLabel, sizeof kEncLabel, nullptr, 0, keys->encryption) ||
        !split.mac(kMacLabel, sizeof kMacLabel, nullptr, 0, keys->mac))
      result = FORMAT2_NO_CIPHER;
  }
  wipeBytes(master, sizeof master);
  if (result != FORMAT2_OK) wipeFormat2Keys(keys);
  return result;
}

void wipeFormat2Keys(Format2Keys* keys) { wipeBytes(keys, sizeof *keys); }

bool format2HeaderMac(const unsigned char header[FORMAT2_HEADER_SIZE], const unsigned char macKey[FORMAT2_KEY_SIZE],
                      unsigned char mac[32]) {
  return hmacSha256(macKey, FORMAT2_KEY_SIZE, header, FORMAT2_MAC_OFFSET, mac);
}

bool sealFormat2Header(unsigned char header[FORMAT2_HEADER_SIZE], const Format2Keys& keys) {
  return format2HeaderMac(header, keys.mac, header + FORMAT2_MAC_OFFSET);
}

int verifyFormat2Header(const unsigned char header[FORMAT2_HEADER_SIZE], const Format2Keys& keys) {
  unsigned char mac[32];
  if (!format2HeaderMac(header, keys.mac, mac)) return FORMAT2_NO_CIPHER;
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

Format2ChunkCipher::Format2ChunkCipher(const unsigned char key[FORMAT2_KEY_SIZE])
    : key_(), ok_(cryptoMakeKey(&key_, CRYPTO_AES_GCM, key)) {}

Format2ChunkCipher::~Format2ChunkCipher() { cryptoDropKey(&key_); }

bool Format2ChunkCipher::setKey(const unsigned char key[FORMAT2_KEY_SIZE]) {
  cryptoDropKey(&key_);
  ok_ = cryptoMakeKey(&key_, CRYPTO_AES_GCM, key);
  return ok_;
}

bool Format2ChunkCipher::seal(uint64_t index, bool last, const unsigned char* plain, size_t length,
                              unsigned char* sealed) {
  if (!ok_) return false;
  unsigned char nonce[FORMAT2_NONCE_SIZE];
  format2ChunkNonce(index, last, nonce);
  return cryptoGcmSeal(&key_, nonce, plain, length, sealed, sealed + length);
}

int Format2ChunkCipher::open(uint64_t index, bool last, const unsigned char* sealed, size_t length,
                             unsigned char* plain) {
  unsigned char nonce[FORMAT2_NONCE_SIZE];
  format2ChunkNonce(index, last, nonce);
  if (ok_ && cryptoGcmOpen(&key_, nonce, sealed, length, sealed + length, plain)) return FORMAT2_OK;
  if (length > 0) wipeBytes(plain, length);
  return FORMAT2_DAMAGED;
}
