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

TEST(BodyLength, TheBodyIsTheRecordedSizeRoundedUpTo16OrTheContainerWasCut) {
  const uint64_t k4G = 0x100000000ull, k256T = 1ull << 48;
  const struct {
    uint64_t body;
    HeaderSizeRecord record;
    uint64_t n;  // 0: damaged
  } cases[] = {
      {16, {1, 0, 2}, 1},           {1024, {1024, 0, 2}, 1024},  {1040, {1025, 0, 2}, 1025},
      {k4G, {0xFFFFFFF5u, 0, 2}, 0xFFFFFFF5u},  // a body of exactly 2^32 bytes still means Soulen
      {k4G + 16, {5, 0, 2}, k4G + 5},           // bits 32..47 come from the body
      {k4G, {0, 0, 2}, k4G},        {k256T + 16, {5, 1, 2}, k256T + 5},
      {k256T + 16, {5, 0, 1}, 0},   {k256T + 16, {5, 0, 0}, k256T + 5},  // StatLoc 1017 and 1018
      {1024, {1025, 0, 2}, 0},      {1056, {1025, 0, 2}, 0},     {1039, {1025, 0, 2}, 0},  // cut, added to
      {0, {0, 0, 2}, 0},            {16, {1, 1, 2}, 0},          {UINT64_MAX, {15, 0, 2}, 0},
  };
  for (const auto& c : cases) {
    uint64_t n = 0;
    EXPECT_EQ(archiveSizeOfBody(c.body, c.record, &n), c.n != 0) << c.body << " " << c.record.Soulen;
    EXPECT_EQ(n, c.n) << c.body << " " << c.record.Soulen;
  }
}
