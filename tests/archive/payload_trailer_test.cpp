#include "manager/archive/payload_trailer.h"

#include <gtest/gtest.h>

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
