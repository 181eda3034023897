// The first bytes of a file that claims the second container format: the
// header parser must read only its 84 bytes and accept exactly what a writer
// makes; the chunk layout of any archive size must add up; a chunk opened
// under a key it was not sealed with gives no plaintext.
#include <stdint.h>
#include <stddef.h>
#include <string.h>

#include "manager/cipher/container_format2.h"

namespace {

uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

void check(bool condition) {
  if (!condition) __builtin_trap();
}

const unsigned char kMacKey[FORMAT2_KEY_SIZE] = {1, 2, 3};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Format2Header header;
  int result = parseFormat2Header(data, size, &header);
  bool usable = size >= FORMAT2_HEADER_SIZE && memcmp(data, "KYVOMAR CRYPT 2\n", 16) == 0 &&
                get32(data + 16) == 1 && get32(data + 20) >= 100000 && get32(data + 20) <= 10000000 &&
                get32(data + 40) == 65536;
  check((result == FORMAT2_OK) == usable);
  check(result == FORMAT2_OK || result == FORMAT2_DAMAGED);
  if (result != FORMAT2_OK) return 0;

  // What was parsed encodes to the same bytes.
  unsigned char again[FORMAT2_HEADER_SIZE];
  encodeFormat2Header(header, again);
  check(memcmp(again, data, FORMAT2_HEADER_SIZE) == 0);
  Format2Keys keys;
  memset(&keys, 0, sizeof keys);
  memcpy(keys.mac, kMacKey, sizeof kMacKey);
  int verified = verifyFormat2Header(data, keys);
  check(verified == FORMAT2_OK || verified == FORMAT2_BAD_HEADER);
  check(sealFormat2Header(again, keys));
  check(verifyFormat2Header(again, keys) == FORMAT2_OK);

  // The chunks of the archive size it names: full ones, then the remainder.
  const uint64_t n = header.archiveSize, last = format2LastChunk(n);
  size_t lastLength = format2ChunkLength(n, last);
  check(lastLength < FORMAT2_CHUNK_SIZE && last * FORMAT2_CHUNK_SIZE + lastLength == n);
  check(last == 0 || format2ChunkLength(n, last - 1) == FORMAT2_CHUNK_SIZE);
  check(format2ChunkLength(n, last + 1) == 0);
  uint64_t containerSize = 0;
  if (format2ContainerSize(n, &containerSize)) check(containerSize - n == 84 + 16 * (last + 1));

  // What follows, opened as the first chunk under a key nobody sealed with.
  size_t rest = size - FORMAT2_HEADER_SIZE;
  if (rest >= FORMAT2_TAG_SIZE) {
    size_t length = rest - FORMAT2_TAG_SIZE;
    if (length > FORMAT2_CHUNK_SIZE) length = FORMAT2_CHUNK_SIZE;
    static unsigned char plain[FORMAT2_CHUNK_SIZE];
    memset(plain, 0xEE, length);
    Format2ChunkCipher cipher(keys.encryption);
    if (cipher.open(0, last == 0, data + FORMAT2_HEADER_SIZE, length, plain) != FORMAT2_OK)
      for (size_t i = 0; i < length; ++i) check(plain[i] == 0);
  }
  return 0;
}
