#include "manager/archive/payload_trailer.h"

#include "common/le_bytes.h"

const uint32_t kPayloadMarker = 0xFF00AA55u;

void encodePayloadTrailer(uint64_t APFileLen, unsigned char out[PAYLOAD_TRAILER_SIZE]) {
  putLe64(out, APFileLen);
  putLe32(out + 8, kPayloadMarker);
}

PayloadTrailer decodePayloadTrailer(const unsigned char in[PAYLOAD_TRAILER_SIZE]) {
  PayloadTrailer t = {0, 0};
  t.APFileLen = getLe64(in);
  t.payloadMarker = getLe32(in + 8);
  return t;
}

PayloadResult locatePayload(uint64_t fileSize, const unsigned char tail[PAYLOAD_TRAILER_SIZE],
                  uint64_t* payloadStart, uint64_t* APFileLen) {
  if (fileSize < PAYLOAD_TRAILER_SIZE) return PAYLOAD_BAD_LENGTH;
  PayloadTrailer t = decodePayloadTrailer(tail);
  if (t.payloadMarker != kPayloadMarker) return PAYLOAD_NONE;
  if (t.APFileLen > fileSize - PAYLOAD_TRAILER_SIZE) return PAYLOAD_BAD_LENGTH;
  *payloadStart = fileSize - PAYLOAD_TRAILER_SIZE - t.APFileLen;
  *APFileLen = t.APFileLen;
  return PAYLOAD_FOUND;
}
