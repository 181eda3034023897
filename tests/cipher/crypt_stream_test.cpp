// The streaming engine on real files and memory blocks.
#include "manager/cipher/crypt_stream.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <stdlib.h>

#include "cipher/cipher_test_util.h"
#include "manager/startup/job_state.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/narrow_paths.h"

namespace {

const char* const kPassword = "パスワード表";

class CryptStream : public ::testing::Test {
 protected:
  void SetUp() override { resetJobState(); }

  // A file-to-file record.
  EntryPrm fileToFile(int32_t sourceKind, const std::string& source, int32_t destKind,
                      const std::string& dest, int decrypting) {
    sourcePath_ = W(source);
    destPath_ = W(dest);
    EntryPrm prm;
    resetEntryPrm(&prm);
    prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
    prm.sourceKind = sourceKind;
    prm.sourcePath = sourcePath_.c_str();
    prm.destKind = destKind;
    prm.destPath = destPath_.c_str();
    prm.passwordText = kPassword;
    prm.chunkSize = 1024;
    prm.decrypting = decrypting;
    return prm;
  }

  std::string encryptFile(const std::string& data) {
    writeFile(dir / "plain.bin", data);
    EntryPrm prm = fileToFile(SRC_FILE, dir / "plain.bin", DST_NEW_FILE, dir / "enc.bin", 0);
    EXPECT_TRUE(cryptStream(&prm));
    EXPECT_EQ(prm.resultCode, 0);
    return readFile(dir / "enc.bin");
  }

  TempDir dir;
  std::wstring sourcePath_, destPath_;
};

TEST_F(CryptStream, ResetSetsKindsToMinusOneAndEverythingElseToZero) {
  EntryPrm prm;
  memset(&prm, 0x5A, sizeof prm);
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
  EXPECT_EQ(prm.sourceKind, -1);
  EXPECT_EQ(prm.destKind, -1);
  EXPECT_EQ(prm.sourcePath, nullptr);
  EXPECT_EQ(prm.Soulen, 0u);
  EXPECT_EQ(prm.sourceData, nullptr);
  EXPECT_EQ(prm.startOffset, 0u);
  EXPECT_EQ(prm.destPath, nullptr);
  EXPECT_EQ(prm.outLength, 0u);
  EXPECT_EQ(prm.outLimit, 0u);
  EXPECT_EQ(prm.outData, nullptr);
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(prm.passwordText, nullptr);
  EXPECT_EQ(prm.chunkSize, 0);
  EXPECT_EQ(prm.decrypting, 0);
}

TEST_F(CryptStream, EncryptedLengthIsTheSourceRoundedUpTo16) {
  for (size_t size : {size_t{1}, size_t{15}, size_t{16}, size_t{1023}, size_t{1024}, size_t{1025},
                      size_t{4096}, size_t{5000}}) {
    std::string data = patternBytes(size, static_cast<unsigned>(size));
    std::string enc = encryptFile(data);
    EXPECT_EQ(enc.size(), roundUpToBlock(size)) << size;
    // One CBC chain over the whole source: the IV carries across chunks, and
    // the pad bytes are zero.
    EXPECT_EQ(enc, referenceEncrypt(data, kPassword)) << size;
  }
  EXPECT_EQ(encryptFile("").size(), 0u);
}

TEST_F(CryptStream, PadBytesAreZeroNotTheFormerChunk) {
  std::string data = std::string(1024, '\xFF') + "z";
  std::string enc = encryptFile(data);
  ASSERT_EQ(enc.size(), 1040u);
  std::string plain = referenceDecrypt(enc, kPassword);
  EXPECT_EQ(plain.substr(0, 1025), data);
  EXPECT_EQ(plain.substr(1025), std::string(15, '\0'));
}

TEST_F(CryptStream, RoundTripThroughFileRangeAndNewFile) {
  std::string data = patternBytes(70001, 9);
  std::string enc = encryptFile(data);
  writeFile(dir / "c.bin", std::string(1024, 'h') + enc);
  EntryPrm prm = fileToFile(SRC_FILE_RANGE, dir / "c.bin", DST_NEW_FILE, dir / "表.out", 1);
  prm.startOffset = 1024;
  prm.Soulen = data.size();
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(readFile(dir / "表.out"), data);
  // The progress total is the whole file, also for a range.
  EXPECT_EQ(progressLoad(&jobState.progressTotal), static_cast<int64_t>(1024 + enc.size()));
  EXPECT_EQ(A(jobState.statusText), "書庫を復号中です");
}

TEST_F(CryptStream, FileRangeOfFiveBytesFromSixteenBodyBytes) {
  std::string enc = encryptFile("hello");
  ASSERT_EQ(enc.size(), 16u);
  writeFile(dir / "c.bin", patternBytes(1024, 3) + enc);
  EntryPrm prm = fileToFile(SRC_FILE_RANGE, dir / "c.bin", DST_NEW_FILE, dir / "out", 1);
  prm.startOffset = 1024;
  prm.Soulen = 5;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(readFile(dir / "out"), "hello");
  EXPECT_EQ(progressLoad(&jobState.progressDone), 5);
}

TEST_F(CryptStream, FileHeadReadsOnlyItsLength) {
  std::string data = patternBytes(3000, 4);
  writeFile(dir / "long.bin", data);
  EntryPrm prm = fileToFile(SRC_FILE_HEAD, dir / "long.bin", DST_NEW_FILE, dir / "head.enc", 0);
  prm.Soulen = 1024;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(readFile(dir / "head.enc"), referenceEncrypt(data.substr(0, 1024), kPassword));
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 3000);
  EXPECT_EQ(progressLoad(&jobState.progressDone), 1024);
  EXPECT_EQ(A(jobState.statusText), "書庫を暗号化中です");
}

