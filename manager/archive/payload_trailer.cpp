#include "manager/archive/payload_trailer.h"

const uint32_t kPayloadMarker = 0xFF00AA55u;

void encodePayloadTrailer(uint64_t APFileLen, unsigned char out[PAYLOAD_TRAILER_SIZE]) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(APFileLen >> (8 * i));
  for (int i = 0; i < 4; ++i) out[8 + i] = static_cast<unsigned char>(kPayloadMarker >> (8 * i));
}

PayloadTrailer decodePayloadTrailer(const unsigned char in[PAYLOAD_TRAILER_SIZE]) {
  PayloadTrailer t = {0, 0};
  for (int i = 7; i >= 0; --i) t.APFileLen = (t.APFileLen << 8) | in[i];
  for (int i = 3; i >= 0; --i) t.payloadMarker = (t.payloadMarker << 8) | in[8 + i];
  return t;
}

int locatePayload(uint64_t fileSize, const unsigned char tail[PAYLOAD_TRAILER_SIZE],
                  uint64_t* payloadStart, uint64_t* APFileLen) {
  if (fileSize < PAYLOAD_TRAILER_SIZE) return 3;
  PayloadTrailer t = decodePayloadTrailer(tail);
  if (t.payloadMarker != kPayloadMarker) return 999;
  if (t.APFileLen > fileSize - PAYLOAD_TRAILER_SIZE) return 3;
  *payloadStart = fileSize - PAYLOAD_TRAILER_SIZE - t.APFileLen;
  *APFileLen = t.APFileLen;
  return 0;
}
