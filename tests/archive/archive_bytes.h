// Archives written and read byte by byte, independently of the product's
// encoder: every field is put at its offset here, the checksums are summed
// here, and the blocks are made with zlib's level 6 directly, as every
// earlier program made them, or with libdeflate's level 6 directly, as the
// packer makes them now. Blocks are read back with zlib's uncompress.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

struct RawEntry {
  uint32_t magic = 0x43524150u;  // "PARC"
  uint32_t formatTag = 0;
  uint64_t entrySpan = 0;
  uint32_t folderFlag = 0;
  uint64_t storedLength = 0;
  uint64_t creationTime = 0, lastAccessTime = 0, lastWriteTime = 0;
  std::string name;        // raw bytes, at most 261 (no terminator added when 261)
  std::string folderPath;  // raw bytes, at most 2049
  uint32_t compressedFlag = 0;
  uint8_t nameEncoding = 0;  // 0 ANSI, 1 UTF-8
  uint32_t dataChecksum = 0;
  bool sealed = true;      // false: header checksum left 0 (a provisional header)
};

// The 2434 bytes of a header.
std::string rawHeader(const RawEntry& entry);

// Signed-byte sum of bytes 0..2429 and unsigned-byte sum of a data area.
uint32_t signedSum(const std::string& bytes, size_t count);
uint32_t unsignedSum(const std::string& bytes);

// Which library deflates the blocks.
enum class Deflater { ZLIB, LIBDEFLATE };

// The data area of a file in the packer's form: one block per 32768 bytes,
// each a 2-byte length and a zlib stream of level 6.
std::string blocksOf(const std::string& data, Deflater deflater = Deflater::ZLIB);
// One block: the 2-byte length and the given stream bytes.
std::string block(const std::string& stream);
std::string zlibStream(const std::string& data, int level = 6, Deflater deflater = Deflater::ZLIB);

// A complete file entry (header with right stored length and checksums, then
// the data area in block form) and a folder entry.
struct EntryTimes {
  uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
};
std::string fileEntry(const std::string& name, const std::string& folderPath, const std::string& data,
                      EntryTimes times = {}, uint8_t nameEncoding = 0, Deflater deflater = Deflater::ZLIB);
std::string folderEntry(const std::string& name, const std::string& folderPath, uint8_t nameEncoding = 0);

// An entry as read back from archive bytes.
struct ReadEntry {
  uint32_t formatTag, folderFlag, compressedFlag;
  uint64_t entrySpan, storedLength;
  uint64_t creationTime, lastAccessTime, lastWriteTime;
  std::string name, folderPath;
  std::vector<size_t> blockSizes;  // sizes of the blocks' zlib streams
  std::string data;                // the inflated contents
  bool dataChecksumOk;
  uint8_t nameEncoding;
  bool reservedZero;
};
// Every valid entry up to the end or the first header whose checksum fails.
std::vector<ReadEntry> readArchiveBytes(const std::string& archive);
// "F:<folder>|<name>" or "D:<folder>|<name>", one per entry.
std::vector<std::string> entrySequence(const std::vector<ReadEntry>& entries);
