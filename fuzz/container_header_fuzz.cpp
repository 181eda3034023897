// A decrypted container header block of any content: the check and the size
// record must stay inside the block, a body that fits the record holds the
// archive and at most one block's pad, and every body a writer makes fits.
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
  uint64_t n = 0;
  if (openHeaderBlock(block, StatLoc, &record) && archiveSizeOfBody(bodyLength, record, &n) &&
      (n == 0 || n > bodyLength || bodyLength - n >= 16))
    __builtin_trap();
  // A sealed block always opens again with its size.
  uint64_t archiveSize = bodyLength & 0xFFFF0000FFFFFFFFull;
  sealHeaderBlock(block, StatLoc, archiveSize);
  if (!openHeaderBlock(block, StatLoc, &record) || record.Soulen != static_cast<uint32_t>(archiveSize))
    __builtin_trap();
  // And the body a writer makes for an archive of any size (taken whole
  // here: bits 32..47 are not in the block) fits it and gives that size back.
  if (bodyLength != 0 && bodyLength <= UINT64_MAX - 15 &&
      (!archiveSizeOfBody((bodyLength + 15) & ~uint64_t{15}, record, &n) || n != bodyLength))
    __builtin_trap();
  return 0;
}
