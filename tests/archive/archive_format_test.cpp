// The entry header: field offsets, both checksums, and bounded name fields.
#include "manager/archive/archive_format.h"

#include <gtest/gtest.h>
#include <string.h>

#include "archive/archive_bytes.h"

namespace {

std::string encoded(const ArchiveEntryHeader& h, bool seal) {
  unsigned char bytes[ARCHIVE_HEADER_SIZE];
  encodeArchiveHeader(&h, bytes);
  if (seal) sealArchiveHeader(bytes);
  return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

ArchiveEntryHeader sampleHeader() {
  ArchiveEntryHeader h;
  clearArchiveHeader(&h);
  h.formatTag = ARCHIVE_FILE_FORMAT_TAG;
  h.entrySpan = 0x0102030405060708ull;
  h.folderFlag = 0;
  h.storedLength = 0x1112131415161718ull;
  h.creationTime = 0x2122232425262728ull;
  h.lastAccessTime = 0x3132333435363738ull;
  h.lastWriteTime = 0x4142434445464748ull;
  strcpy(h.name, "表ソ能.txt");
  strcpy(h.folderPath, "表\\ソ");
  h.compressedFlag = 1;
  h.dataChecksum = 0xA1B2C3D4u;
  return h;
}

TEST(ArchiveHeader, FieldsSitAtTheirOffsetsLittleEndian) {
  ArchiveEntryHeader h = sampleHeader();
  RawEntry raw;
  raw.formatTag = h.formatTag;
  raw.entrySpan = h.entrySpan;
  raw.storedLength = h.storedLength;
  raw.creationTime = h.creationTime;
  raw.lastAccessTime = h.lastAccessTime;
  raw.lastWriteTime = h.lastWriteTime;
  raw.name = h.name;
  raw.folderPath = h.folderPath;
  raw.compressedFlag = 1;
  raw.dataChecksum = h.dataChecksum;
  EXPECT_EQ(encoded(h, true), rawHeader(raw));
  std::string bytes = encoded(h, true);
  ASSERT_EQ(bytes.size(), 2434u);
  EXPECT_EQ(bytes.substr(0, 4), "PARC");
  EXPECT_EQ(bytes.substr(4, 4), std::string("\x01\x00\x02\x00", 4));
  EXPECT_EQ(static_cast<unsigned char>(bytes[8]), 0x08);
  EXPECT_EQ(static_cast<unsigned char>(bytes[15]), 0x01);
  EXPECT_EQ(static_cast<unsigned char>(bytes[20]), 0x18);
  EXPECT_EQ(bytes.substr(52, 10), "\x95\x5C\x83\x5C\x94\x5C.txt");
  EXPECT_EQ(bytes.substr(62, 261 - 10), std::string(251, '\0'));
  EXPECT_EQ(bytes.substr(313, 5), "\x95\x5C\\\x83\x5C");
  EXPECT_EQ(bytes.substr(2366, 60), std::string(60, '\0'));
}

TEST(ArchiveHeader, HeaderChecksumSumsSignedBytesAndDataChecksumUnsigned) {
  ArchiveEntryHeader h = sampleHeader();
  std::string provisional = encoded(h, false);
  EXPECT_EQ(provisional.substr(2430, 4), std::string(4, '\0'));
  EXPECT_FALSE(isValidArchiveHeader(reinterpret_cast<const unsigned char*>(provisional.data())));
  std::string sealed = encoded(h, true);
  uint32_t expected = signedSum(sealed, 2430);
  // The Shift-JIS bytes (0x83, 0x94, 0x95) count as negative values.
  uint32_t unsignedTotal = 0;
  for (size_t i = 0; i < 2430; ++i) unsignedTotal += static_cast<unsigned char>(sealed[i]);
  EXPECT_NE(expected, unsignedTotal);
  EXPECT_EQ(archiveHeaderChecksum(reinterpret_cast<const unsigned char*>(sealed.data())), expected);
  uint32_t stored = static_cast<unsigned char>(sealed[2430]) | (static_cast<unsigned char>(sealed[2431]) << 8) |
                    (static_cast<unsigned char>(sealed[2432]) << 16) |
                    (static_cast<uint32_t>(static_cast<unsigned char>(sealed[2433])) << 24);
  EXPECT_EQ(stored, expected);
  EXPECT_TRUE(isValidArchiveHeader(reinterpret_cast<const unsigned char*>(sealed.data())));
  for (size_t at : {0u, 100u, 2429u}) {
    std::string damaged = sealed;
    damaged[at] ^= 0x01;
    EXPECT_FALSE(isValidArchiveHeader(reinterpret_cast<const unsigned char*>(damaged.data()))) << at;
  }
  const unsigned char data[] = {0xFF, 0x80, 0x01};
  EXPECT_EQ(addDataChecksum(0, data, 3), 0xFFu + 0x80u + 1u);
  EXPECT_EQ(addDataChecksum(0xFFFFFFFFu, data, 1), 0xFEu);  // modulo 2^32
}

TEST(ArchiveHeader, DecodeGivesBackEveryField) {
  ArchiveEntryHeader h = sampleHeader();
  std::string bytes = encoded(h, true);
  ArchiveEntryHeader back;
  decodeArchiveHeader(reinterpret_cast<const unsigned char*>(bytes.data()), &back);
  EXPECT_EQ(back.magic, ARCHIVE_MAGIC);
  EXPECT_EQ(back.formatTag, h.formatTag);
  EXPECT_EQ(back.entrySpan, h.entrySpan);
  EXPECT_EQ(back.storedLength, h.storedLength);
  EXPECT_EQ(back.creationTime, h.creationTime);
  EXPECT_EQ(back.lastAccessTime, h.lastAccessTime);
  EXPECT_EQ(back.lastWriteTime, h.lastWriteTime);
  EXPECT_STREQ(back.name, h.name);
  EXPECT_STREQ(back.folderPath, h.folderPath);
  EXPECT_EQ(back.compressedFlag, 1u);
  EXPECT_EQ(back.dataChecksum, h.dataChecksum);
}

TEST(ArchiveHeader, UnterminatedNameFieldsAreCutAtTheirCapacity) {
  RawEntry raw;
  raw.name = std::string(261, 'n');
  raw.folderPath = std::string(2049, 'f');
  std::string bytes = rawHeader(raw);
  ArchiveEntryHeader back;
  decodeArchiveHeader(reinterpret_cast<const unsigned char*>(bytes.data()), &back);
  EXPECT_EQ(std::string(back.name), std::string(260, 'n'));
  EXPECT_EQ(std::string(back.folderPath), std::string(2048, 'f'));

  // A double-byte character that would straddle the cut is dropped whole.
  raw.name = std::string(259, 'n') + "\x95\x5C";
  raw.folderPath = std::string(2047, 'f') + "\x83\x5C";
  bytes = rawHeader(raw);
  decodeArchiveHeader(reinterpret_cast<const unsigned char*>(bytes.data()), &back);
  EXPECT_EQ(std::string(back.name), std::string(259, 'n'));
  EXPECT_EQ(std::string(back.folderPath), std::string(2047, 'f'));

  // Bytes after the terminator are padding and ignored.
  raw.name = std::string("ok\0garbage", 10);
  bytes = rawHeader(raw);
  decodeArchiveHeader(reinterpret_cast<const unsigned char*>(bytes.data()), &back);
  EXPECT_STREQ(back.name, "ok");
}

TEST(ArchiveHeader, EncodeCutsOverlongTextsSafelyAndTerminates) {
  ArchiveEntryHeader h;
  clearArchiveHeader(&h);
  memset(h.name, 'x', sizeof h.name);  // no terminator in the record
  memset(h.folderPath, 'y', sizeof h.folderPath);
  std::string bytes = encoded(h, true);
  EXPECT_EQ(bytes.substr(52, 261), std::string(260, 'x') + '\0');
  EXPECT_EQ(bytes.substr(313, 2049), std::string(2048, 'y') + '\0');
}

}  // namespace