TEST_F(CryptStream, MemoryDestinationKeepsChunksBelowTheLimit) {
  std::string data = patternBytes(1024, 5);
  writeFile(dir / "src", data);
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_MEMORY, "", 0);
  prm.destPath = nullptr;
  prm.outLimit = 1025;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  ASSERT_NE(prm.outData, nullptr);
  EXPECT_EQ(prm.outLength, 1024u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(prm.outData), 1024), referenceEncrypt(data, kPassword));
  free(prm.outData);

  prm = fileToFile(SRC_FILE, dir / "src", DST_MEMORY, "", 0);
  prm.outLimit = 1024;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(prm.outData, nullptr);
  EXPECT_EQ(prm.outLength, 0u);
  EXPECT_EQ(progressLoad(&jobState.progressDone), 1024);  // counted though not kept

  // No limit: every chunk.
  std::string big = patternBytes(5000, 6);
  writeFile(dir / "big", big);
  prm = fileToFile(SRC_FILE, dir / "big", DST_MEMORY, "", 0);
  EXPECT_TRUE(cryptStream(&prm));
  ASSERT_EQ(prm.outLength, 5008u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(prm.outData), 5008), referenceEncrypt(big, kPassword));
  free(prm.outData);
}

TEST_F(CryptStream, MemorySourceToFileAndToMemory) {
  std::string data = patternBytes(2500, 7);
  EntryPrm prm;
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
  prm.sourceKind = SRC_MEMORY;
  prm.sourceData = reinterpret_cast<const unsigned char*>(data.data());
  prm.Soulen = data.size();
  prm.destKind = DST_NEW_FILE;
  std::string out = dir / "m.enc";
  std::wstring wideOut = W(out);
  prm.destPath = wideOut.c_str();
  prm.passwordText = kPassword;
  prm.chunkSize = 1024;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(readFile(out), referenceEncrypt(data, kPassword));
  EXPECT_EQ(A(jobState.statusText), "MEM -> 0");
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 2500);

  std::string enc = readFile(out);
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
  prm.sourceKind = SRC_MEMORY;
  prm.sourceData = reinterpret_cast<const unsigned char*>(enc.data());
  prm.Soulen = enc.size();
  prm.destKind = DST_MEMORY;
  prm.passwordText = kPassword;
  prm.chunkSize = 1024;
  prm.decrypting = 1;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  ASSERT_EQ(prm.outLength, enc.size());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(prm.outData), 2500), data);
  EXPECT_EQ(A(jobState.statusText), "MEM -> 1");
  free(prm.outData);
}

