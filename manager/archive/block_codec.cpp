#include "manager/archive/block_codec.h"

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "common/wipe.h"

namespace {
enum { COMPRESSION_LEVEL = 6 };

// zlib's own memory holds plaintext (the deflate window, the inflate
// window): it is wiped before it goes back to the heap.
voidpf wipingAlloc(voidpf, uInt items, uInt size) {
  size_t bytes = static_cast<size_t>(items) * size;
  size_t* block = static_cast<size_t*>(malloc(bytes + sizeof(size_t) * 2));
  if (!block) return Z_NULL;
  block[0] = bytes;
  return block + 2;  // keeps zlib's alignment
}
void wipingFree(voidpf, voidpf address) {
  if (!address) return;
  size_t* block = static_cast<size_t*>(address) - 2;
  wipeBytes(address, block[0]);
  free(block);
}
void useWipingMemory(z_stream* z) {
  memset(z, 0, sizeof *z);
  z->zalloc = wipingAlloc;
  z->zfree = wipingFree;
}

BlockCompressor sharedCompressor;  // the job's worker thread
z_stream inflater;                 // only one thread extracts
bool inflaterReady = false;

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
  return got == size ? BLOCK_OK : BLOCK_DATA_CUT;
}
}  // namespace

bool openBlockCompressor(BlockCompressor* compressor) {
  useWipingMemory(&compressor->stream);
  compressor->ready = deflateInit(&compressor->stream, COMPRESSION_LEVEL) == Z_OK;
  return compressor->ready;
}

void closeBlockCompressor(BlockCompressor* compressor) {
  if (compressor->ready) deflateEnd(&compressor->stream);
  compressor->ready = false;
}

int encodeBlock(const unsigned char* chunk, size_t size, unsigned char frame[BLOCK_FRAME_SIZE],
                size_t* frameSize, BlockCompressor* compressor) {
  *frameSize = 0;
  if (size == 0 || size > ARCHIVE_CHUNK_SIZE) return BLOCK_COMPRESS_FAILED;
  if (compressor == nullptr) compressor = &sharedCompressor;
  if (!compressor->ready && !openBlockCompressor(compressor)) return BLOCK_COMPRESS_FAILED;
  z_stream* z = &compressor->stream;
  if (deflateReset(z) != Z_OK) return BLOCK_COMPRESS_FAILED;
  z->next_in = const_cast<Bytef*>(chunk);
  z->avail_in = static_cast<uInt>(size);
  z->next_out = frame + BLOCK_PREFIX_SIZE;
  z->avail_out = ARCHIVE_BLOCK_BUFFER;
  if (deflate(z, Z_FINISH) != Z_STREAM_END) return BLOCK_COMPRESS_FAILED;
  size_t packed = ARCHIVE_BLOCK_BUFFER - z->avail_out;
  putLe16(frame, static_cast<uint16_t>(packed));
  *frameSize = BLOCK_PREFIX_SIZE + packed;
  return BLOCK_OK;
}

int decodeBlock(const unsigned char* stream, size_t size, unsigned char out[ARCHIVE_BLOCK_BUFFER],
                size_t* outSize) {
  *outSize = 0;
  if (!inflaterReady) {
    useWipingMemory(&inflater);
    if (inflateInit(&inflater) != Z_OK) return BLOCK_BAD;
    inflaterReady = true;
  } else if (inflateReset(&inflater) != Z_OK) {
    return BLOCK_BAD;
  }
  inflater.next_in = const_cast<Bytef*>(stream);
  inflater.avail_in = static_cast<uInt>(size);
  inflater.next_out = out;
  inflater.avail_out = ARCHIVE_BLOCK_BUFFER;
  // As uncompress: the stream must end within the buffer.
  if (inflate(&inflater, Z_FINISH) != Z_STREAM_END) return BLOCK_BAD;
  size_t unpacked = ARCHIVE_BLOCK_BUFFER - inflater.avail_out;
  if (unpacked > ARCHIVE_CHUNK_SIZE) return BLOCK_BAD;
  *outSize = unpacked;
  return BLOCK_OK;
}

void releaseBlockCodecs() {
  closeBlockCompressor(&sharedCompressor);
  if (inflaterReady) inflateEnd(&inflater);
  inflaterReady = false;
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
