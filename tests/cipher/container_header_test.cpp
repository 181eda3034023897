// The header block: check bytes, size record placement and the body length
// to write.
#include "manager/cipher/container_header.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

namespace {

void fillPattern(unsigned char* block, unsigned seed) {
  unsigned x = seed * 2654435761u + 7;
  for (int i = 0; i < HEADER_BLOCK_SIZE; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    block[i] = static_cast<unsigned char>(x >> 24);
  }
}

HeaderCheck plainXor(const unsigned char* block, int StatLoc) {
  unsigned char copy[HEADER_BLOCK_SIZE];
  memcpy(copy, block, sizeof copy);
  copy[StatLoc + 4] = 0xCD;
  copy[StatLoc + 5] = 0xC9;
  HeaderCheck c = {0, 0};
  for (int i = 0; i < HEADER_BLOCK_SIZE; ++i) (i % 2 ? c.checkOdd : c.checkEven) ^= copy[i];
  return c;
}

}  // namespace

TEST(HeaderCheckBytes, IgnoreTheTwoStoredBytesWithOddAndEvenStatLoc) {
  for (int StatLoc : {0, 1, 94, 995, 1017, 1018}) {
    unsigned char block[HEADER_BLOCK_SIZE];
    fillPattern(block, StatLoc);
    HeaderCheck first = headerCheckBytes(block, StatLoc);
    block[StatLoc + 4] = 0x00;
    block[StatLoc + 5] = 0xFF;
    HeaderCheck second = headerCheckBytes(block, StatLoc);
    EXPECT_EQ(first.checkEven, second.checkEven) << StatLoc;
    EXPECT_EQ(first.checkOdd, second.checkOdd) << StatLoc;
    HeaderCheck expected = plainXor(block, StatLoc);
    EXPECT_EQ(first.checkEven, expected.checkEven) << StatLoc;
    EXPECT_EQ(first.checkOdd, expected.checkOdd) << StatLoc;
  }
}

TEST(HeaderCheckBytes, SplitIsByOffsetInTheBlockNotRelativeToStatLoc) {
  unsigned char block[HEADER_BLOCK_SIZE] = {};
  // All zero but the placeholders: with an even StatLoc 0xCD counts to the
  // even byte, with an odd StatLoc to the odd one.
  HeaderCheck even = headerCheckBytes(block, 100);
  EXPECT_EQ(even.checkEven, 0xCD);
  EXPECT_EQ(even.checkOdd, 0xC9);
  HeaderCheck odd = headerCheckBytes(block, 101);
  EXPECT_EQ(odd.checkEven, 0xC9);
  EXPECT_EQ(odd.checkOdd, 0xCD);
  // Any other byte changes one of the two.
  block[7] = 0x01;
  EXPECT_EQ(headerCheckBytes(block, 100).checkOdd, 0xC8);
}

TEST(HeaderBlock, SizeRecordAndCheckBytesAtStatLoc) {
  unsigned char block[HEADER_BLOCK_SIZE];
  fillPattern(block, 1);
  unsigned char before[HEADER_BLOCK_SIZE];
  memcpy(before, block, sizeof block);
  sealHeaderBlock(block, 564, 0x0001000012345678ull);
  EXPECT_EQ(block[564], 0x78);
  EXPECT_EQ(block[565], 0x56);
  EXPECT_EQ(block[566], 0x34);
  EXPECT_EQ(block[567], 0x12);
  HeaderCheck check = headerCheckBytes(block, 564);
  EXPECT_EQ(block[568], check.checkEven);
  EXPECT_EQ(block[569], check.checkOdd);
  EXPECT_EQ(block[570], 0x01);  // bits 48..55
  EXPECT_EQ(block[571], 0x00);  // bits 56..63
  for (int i = 0; i < HEADER_BLOCK_SIZE; ++i)
    if (i < 564 || i > 571) {
      ASSERT_EQ(block[i], before[i]) << i;
    }
  HeaderSizeRecord record;
  ASSERT_TRUE(openHeaderBlock(block, 564, &record));
  EXPECT_EQ(record.Soulen, 0x12345678u);
  EXPECT_EQ(record.highBits, 1u);
  EXPECT_EQ(record.highBytes, 2);
}

