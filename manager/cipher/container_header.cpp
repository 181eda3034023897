#include "manager/cipher/container_header.h"

#include <stdlib.h>

#include "common/le_bytes.h"

HeaderCheck headerCheckBytes(const unsigned char block[HEADER_BLOCK_SIZE], int StatLoc) {
  unsigned char even = 0, odd = 0;
  for (int i = 0; i < HEADER_BLOCK_SIZE; i += 2) {
    even ^= block[i];
    odd ^= block[i + 1];
  }
  // Take the stored check bytes out again and put the placeholders in.
  const int at[2] = {StatLoc + 4, StatLoc + 5};
  const unsigned char placeholder[2] = {CHECK_PLACEHOLDER_EVEN, CHECK_PLACEHOLDER_ODD};
  for (int k = 0; k < 2; ++k) {
    if (at[k] < 0 || at[k] >= HEADER_BLOCK_SIZE) continue;
    unsigned char change = static_cast<unsigned char>(block[at[k]] ^ placeholder[k]);
    if (at[k] % 2 == 0)
      even ^= change;
    else
      odd ^= change;
  }
  HeaderCheck check = {even, odd};
  return check;
}

void sealHeaderBlock(unsigned char block[HEADER_BLOCK_SIZE], int StatLoc, uint64_t archiveSize) {
  for (int i = 0; i < 8 && StatLoc + i < HEADER_BLOCK_SIZE; ++i)
    block[StatLoc + i] = static_cast<unsigned char>(archiveSize >> (8 * i));
  HeaderCheck check = headerCheckBytes(block, StatLoc);
  block[StatLoc + 4] = check.checkEven;  // over bits 32..47 of the size
  block[StatLoc + 5] = check.checkOdd;
}

bool openHeaderBlock(const unsigned char block[HEADER_BLOCK_SIZE], int StatLoc,
                     HeaderSizeRecord* record) {
  HeaderCheck check = headerCheckBytes(block, StatLoc);
  if (check.checkEven != block[StatLoc + 4] || check.checkOdd != block[StatLoc + 5]) return false;
  record->Soulen = getLe32(block + StatLoc);
  record->highBits = 0;
  record->highBytes = 0;
  for (int i = 0; i < 2 && StatLoc + 6 + i < HEADER_BLOCK_SIZE; ++i) {
    record->highBits |= static_cast<uint32_t>(block[StatLoc + 6 + i]) << (8 * i);
    ++record->highBytes;
  }
  return true;
}

uint64_t bodyBytesToWrite(uint64_t bodyLength, const HeaderSizeRecord& record) {
  if (record.highBits != 0) return bodyLength;  // at least 2^48 bytes: the body says more than Soulen
  uint64_t n = record.Soulen;
  uint64_t rounded = (n + 15) & ~static_cast<uint64_t>(15);
  // A body of exactly n rounded up means n itself: any other size with the
  // same low 32 bits would need a body of more than 2^32 bytes.
  if (bodyLength == rounded) return n;
  return bodyLength;
}

void fillFromSeed(unsigned char* block, size_t size, unsigned seed) {
  srand(seed);
  for (size_t i = 0; i < size; ++i) block[i] = static_cast<unsigned char>(rand() & 0xFF);
}
