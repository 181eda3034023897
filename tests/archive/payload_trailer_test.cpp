#include "manager/archive/payload_trailer.h"

#include <gtest/gtest.h>
#include <string.h>

#include "common/le_bytes.h"
#include "manager/archive/program_image.h"

TEST(PayloadTrailer, MarkerBytesAndLittleEndianLength) {
  unsigned char t[PAYLOAD_TRAILER_SIZE];
  encodePayloadTrailer(0x0102030405060708ull, t);
  const unsigned char expected[] = {8, 7, 6, 5, 4, 3, 2, 1, 0x55, 0xAA, 0x00, 0xFF};
  EXPECT_EQ(0, memcmp(t, expected, sizeof expected));
  PayloadTrailer back = decodePayloadTrailer(t);
  EXPECT_EQ(back.APFileLen, 0x0102030405060708ull);
  EXPECT_EQ(back.payloadMarker, 0xFF00AA55u);
}

TEST(PayloadTrailer, LocatesThePayloadOrSaysWhyNot) {
  unsigned char t[PAYLOAD_TRAILER_SIZE];
  uint64_t start = 0, len = 0;
  encodePayloadTrailer(100, t);
  EXPECT_EQ(locatePayload(1000, t, &start, &len), 0);
  EXPECT_EQ(start, 888u);
  EXPECT_EQ(len, 100u);
  EXPECT_EQ(locatePayload(112, t, &start, &len), 0);  // no program image at all
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(locatePayload(111, t, &start, &len), 3);  // points before the start
  EXPECT_EQ(locatePayload(11, t, &start, &len), 3);   // shorter than a trailer
  encodePayloadTrailer(UINT64_MAX, t);
  EXPECT_EQ(locatePayload(1000, t, &start, &len), 3);  // no overflow
  unsigned char zeros[PAYLOAD_TRAILER_SIZE] = {};
  EXPECT_EQ(locatePayload(12, zeros, &start, &len), 999);
}

// The end of a program's image from its PE32 headers (two sections, the later
// one listed first), and what a signed program adds to it.
TEST(ProgramImage, EndsAfterSectionsAndCertificates) {
  const struct {
    uint32_t certificateAt, certificateSize;
    uint64_t end;
  } cases[] = {{0, 0, 0x3000}, {0x3000, 0x208, 0x3208}, {0x1000, 0x100, 0x3000}};
  for (const auto& c : cases) {
    unsigned char h[1024] = {'M', 'Z'}, *file = h + 0x84, *opt = file + 20, *sections = opt + 224;
    h[0x3C] = 0x80;
    memcpy(h + 0x80, "PE\0\0", 4);
    putLe16(file + 2, 2), putLe16(file + 16, 224);
    putLe16(opt, 0x10b), putLe32(opt + 60, 0x400), putLe32(opt + 92, 16);
    putLe32(opt + 128, c.certificateAt), putLe32(opt + 132, c.certificateSize);
    putLe32(sections + 16, 0x2000), putLe32(sections + 20, 0x1000), putLe32(sections + 56, 0xC00);
    ProgramImageLayout layout;
    ASSERT_TRUE(readProgramImageLayout(h, sizeof h, &layout)) << c.end;
    EXPECT_EQ(programImageEnd(layout, nullptr), c.end);
    EXPECT_FALSE(readProgramImageLayout(h, sections + 79 - h, &layout));  // section table cut
  }
}