TEST_F(CryptStream, AppendDestinationGrowsAnExistingFileOrCreatesOne) {
  writeFile(dir / "src", "abc");
  writeFile(dir / "app", "0123456789");
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_APPEND_FILE, dir / "app", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(readFile(dir / "app"), "0123456789" + referenceEncrypt("abc", kPassword));
  prm = fileToFile(SRC_FILE, dir / "src", DST_APPEND_FILE, dir / "ソ.new", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(readFile(dir / "ソ.new"), referenceEncrypt("abc", kPassword));
}

TEST_F(CryptStream, NewFileDestinationTruncatesWhatWasThere) {
  writeFile(dir / "src", "abc");
  writeFile(dir / "out", std::string(5000, 'o'));
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(readFile(dir / "out"), referenceEncrypt("abc", kPassword));
}

TEST_F(CryptStream, BadChunkSizesAndKindsFailBeforeAnyFileIsTouched) {
  writeFile(dir / "src", "abc");
  writeFile(dir / "out", "keep me");
  for (int32_t chunk : {0, 15, 65536, -1024}) {
    EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
    prm.chunkSize = chunk;
    EXPECT_FALSE(cryptStream(&prm));
    EXPECT_EQ(prm.resultCode, 6) << chunk;
  }
  for (int32_t chunk : {16, 65535}) {
    EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "edge", 0);
    prm.chunkSize = chunk;
    EXPECT_TRUE(cryptStream(&prm));
    EXPECT_EQ(prm.resultCode, 0) << chunk;
  }
  for (int32_t kind : {2, -1, 5}) {
    EntryPrm prm = fileToFile(kind, dir / "src", DST_NEW_FILE, dir / "out", 0);
    EXPECT_FALSE(cryptStream(&prm));
    EXPECT_EQ(prm.resultCode, 10) << kind;
  }
  for (int32_t kind : {3, -1}) {
    EntryPrm prm = fileToFile(SRC_FILE, dir / "src", kind, dir / "out", 0);
    EXPECT_FALSE(cryptStream(&prm));
    EXPECT_EQ(prm.resultCode, 10) << kind;
  }
  EXPECT_EQ(readFile(dir / "out"), "keep me");
}

TEST_F(CryptStream, MissingSourceGivesOneAndLeavesTheDestinationAlone) {
  EntryPrm prm = fileToFile(SRC_FILE, dir / "none", DST_NEW_FILE, dir / "out", 0);
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 1);
  EXPECT_FALSE(fileExists(dir / "out"));
  writeFile(dir / "out", "old");
  for (int32_t kind : {SRC_FILE_HEAD, SRC_FILE_RANGE}) {
    prm = fileToFile(kind, dir / "none", DST_NEW_FILE, dir / "out", 1);
    prm.Soulen = 10;
    EXPECT_FALSE(cryptStream(&prm));
    EXPECT_EQ(prm.resultCode, 1);
  }
  prm = fileToFile(SRC_FILE, dir.path(), DST_NEW_FILE, dir / "out", 0);  // a folder
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 1);
  EXPECT_EQ(readFile(dir / "out"), "old");
}

TEST_F(CryptStream, DestinationsThatCannotBeOpened) {
  writeFile(dir / "src", "abc");
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "no\\such\\out", 0);
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 3);
  prm = fileToFile(SRC_FILE, dir / "src", DST_APPEND_FILE, dir / "no\\such\\out", 0);
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 4);
  prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir.path(), 0);  // a folder
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 3);
}

TEST_F(CryptStream, MissingOrOverlongPasswordIsRefusedBeforeAnythingOpens) {
  writeFile(dir / "src", "abc");
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
  prm.passwordText = nullptr;
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 9);
  std::string longPassword(1026, 'p');
  prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
  prm.passwordText = longPassword.c_str();
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 9);
  EXPECT_FALSE(fileExists(dir / "out"));
  longPassword.pop_back();  // 1025 bytes are accepted
  prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
  prm.passwordText = longPassword.c_str();
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(readFile(dir / "out"), referenceEncrypt("abc", longPassword.c_str()));
}

TEST_F(CryptStream, BadCallerBlocksGiveTwo) {
  EntryPrm prm;
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
  prm.sourceKind = SRC_MEMORY;
  prm.sourceData = nullptr;
  prm.Soulen = 10;
  prm.destKind = DST_MEMORY;
  prm.passwordText = kPassword;
  prm.chunkSize = 1024;
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 2);
  unsigned char byte = 0;
  prm.sourceData = &byte;
  prm.Soulen = UINT64_MAX;  // beyond the address space of either width
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 2);
  // A memory destination with a length but no block.
  prm.Soulen = 1;
  prm.outLength = 100;
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 2);
  // An empty memory source is fine.
  prm.sourceData = nullptr;
  prm.Soulen = 0;
  prm.outLength = 0;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  EXPECT_EQ(prm.outData, nullptr);
}

