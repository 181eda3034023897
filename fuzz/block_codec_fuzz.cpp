// One block as the extractor meets it, and one chunk as the packer makes it,
// each checked against zlib, which every earlier copy of the program, the
// browser's reader and the independent reference inflate with:
//  - whatever the bytes, decodeBlock stays within its buffer, and every
//    stream that zlib's uncompress inflates into one chunk it inflates too,
//    to the same bytes (no archive an earlier program made stops restoring);
//  - the block that encodeBlock makes of the bytes (at most one chunk of
//    them) is one that zlib's uncompress inflates back to them.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "manager/archive/block_codec.h"

namespace {
unsigned char out[ARCHIVE_BLOCK_BUFFER];
unsigned char reference[ARCHIVE_BLOCK_BUFFER];
unsigned char frame[BLOCK_FRAME_SIZE];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uLongf referenceSize = ARCHIVE_CHUNK_SIZE;
  bool zlibTakes = uncompress(reference, &referenceSize, data, static_cast<uLong>(size)) == Z_OK;
  size_t outSize = 0;
  int decoded = decodeBlock(data, size, out, &outSize);
  if (zlibTakes && (decoded != BLOCK_OK || outSize != referenceSize || memcmp(out, reference, outSize) != 0))
    abort();

  size_t chunk = size < ARCHIVE_CHUNK_SIZE ? size : ARCHIVE_CHUNK_SIZE;
  if (chunk == 0) return 0;
  size_t frameSize = 0;
  if (encodeBlock(data, chunk, frame, &frameSize) != BLOCK_OK) abort();
  size_t length = frame[0] | (frame[1] << 8);
  referenceSize = ARCHIVE_CHUNK_SIZE;
  if (length + BLOCK_PREFIX_SIZE != frameSize ||
      uncompress(reference, &referenceSize, frame + BLOCK_PREFIX_SIZE, static_cast<uLong>(length)) != Z_OK ||
      referenceSize != chunk || memcmp(reference, data, chunk) != 0)
    abort();
  return 0;
}
