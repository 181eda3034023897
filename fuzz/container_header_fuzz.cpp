// A decrypted container header block of any content: the check and the size
// record must stay inside the block, and the body length never drops bytes.
#include <stdint.h>
#include <stddef.h>
#include <string.h>

#include "manager/cipher/container_header.h"
#include "manager/cipher/key_material.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < HEADER_BLOCK_SIZE + 10) return 0;
  unsigned char block[HEADER_BLOCK_SIZE];
  memcpy(block, data, HEADER_BLOCK_SIZE);
  int StatLoc = (data[HEADER_BLOCK_SIZE] | (data[HEADER_BLOCK_SIZE + 1] << 8)) % 1019;
  uint64_t bodyLength;
  memcpy(&bodyLength, data + HEADER_BLOCK_SIZE + 2, 8);
  HeaderSizeRecord record;
  if (openHeaderBlock(block, StatLoc, &record)) {
    uint64_t keep = bodyBytesToWrite(bodyLength, record);
    if (bodyLength != UINT64_MAX && keep > bodyLength) __builtin_trap();
  }
  // A sealed block always opens again with its size.
  uint64_t archiveSize = bodyLength & 0xFFFF0000FFFFFFFFull;
  sealHeaderBlock(block, StatLoc, archiveSize);
  if (!openHeaderBlock(block, StatLoc, &record) || record.Soulen != static_cast<uint32_t>(archiveSize))
    __builtin_trap();
  return 0;
}