TEST_F(CryptStream, AGivenMemoryBlockWithALimitStartsAgainFromItsStart) {
  std::string data = patternBytes(100, 8);
  EntryPrm prm;
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
  prm.sourceKind = SRC_MEMORY;
  prm.sourceData = reinterpret_cast<const unsigned char*>(data.data());
  prm.Soulen = data.size();
  prm.destKind = DST_MEMORY;
  prm.outData = static_cast<unsigned char*>(malloc(64));
  prm.outLength = 64;
  prm.outLimit = 4096;
  prm.passwordText = kPassword;
  prm.chunkSize = 1024;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 0);
  ASSERT_EQ(prm.outLength, 112u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(prm.outData), 112), referenceEncrypt(data, kPassword));
  free(prm.outData);
}

TEST_F(CryptStream, StopIsSeenAfterTheChunkIsWrittenEvenTheLast) {
  std::string data = patternBytes(5000, 10);
  writeFile(dir / "src", data);
  jobState.stopCode = 999;
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 99);
  EXPECT_EQ(readFile(dir / "out"), referenceEncrypt(data, kPassword).substr(0, 1024));
  EXPECT_EQ(progressLoad(&jobState.progressDone), 1024);

  // A source of one chunk: the stop still counts after its last write.
  writeFile(dir / "one", "abc");
  prm = fileToFile(SRC_FILE, dir / "one", DST_NEW_FILE, dir / "out", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 99);
  EXPECT_EQ(readFile(dir / "out"), referenceEncrypt("abc", kPassword));

  std::string mem = "xyz";
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;  // the job record's progress and stop, as in a job
  prm.sourceKind = SRC_MEMORY;
  prm.sourceData = reinterpret_cast<const unsigned char*>(mem.data());
  prm.Soulen = 3;
  prm.destKind = DST_MEMORY;
  prm.passwordText = kPassword;
  prm.chunkSize = 1024;
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 99);
  EXPECT_EQ(prm.outLength, 16u);
  free(prm.outData);
}

TEST_F(CryptStream, ProgressRestartsAndCountOnlyIsCleared) {
  std::string data = patternBytes(3000, 11);
  writeFile(dir / "src", data);
  progressStore(&jobState.progressDone, 777);
  progressStore(&jobState.progressTotal, 888);
  jobState.countOnly = 1;
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, dir / "out", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 3000);
  EXPECT_EQ(progressLoad(&jobState.progressDone), 3008);  // counts what was written
  EXPECT_EQ(jobState.countOnly, 0);
  // A refused call clears the progress and the status line.
  reportStatus(jobProgress, "old");
  prm.chunkSize = 1;
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 0);
  EXPECT_EQ(progressLoad(&jobState.progressDone), 0);
  EXPECT_EQ(A(jobState.statusText), "");
}

TEST_F(CryptStream, AReadErrorIsNotTakenForTheEndOfTheSource) {
  // The memory file of a process opens, but reading its first page fails
  // (nothing is mapped at address 0): a source that can't be read.
  const std::string unreadable = "Z:\\proc\\self\\mem";
  HANDLE probe = CreateFileA(unreadable.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no unreadable file to test with";
  char byte;
  DWORD got = 0;
  BOOL readable = ReadFile(probe, &byte, 1, &got, nullptr);
  CloseHandle(probe);
  if (readable) GTEST_SKIP() << unreadable << " can be read here";
  EntryPrm prm = fileToFile(SRC_FILE, unreadable, DST_NEW_FILE, dir / "out", 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 1);
  EXPECT_EQ(fileSizeOf(dir / "out"), 0);
}

TEST_F(CryptStream, AFullDiskIsAWriteFailure) {
  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  writeFile(dir / "src", patternBytes(200000, 13));
  std::string out = disk.windowsPath() + "\\out.enc";
  EntryPrm prm = fileToFile(SRC_FILE, dir / "src", DST_NEW_FILE, out, 0);
  EXPECT_TRUE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, 7);
  EXPECT_LT(progressLoad(&jobState.progressDone), 200000);
  DeleteFileA(out.c_str());
}

}  // namespace
