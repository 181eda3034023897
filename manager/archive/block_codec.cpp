#include "manager/archive/block_codec.h"

#include <libdeflate.h>
#include <stdlib.h>
#include <string.h>

#include "common/wipe.h"

namespace {
// libdeflate's level 6: over the bench corpus (32 KiB chunks) its archive is
// 0.4 % smaller than zlib's level 6 and is made about twice as fast; level 5
// was 10 % faster but larger than zlib's on text, and no result may grow.
enum { COMPRESSION_LEVEL = 6 };

// libdeflate's memory holds what it derived from plaintext (match tables,
// symbol counts): it is wiped before it goes back to the heap. libdeflate
// asks through one process-wide allocator, set before main runs, so before
// any thread could ask for a compressor.
void* wipingAlloc(size_t bytes) {
  size_t* block = static_cast<size_t*>(malloc(bytes + sizeof(size_t) * 2));
  if (!block) return nullptr;
  block[0] = bytes;
  return block + 2;  // keeps malloc's alignment
}
// Clears only the words that are not zero already. A compressor's block is
// about 650 KiB, most of it room for matches that one chunk never fills;
// writing zeros over all of it would bring every untouched page into the
// working set as the job ends (reading them does not). Volatile: the stores
// are never dropped.
void wipeWritten(void* address, size_t size) {
  volatile size_t* word = static_cast<volatile size_t*>(address);
  for (size_t i = 0; i < size / sizeof(size_t); ++i)
    if (word[i] != 0) word[i] = 0;
  wipeBytes(static_cast<unsigned char*>(address) + size / sizeof(size_t) * sizeof(size_t), size % sizeof(size_t));
}
void wipingFree(void* address) {
  if (!address) return;
  size_t* block = static_cast<size_t*>(address) - 2;
  wipeWritten(address, block[0]);
  free(block);
}
const bool wipingMemorySet = (libdeflate_set_memory_allocator(wipingAlloc, wipingFree), true);

BlockCompressor sharedCompressor;            // the job's worker thread
libdeflate_decompressor* inflater = nullptr;  // only one thread extracts

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
  compressor->state = libdeflate_alloc_compressor(COMPRESSION_LEVEL);
  compressor->ready = compressor->state != nullptr;
  return compressor->ready;
}

void closeBlockCompressor(BlockCompressor* compressor) {
  if (compressor->ready) libdeflate_free_compressor(compressor->state);
  compressor->state = nullptr;
  compressor->ready = false;
}

int encodeBlock(const unsigned char* chunk, size_t size, unsigned char frame[BLOCK_FRAME_SIZE],
                size_t* frameSize, BlockCompressor* compressor) {
  *frameSize = 0;
  if (size == 0 || size > ARCHIVE_CHUNK_SIZE) return BLOCK_COMPRESS_FAILED;
  if (compressor == nullptr) compressor = &sharedCompressor;
  if (!compressor->ready && !openBlockCompressor(compressor)) return BLOCK_COMPRESS_FAILED;
  size_t packed = libdeflate_zlib_compress(compressor->state, chunk, size, frame + BLOCK_PREFIX_SIZE,
                                           ARCHIVE_BLOCK_BUFFER);
  if (packed == 0) return BLOCK_COMPRESS_FAILED;
  putLe16(frame, static_cast<uint16_t>(packed));
  *frameSize = BLOCK_PREFIX_SIZE + packed;
  return BLOCK_OK;
}

int decodeBlock(const unsigned char* stream, size_t size, unsigned char out[ARCHIVE_BLOCK_BUFFER],
                size_t* outSize) {
  *outSize = 0;
  if (!inflater && !(inflater = libdeflate_alloc_decompressor())) return BLOCK_BAD;
  // A chunk never holds more than 32768 bytes: a stream that would inflate
  // to more is refused before it is written past them.
  size_t unpacked = 0;
  if (libdeflate_zlib_decompress(inflater, stream, size, out, ARCHIVE_CHUNK_SIZE, &unpacked) != LIBDEFLATE_SUCCESS)
    return BLOCK_BAD;
  *outSize = unpacked;
  return BLOCK_OK;
}

void releaseBlockCodecs() {
  closeBlockCompressor(&sharedCompressor);
  if (inflater) libdeflate_free_decompressor(inflater);
  inflater = nullptr;
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
  // No packer writes a block longer than its compressor's bound for one chunk
  // (zlib's 32791 bytes, libdeflate's 32818); a prefix beyond the read
  // buffer, or one that reaches past the entry, is never read.
  if (length > ARCHIVE_BLOCK_BUFFER || length > reader->remaining) return BLOCK_BAD;
  result = takeBytes(source, reader, readBuffer, length);
  if (result != BLOCK_OK) return result;
  result = decodeBlock(readBuffer, length, inflateBuffer, size);
  if (result != BLOCK_OK) return result;
  *data = inflateBuffer;
  return BLOCK_OK;
}
