// Block framing of a file entry's data area.
//
// Packing: every chunk of up to 32768 source bytes becomes one block, a 2-byte
// little-endian length N followed by N bytes that form one complete zlib
// stream (RFC 1950), which zlib's uncompress inflates as every earlier copy of
// the program does. Extraction reads one block (or, in an uncompressed data
// area, one raw chunk of up to 32768 bytes) at a time through fixed buffers;
// the data checksum covers every byte of the data area, length prefixes
// included.
//
// Both directions go through libdeflate, which works on a whole buffer in one
// call: exactly one chunk here. Its level 6 makes other bytes than zlib's
// level 6, and fewer of them over the bench corpus (text, binary and already
// compressed data alike), about twice as fast; it inflates any zlib stream,
// those of zlib's level 6 included, more than twice as fast.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "manager/archive/archive_format.h"

struct libdeflate_compressor;

enum {
  BLOCK_PREFIX_SIZE = 2,
  // A framed block: the prefix and at most one compression buffer.
  BLOCK_FRAME_SIZE = BLOCK_PREFIX_SIZE + ARCHIVE_BLOCK_BUFFER,
};

// Result codes of the block steps; the numbers are those of the extractor.
enum BlockResult {
  BLOCK_OK = 0,
  BLOCK_READ_FAILED = 6,   // reading the data area failed
  BLOCK_DATA_CUT = 10,     // the archive ended inside a data area: it is damaged
  BLOCK_BAD = 17,          // a block that cannot be decompressed
  BLOCK_COMPRESS_FAILED = 16,
};

// A compressor kept for many blocks: set up once (libdeflate's own memory for
// level 6, about 300 KiB, wiped when it is freed) and used for every block,
// which gives the same bytes as a fresh one: libdeflate keeps nothing from one
// call to the next. One per thread.
struct BlockCompressor {
  libdeflate_compressor* state;
  bool ready;
};
bool openBlockCompressor(BlockCompressor* compressor);
void closeBlockCompressor(BlockCompressor* compressor);

// Compresses one chunk (1 to 32768 bytes) into frame: the 2-byte length and the
// zlib stream, compressed into the 36864 bytes behind the prefix (libdeflate's
// bound for one chunk is 32818 bytes, reached only by data that does not
// shrink, which goes into stored deflate blocks). frame holds
// BLOCK_FRAME_SIZE bytes. On success *frameSize is the whole block's size.
// Without a compressor the calling thread's shared one is used (the job's
// worker thread; compression threads pass their own).
int encodeBlock(const unsigned char* chunk, size_t size, unsigned char frame[BLOCK_FRAME_SIZE],
                size_t* frameSize, BlockCompressor* compressor = nullptr);

// Inflates one block's zlib stream into out (ARCHIVE_BLOCK_BUFFER bytes).
// BLOCK_BAD when the stream is damaged (its Adler-32 included), or when it
// inflates to more than 32768 bytes (a chunk never holds more); bytes after
// the stream's end are ignored, as zlib's uncompress does. Uses one inflate
// state that lives as long as the process (only one thread extracts).
int decodeBlock(const unsigned char* stream, size_t size, unsigned char out[ARCHIVE_BLOCK_BUFFER],
                size_t* outSize);

// Ends the shared compressor of encodeBlock and the inflate state of
// decodeBlock; their memory, which held what was derived from plaintext, is
// wiped on the way back. The next call sets them up again.
void releaseBlockCodecs();

// Where the data area comes from (a file, or memory in tests).
class ByteSource {
 public:
  // Reads up to size bytes. false when the read failed; *got below size means
  // the source has no more bytes.
  virtual bool read(void* buffer, size_t size, size_t* got) = 0;

 protected:
  ~ByteSource() = default;
};

// Running state of one entry's data area.
struct EntryDataReader {
  uint64_t remaining;  // bytes of the data area still to read
  uint32_t checksum;   // unsigned-byte sum of what was read so far
  bool compressed;
};

void startEntryData(EntryDataReader* reader, uint64_t storedLength, bool compressed);

// Reads the next block (or raw chunk) and gives the bytes to write: *data
// points into readBuffer or inflateBuffer (each ARCHIVE_BLOCK_BUFFER bytes).
// Call only while reader->remaining is above 0.
//  - BLOCK_READ_FAILED: a read failed;
//  - BLOCK_DATA_CUT: the data area ended before its stored length (a cut
//    archive);
//  - BLOCK_BAD: the length prefix does not fit in what remains of the entry
//    or in the read buffer, or the block does not inflate to 1..32768 bytes.
// Nothing is ever read past the buffers or past the entry's data area.
int readEntryData(ByteSource* source, EntryDataReader* reader, unsigned char* readBuffer,
                  unsigned char* inflateBuffer, const unsigned char** data, size_t* size);
