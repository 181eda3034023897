// Block framing of data areas, and the bounded reading of hostile ones.
#include "manager/archive/block_codec.h"

#include <gtest/gtest.h>
#include <string.h>
#include <zlib.h>

#include "archive/archive_bytes.h"

namespace {

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes, bool failing = false) : bytes_(std::move(bytes)), failing_(failing) {}
  bool read(void* buffer, size_t size, size_t* got) override {
    *got = 0;
    if (failing_) return false;
    size_t n = std::min(size, bytes_.size() - at_);
    memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    *got = n;
    return true;
  }
  size_t consumed() const { return at_; }

 private:
  std::string bytes_;
  bool failing_;
  size_t at_ = 0;
};

std::string pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

// Frames a whole file the way the packer does, chunk by chunk.
std::string frameFile(const std::string& data, std::vector<size_t>* frames = nullptr) {
  std::string out;
  static unsigned char frame[BLOCK_FRAME_SIZE];
  for (size_t at = 0; at < data.size(); at += ARCHIVE_CHUNK_SIZE) {
    size_t n = std::min<size_t>(ARCHIVE_CHUNK_SIZE, data.size() - at);
    size_t frameSize = 0;
    EXPECT_EQ(encodeBlock(reinterpret_cast<const unsigned char*>(data.data() + at), n, frame, &frameSize), BLOCK_OK);
    if (frames) frames->push_back(frameSize);
    out.append(reinterpret_cast<char*>(frame), frameSize);
  }
  return out;
}

struct Unpacked {
  int result;
  std::string data;
  uint32_t checksum;
  size_t consumed;
};

Unpacked readAll(const std::string& area, uint64_t storedLength, bool compressed = true, bool failing = false) {
  MemorySource source(area, failing);
  static unsigned char readBuffer[ARCHIVE_BLOCK_BUFFER], inflateBuffer[ARCHIVE_BLOCK_BUFFER];
  EntryDataReader reader;
  startEntryData(&reader, storedLength, compressed);
  Unpacked out{BLOCK_OK, "", 0, 0};
  while (reader.remaining > 0) {
    const unsigned char* data = nullptr;
    size_t size = 0;
    out.result = readEntryData(&source, &reader, readBuffer, inflateBuffer, &data, &size);
    if (out.result != BLOCK_OK) break;
    out.data.append(reinterpret_cast<const char*>(data), size);
  }
  out.checksum = reader.checksum;
  out.consumed = source.consumed();
  return out;
}

TEST(BlockFraming, EmptyFileHasNoBlocksAndChecksumZero) {
  std::vector<size_t> frames;
  std::string area = frameFile("", &frames);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(area.size(), 0u);
  EXPECT_EQ(unsignedSum(area), 0u);
  Unpacked back = readAll(area, 0);
  EXPECT_EQ(back.result, BLOCK_OK);
  EXPECT_EQ(back.checksum, 0u);
}

