#include "manager/archive/block_codec.h"

#include <zlib.h>

namespace {
enum { COMPRESSION_LEVEL = 6 };

// Reads exactly size bytes unless the source ends first.
bool readFully(ByteSource* source, unsigned char* buffer, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    size_t n = 0;
    if (!source->read(buffer + *got, size - *got, &n)) return false;
    if (n == 0) break;
    *got += n;
  }
  return true;
}

// Reads exactly size bytes of the data area into buffer and adds them to the
// checksum; a short read means the archive was cut.
int takeBytes(ByteSource* source, EntryDataReader* reader, unsigned char* buffer, size_t size) {
  size_t got = 0;
  if (!readFully(source, buffer, size, &got)) return BLOCK_READ_FAILED;
  reader->checksum = addDataChecksum(reader->checksum, buffer, got);
  reader->remaining -= got;
  return got == size ? BLOCK_OK : BLOCK_READ_FAILED;
}
}  // namespace

int encodeBlock(const unsigned char* chunk, size_t size, unsigned char frame[BLOCK_FRAME_SIZE],
                size_t* frameSize) {
  *frameSize = 0;
  if (size == 0 || size > ARCHIVE_CHUNK_SIZE) return BLOCK_COMPRESS_FAILED;
  uLongf packed = ARCHIVE_BLOCK_BUFFER;
  if (compress2(frame + BLOCK_PREFIX_SIZE, &packed, chunk, static_cast<uLong>(size), COMPRESSION_LEVEL) != Z_OK ||
      packed > ARCHIVE_BLOCK_BUFFER)
    return BLOCK_COMPRESS_FAILED;
  putLe16(frame, static_cast<uint16_t>(packed));
  *frameSize = BLOCK_PREFIX_SIZE + packed;
  return BLOCK_OK;
}

int decodeBlock(const unsigned char* stream, size_t size, unsigned char out[ARCHIVE_BLOCK_BUFFER],
                size_t* outSize) {
  *outSize = 0;
  uLongf unpacked = ARCHIVE_BLOCK_BUFFER;
  if (uncompress(out, &unpacked, stream, static_cast<uLong>(size)) != Z_OK) return BLOCK_BAD;
  if (unpacked > ARCHIVE_CHUNK_SIZE) return BLOCK_BAD;
  *outSize = unpacked;
  return BLOCK_OK;
}

void startEntryData(EntryDataReader* reader, uint64_t storedLength, bool compressed) {
  reader->remaining = storedLength;
  reader->checksum = 0;
  reader->compressed = compressed;
}

int readEntryData(ByteSource* source, EntryDataReader* reader, unsigned char* readBuffer,
                  unsigned char* inflateBuffer, const unsigned char** data, size_t* size) {
  *data = readBuffer;
  *size = 0;
  if (!reader->compressed) {
    size_t want = reader->remaining < ARCHIVE_CHUNK_SIZE ? static_cast<size_t>(reader->remaining)
                                                         : size_t{ARCHIVE_CHUNK_SIZE};
    int result = takeBytes(source, reader, readBuffer, want);
    if (result == BLOCK_OK) *size = want;
    return result;
  }
  // A length prefix needs two bytes of the entry; one stray byte is damage.
  if (reader->remaining < BLOCK_PREFIX_SIZE) return BLOCK_BAD;
  unsigned char prefix[BLOCK_PREFIX_SIZE];
  int result = takeBytes(source, reader, prefix, sizeof prefix);
  if (result != BLOCK_OK) return result;
  size_t length = getLe16(prefix);
  // The packer never writes a block longer than zlib's bound for one chunk;
  // a longer prefix, or one that reaches past the entry, is never read.
  if (length > ARCHIVE_BLOCK_BUFFER || length > reader->remaining) return BLOCK_BAD;
  result = takeBytes(source, reader, readBuffer, length);
  if (result != BLOCK_OK) return result;
  result = decodeBlock(readBuffer, length, inflateBuffer, size);
  if (result != BLOCK_OK) return result;
  *data = inflateBuffer;
  return BLOCK_OK;
}
