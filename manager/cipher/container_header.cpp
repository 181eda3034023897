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

bool archiveSizeOfBody(uint64_t bodyLength, const HeaderSizeRecord& record, uint64_t* archiveSize) {
  // Whole blocks, and at least one: no writer makes a container of an empty archive.
  if (bodyLength == 0 || bodyLength % 16 != 0) return false;
  // The pad bytes of the last block: n mod 16 is in Soulen.
  const uint64_t n = bodyLength - ((16 - (record.Soulen & 15)) & 15);
  if (static_cast<uint32_t>(n) != record.Soulen) return false;
  const uint64_t recorded = record.highBytes >= 2 ? 0xFFFF : record.highBytes == 1 ? 0xFF : 0;
  if (((n >> 48) & recorded) != record.highBits) return false;
  *archiveSize = n;
  return true;
}
