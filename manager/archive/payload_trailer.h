// The 12-byte trailer of a self-decrypting file: APFileLen (unsigned 64-bit,
// little-endian) followed by the marker 0xFF00AA55 (bytes 55 AA 00 FF).
#pragma once
#include <stdint.h>

enum { PAYLOAD_TRAILER_SIZE = 12 };
extern const uint32_t kPayloadMarker;

struct PayloadTrailer {
  uint64_t APFileLen;
  uint32_t payloadMarker;
};

void encodePayloadTrailer(uint64_t APFileLen, unsigned char out[PAYLOAD_TRAILER_SIZE]);
PayloadTrailer decodePayloadTrailer(const unsigned char in[PAYLOAD_TRAILER_SIZE]);

enum PayloadResult {
  PAYLOAD_FOUND = 0,        // payloadStart and APFileLen set
  PAYLOAD_BAD_LENGTH = 3,   // the file is shorter than the trailer, or APFileLen points before its start
  PAYLOAD_NONE = 999,       // no marker: the file carries no payload
};

// Where the payload of a file of fileSize bytes lies, given its last 12 bytes.
PayloadResult locatePayload(uint64_t fileSize, const unsigned char tail[PAYLOAD_TRAILER_SIZE],
                  uint64_t* payloadStart, uint64_t* APFileLen);