TEST(BlockFraming, ChunkBoundariesGiveOneOrTwoBlocks) {
  for (size_t size : {32767u, 32768u, 32769u, 65536u, 65537u}) {
    std::string data = pattern(size, static_cast<unsigned>(size));
    std::vector<size_t> frames;
    std::string area = frameFile(data, &frames);
    EXPECT_EQ(frames.size(), (size + 32767) / 32768) << size;
    // Each block is its 2-byte length and that many stream bytes.
    size_t p = 0, index = 0;
    while (p + 2 <= area.size()) {
      size_t n = static_cast<unsigned char>(area[p]) | (static_cast<unsigned char>(area[p + 1]) << 8);
      ASSERT_LT(index, frames.size());
      EXPECT_EQ(frames[index++], n + 2);
      p += 2 + n;
    }
    EXPECT_EQ(p, area.size());
    Unpacked back = readAll(area, area.size());
    ASSERT_EQ(back.result, BLOCK_OK) << size;
    EXPECT_EQ(back.data, data);
    EXPECT_EQ(back.checksum, unsignedSum(area));  // length prefixes included
  }
  // 32769 bytes: the second block holds the one remaining byte.
  std::string data = pattern(32769, 7);
  std::string area = frameFile(data);
  size_t first = static_cast<unsigned char>(area[0]) | (static_cast<unsigned char>(area[1]) << 8);
  std::string second = area.substr(2 + first);
  size_t secondLength = static_cast<unsigned char>(second[0]) | (static_cast<unsigned char>(second[1]) << 8);
  ASSERT_EQ(second.size(), secondLength + 2);
  static unsigned char out[ARCHIVE_BLOCK_BUFFER];
  size_t outSize = 0;
  ASSERT_EQ(decodeBlock(reinterpret_cast<const unsigned char*>(second.data() + 2), secondLength, out, &outSize),
            BLOCK_OK);
  ASSERT_EQ(outSize, 1u);
  EXPECT_EQ(static_cast<char>(out[0]), data[32768]);
}

// What zlib's uncompress makes of a frame's stream, as every earlier copy of
// the program, the browser's reader and the independent reference read it;
// "refused" when it does not inflate whole into one chunk.
std::string uncompressed(const unsigned char* frame, size_t frameSize) {
  std::string out(ARCHIVE_CHUNK_SIZE, '\0');
  uLongf size = ARCHIVE_CHUNK_SIZE;
  size_t length = frame[0] | (frame[1] << 8);
  if (length + BLOCK_PREFIX_SIZE != frameSize ||
      uncompress(reinterpret_cast<Bytef*>(&out[0]), &size, frame + BLOCK_PREFIX_SIZE, length) != Z_OK)
    return "refused";
  out.resize(size);
  return out;
}

// Every block is one whole zlib stream that zlib's uncompress inflates to its
// chunk, and the compressor kept from block to block makes the bytes a fresh
// one makes, whatever came before it: text, noise (which must still fit the
// frame), runs, and the chunk sizes at the edges.
TEST(BlockFraming, EveryBlockIsTheFreshZlibStreamThatUncompressInflates) {
  const std::string chunks[] = {std::string(20000, 'a') + pattern(12768, 3), pattern(32768, 1),
                                std::string(32768, 'x'), pattern(5, 2), std::string(1, '\0'),
                                std::string(100, '\0') + pattern(900, 3), pattern(32768, 4)};
  BlockCompressor own;
  ASSERT_TRUE(openBlockCompressor(&own));
  static unsigned char frame[BLOCK_FRAME_SIZE], fresh[BLOCK_FRAME_SIZE];
  for (int round = 0; round < 2; ++round) {
    for (const std::string& chunk : chunks) {
      const unsigned char* bytes = reinterpret_cast<const unsigned char*>(chunk.data());
      BlockCompressor first;
      ASSERT_TRUE(openBlockCompressor(&first));
      size_t freshSize = 0;
      ASSERT_EQ(encodeBlock(bytes, chunk.size(), fresh, &freshSize, &first), BLOCK_OK);
      closeBlockCompressor(&first);
      EXPECT_TRUE(uncompressed(fresh, freshSize) == chunk) << chunk.size();
      EXPECT_LE(freshSize, sizeof frame);
      for (BlockCompressor* compressor : {static_cast<BlockCompressor*>(nullptr), &own}) {
        size_t frameSize = 0;
        ASSERT_EQ(encodeBlock(bytes, chunk.size(), frame, &frameSize, compressor), BLOCK_OK);
        EXPECT_TRUE(frameSize == freshSize && memcmp(frame, fresh, frameSize) == 0)
            << chunk.size() << (compressor ? " own state" : " shared state");
      }
    }
  }
  closeBlockCompressor(&own);
}

