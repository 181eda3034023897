// The compression pool on memory: chunks come back in the order they were
// handed in, with the frames the codec gives for them, whichever thread
// compressed them; a file ended early frees every slot.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/packer_data.h"
#include "manager/archive/compress_pool.h"

namespace {

class CompressPool : public ::testing::Test {
 protected:
  void TearDown() override {
    stopCompressThreads();
    setPackerThreads(0);
  }
};

std::string frameOf(const std::string& chunk) {
  static unsigned char frame[BLOCK_FRAME_SIZE];
  size_t size = 0;
  EXPECT_EQ(encodeBlock(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), frame, &size), BLOCK_OK);
  return std::string(reinterpret_cast<char*>(frame), size);
}

// Runs the chunks through the pool the way the packer does and returns the
// frames in the order they came back.
std::vector<std::string> compressAll(const std::vector<std::string>& chunks, bool threaded) {
  std::vector<std::string> frames;
  beginFileChunks(threaded);
  size_t next = 0;
  for (;;) {
    CompressSlot* slot;
    while (next < chunks.size() && (slot = freeChunkSlot()) != nullptr) {
      memcpy(slot->chunk, chunks[next].data(), chunks[next].size());
      submitChunk(slot, chunks[next].size());
      ++next;
    }
    CompressSlot* done = nextCompressedChunk();
    if (!done) break;
    EXPECT_EQ(done->result, BLOCK_OK);
    frames.push_back(std::string(reinterpret_cast<char*>(done->frame), done->frameSize));
    releaseChunkSlot(done);
  }
  endFileChunks();
  return frames;
}

TEST_F(CompressPool, SettingIsCappedAtFourAndZeroFollowsTheProcessors) {
  setPackerThreads(1);
  EXPECT_EQ(packerThreadCount(), 1);
  setPackerThreads(3);
  EXPECT_EQ(packerThreadCount(), 3);
  setPackerThreads(64);
  EXPECT_EQ(packerThreadCount(), 4);
  setPackerThreads(0);
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  int processors = static_cast<int>(info.dwNumberOfProcessors);
  EXPECT_EQ(packerThreadCount(), processors > 4 ? 4 : processors);
}

TEST_F(CompressPool, ChunksComeBackInOrderEvenWhenLaterOnesFinishFirst) {
  // A slow text chunk followed by quick runs of zeros, repeated, so that the
  // threads finish later chunks before earlier ones.
  std::vector<std::string> chunks;
  for (unsigned i = 0; i < 40; ++i) {
    if (i % 4 == 0) chunks.push_back(textLike(32768, i));
    else if (i % 4 == 3) chunks.push_back(patternBytes(1 + i * 811, i));
    else chunks.push_back(std::string(32768, static_cast<char>(i)));
  }
  std::vector<std::string> expected;
  for (const std::string& c : chunks) expected.push_back(frameOf(c));
  for (int threads : {1, 2, 3, 4}) {
    SCOPED_TRACE(threads);
    setPackerThreads(threads);
    EXPECT_EQ(compressAll(chunks, true), expected);
    EXPECT_EQ(compressThreadsRunning(), threads == 1 ? 0 : threads);
    stopCompressThreads();
    EXPECT_EQ(compressThreadsRunning(), 0);
  }
}

TEST_F(CompressPool, UnthreadedFileCompressesInTheCallerAndStartsNoThread) {
  setPackerThreads(4);
  std::vector<std::string> chunks = {textLike(32768, 1), textLike(100, 2)};
  EXPECT_EQ(compressAll(chunks, false), (std::vector<std::string>{frameOf(chunks[0]), frameOf(chunks[1])}));
  EXPECT_EQ(compressThreadsRunning(), 0);
  // One slot only: the next chunk waits until the last one is given back.
  beginFileChunks(false);
  CompressSlot* slot = freeChunkSlot();
  ASSERT_NE(slot, nullptr);
  memcpy(slot->chunk, chunks[1].data(), chunks[1].size());
  submitChunk(slot, chunks[1].size());
  EXPECT_EQ(freeChunkSlot(), nullptr);
  endFileChunks();
}

TEST_F(CompressPool, FileEndedWithChunksQueuedFreesEverySlotForTheNext) {
  setPackerThreads(2);
  beginFileChunks(true);
  int queued = 0;
  CompressSlot* slot;
  while ((slot = freeChunkSlot()) != nullptr) {
    memcpy(slot->chunk, textLike(32768, queued).data(), 32768);
    submitChunk(slot, 32768);
    ++queued;
  }
  EXPECT_EQ(queued, 2 * COMPRESS_SLOTS_PER_THREAD);
  // The first one is taken and written; the file then ends on a failure.
  ASSERT_NE(nextCompressedChunk(), nullptr);
  endFileChunks();
  EXPECT_EQ(nextCompressedChunk(), nullptr);
  EXPECT_EQ(compressThreadsRunning(), 2);

  std::vector<std::string> chunks;
  for (unsigned i = 0; i < 9; ++i) chunks.push_back(patternBytes(32768, 50 + i));
  std::vector<std::string> expected;
  for (const std::string& c : chunks) expected.push_back(frameOf(c));
  EXPECT_EQ(compressAll(chunks, true), expected);
}

TEST_F(CompressPool, ThreadsCanBeStoppedAndStartedAgain) {
  setPackerThreads(2);
  std::vector<std::string> chunks = {textLike(32768, 7), textLike(32768, 8), textLike(5, 9)};
  std::vector<std::string> first = compressAll(chunks, true);
  stopCompressThreads();
  stopCompressThreads();  // nothing left to stop
  EXPECT_EQ(compressAll(chunks, true), first);
  EXPECT_EQ(compressThreadsRunning(), 2);
}

}  // namespace
