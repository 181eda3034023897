// The 1024-byte header block of an encrypted container, before encryption:
// filler everywhere except the size record at StatLoc (bits 0..31 of the
// archive size, little-endian), the two check bytes at StatLoc + 4 and + 5,
// and bits 48..63 of the size at StatLoc + 6 and + 7 as far as they fall
// inside the block. Bits 32..47 of the size are recorded nowhere.
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

enum {
  HEADER_BLOCK_SIZE = 1024,
  CHECK_PLACEHOLDER_EVEN = 0xCD,  // taken for the byte at StatLoc + 4
  CHECK_PLACEHOLDER_ODD = 0xC9,   // taken for the byte at StatLoc + 5
};

struct HeaderCheck {
  unsigned char checkEven;  // XOR of the bytes at even offsets
  unsigned char checkOdd;   // XOR of the bytes at odd offsets
};

// The check bytes of a block, with the two stored check bytes replaced by the
// placeholders, whatever they hold. The split is by offset in the block: with
// an odd StatLoc the 0xCD placeholder counts towards checkOdd.
HeaderCheck headerCheckBytes(const unsigned char block[HEADER_BLOCK_SIZE], int StatLoc);

// Writes the size record and the check bytes into a block of filler
// (StatLoc 0..1018).
void sealHeaderBlock(unsigned char block[HEADER_BLOCK_SIZE], int StatLoc, uint64_t archiveSize);

// What a header block tells of the archive size.
struct HeaderSizeRecord {
  uint32_t Soulen;     // bits 0..31
  uint32_t highBits;   // bits 48..63 as far as they were inside the block
  int highBytes;       // how many of those two bytes were inside the block (0..2)
};

// Checks a decrypted block against its stored check bytes; true when they
// match, and then record holds the size fields.
bool openHeaderBlock(const unsigned char block[HEADER_BLOCK_SIZE], int StatLoc,
                     HeaderSizeRecord* record);

// The archive size that a body of bodyLength bytes (the container's size
// minus the header) stands for. The writer's body is the archive size n
// rounded up to 16, and the record holds n's bits 0..31 and those of bits
// 48..63 that were inside the block; bits 32..47 follow from the body's
// length. True, with archiveSize = n, when such an n > 0 exists (there is at
// most one); false when none does: the body was cut or added to.
bool archiveSizeOfBody(uint64_t bodyLength, const HeaderSizeRecord& record, uint64_t* archiveSize);