TEST(BlockFraming, EncodeRefusesEmptyAndOversizedChunks) {
  static unsigned char frame[BLOCK_FRAME_SIZE];
  static unsigned char big[ARCHIVE_CHUNK_SIZE + 1];
  size_t frameSize = 1;
  EXPECT_EQ(encodeBlock(big, 0, frame, &frameSize), BLOCK_COMPRESS_FAILED);
  EXPECT_EQ(encodeBlock(big, sizeof big, frame, &frameSize), BLOCK_COMPRESS_FAILED);
  EXPECT_EQ(frameSize, 0u);
}

TEST(BlockReading, UncompressedAreaIsReadInRawChunks) {
  std::string data = pattern(70000, 5);
  Unpacked back = readAll(data, data.size(), false);
  EXPECT_EQ(back.result, BLOCK_OK);
  EXPECT_EQ(back.data, data);
  EXPECT_EQ(back.checksum, unsignedSum(data));
}

TEST(BlockReading, LengthPrefixBeyondTheReadBufferIsABadBlockAndIsNotRead) {
  std::string area = std::string("\x01\x90", 2) + std::string(40000, 'z');  // 0x9001 = 36865
  Unpacked back = readAll(area, area.size());
  EXPECT_EQ(back.result, BLOCK_BAD);
  EXPECT_EQ(back.consumed, 2u);
  area = std::string("\xFF\xFF", 2) + std::string(70000, 'z');
  back = readAll(area, area.size());
  EXPECT_EQ(back.result, BLOCK_BAD);
  EXPECT_EQ(back.consumed, 2u);
}

TEST(BlockReading, LengthPrefixBeyondTheEntryIsABadBlock) {
  std::string good = block(zlibStream("hello"));
  // The stored length ends inside the block: the block is not read at all.
  Unpacked back = readAll(good + "next header bytes", good.size() - 1);
  EXPECT_EQ(back.result, BLOCK_BAD);
  EXPECT_EQ(back.consumed, 2u);
  // One stray byte cannot hold a length prefix.
  back = readAll(good + "x", good.size() + 1);
  EXPECT_EQ(back.result, BLOCK_BAD);
  EXPECT_EQ(back.data, "hello");
  EXPECT_EQ(back.consumed, good.size());
}

TEST(BlockReading, BlockInflatingBeyondOneChunkIsABadBlock) {
  std::string area = block(zlibStream(std::string(32769, 'a')));
  EXPECT_EQ(readAll(area, area.size()).result, BLOCK_BAD);
  area = block(zlibStream(std::string(200000, 'a')));  // beyond the inflate buffer
  EXPECT_EQ(readAll(area, area.size()).result, BLOCK_BAD);
  area = block(zlibStream(std::string(32768, 'a')));
  EXPECT_EQ(readAll(area, area.size()).result, BLOCK_OK);
}

TEST(BlockReading, DamagedStreamsAndEmptyBlocksAreBadBlocks) {
  std::string stream = zlibStream(pattern(1000, 1));
  stream[stream.size() / 2] ^= 0x55;
  std::string area = block(stream);
  EXPECT_EQ(readAll(area, area.size()).result, BLOCK_BAD);
  area = block("");
  EXPECT_EQ(readAll(area, area.size()).result, BLOCK_BAD);
  area = block("not zlib at all");
  EXPECT_EQ(readAll(area, area.size()).result, BLOCK_BAD);
}

TEST(BlockReading, CutDataAreaIsDamageAndUnreadableOneAReadFailure) {
  std::string area = frameFile(pattern(50000, 4));
  EXPECT_EQ(readAll(area.substr(0, area.size() - 10), area.size()).result, BLOCK_DATA_CUT);
  EXPECT_EQ(readAll(area.substr(0, 1), area.size()).result, BLOCK_DATA_CUT);
  EXPECT_EQ(readAll("abc", 10, false).result, BLOCK_DATA_CUT);
  EXPECT_EQ(readAll(area, area.size(), true, true).result, BLOCK_READ_FAILED);
}

}  // namespace