TEST(HeaderBlock, AtStatLoc1018NothingFollowsTheCheckBytes) {
  unsigned char block[HEADER_BLOCK_SIZE];
  fillPattern(block, 2);
  unsigned char before[HEADER_BLOCK_SIZE];
  memcpy(before, block, sizeof block);
  sealHeaderBlock(block, 1018, 0xFFFF0000AABBCCDDull);
  EXPECT_EQ(block[1018], 0xDD);
  EXPECT_EQ(block[1021], 0xAA);
  HeaderCheck check = headerCheckBytes(block, 1018);
  EXPECT_EQ(block[1022], check.checkEven);
  EXPECT_EQ(block[1023], check.checkOdd);
  EXPECT_EQ(0, memcmp(block, before, 1018));
  HeaderSizeRecord record;
  ASSERT_TRUE(openHeaderBlock(block, 1018, &record));
  EXPECT_EQ(record.Soulen, 0xAABBCCDDu);
  EXPECT_EQ(record.highBytes, 0);
  EXPECT_EQ(record.highBits, 0u);
}

TEST(HeaderBlock, AtStatLoc1017OnlyBits48To55AreKept) {
  unsigned char block[HEADER_BLOCK_SIZE];
  fillPattern(block, 3);
  sealHeaderBlock(block, 1017, 0x0302000000000010ull);
  EXPECT_EQ(block[1023], 0x02);
  HeaderSizeRecord record;
  ASSERT_TRUE(openHeaderBlock(block, 1017, &record));
  EXPECT_EQ(record.Soulen, 0x10u);
  EXPECT_EQ(record.highBytes, 1);
  EXPECT_EQ(record.highBits, 2u);
}

TEST(HeaderBlock, ADamagedBlockOrAnotherStatLocFailsTheCheck) {
  unsigned char block[HEADER_BLOCK_SIZE];
  fillPattern(block, 4);
  sealHeaderBlock(block, 300, 12345);
  HeaderSizeRecord record;
  EXPECT_TRUE(openHeaderBlock(block, 300, &record));
  for (int i : {0, 299, 300, 304, 305, 1023}) {
    unsigned char damaged[HEADER_BLOCK_SIZE];
    memcpy(damaged, block, sizeof damaged);
    damaged[i] ^= 0x40;
    EXPECT_FALSE(openHeaderBlock(damaged, 300, &record)) << i;
  }
}

TEST(BodyLength, ExactArchiveSizeWhenTheBodyPinsItDown) {
  HeaderSizeRecord r = {1, 0, 2};
  EXPECT_EQ(bodyBytesToWrite(16, r), 1u);
  r.Soulen = 1024;
  EXPECT_EQ(bodyBytesToWrite(1024, r), 1024u);
  r.Soulen = 1025;
  EXPECT_EQ(bodyBytesToWrite(1040, r), 1025u);
  r.Soulen = 0xFFFFFFF5u;  // a body of exactly 2^32 bytes still means Soulen
  EXPECT_EQ(bodyBytesToWrite(0x100000000ull, r), 0xFFFFFFF5u);
  r.highBytes = 0;  // StatLoc 1018: no high bits recorded
  r.Soulen = 5;
  EXPECT_EQ(bodyBytesToWrite(16, r), 5u);
}

TEST(BodyLength, TheWholeBodyWhenSizesDisagreeOrTheArchiveIsHuge) {
  // 2^32 + 5 bytes: Soulen 5, a body far beyond 16 bytes.
  HeaderSizeRecord r = {5, 0, 2};
  EXPECT_EQ(bodyBytesToWrite(0x100000010ull, r), 0x100000010ull);
  // A body of 2^32 with Soulen 0 is an archive of exactly 2^32 bytes.
  r.Soulen = 0;
  EXPECT_EQ(bodyBytesToWrite(0x100000000ull, r), 0x100000000ull);
  // A truncated or extended container keeps every byte it has.
  r.Soulen = 1025;
  EXPECT_EQ(bodyBytesToWrite(1024, r), 1024u);
  EXPECT_EQ(bodyBytesToWrite(1049, r), 1049u);
  // High bits set: at least 2^48 bytes, so the body decides.
  r = {16, 1, 2};
  EXPECT_EQ(bodyBytesToWrite(16, r), 16u);
  EXPECT_EQ(bodyBytesToWrite(UINT64_MAX, r), UINT64_MAX);
  r = {16, 0, 2};
  EXPECT_EQ(bodyBytesToWrite(UINT64_MAX, r), UINT64_MAX);  // size unknown: to the end
}

TEST(Filler, SeededGeneratorGivesTheLowBytesOfRand) {
  unsigned char block[HEADER_BLOCK_SIZE];
  fillFromSeed(block, sizeof block, 1234);
  srand(1234);
  for (int i = 0; i < HEADER_BLOCK_SIZE; ++i) ASSERT_EQ(block[i], rand() & 0xFF) << i;
}
