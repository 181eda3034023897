// Encrypted containers: sizes, round trips, the header check and failures.
#include "manager/cipher/container.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "cipher/cipher_test_util.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/container_format2_win.h"
#include "manager/cipher/container_header.h"
#include "manager/cipher/container_stream.h"
#include "manager/cipher/random_fill.h"
#include "manager/startup/job_state.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/narrow_paths.h"

namespace {

const char* const kPassword = "secret";
const char* const kStatLoc1018 = "kyvo697";  // SHA-256 low ten bits 1018
const char* const kStatLoc1017 = "kyvo716";

int statLocOfText(const char* password) {
  unsigned char d[SHA2SUM_SIZE];
  passwordDigest(password, d);
  return statLocOf(d);
}

class Container : public ::testing::Test {
 protected:
  void SetUp() override { resetJobState(); }
  std::string archive() const { return dir / "表.arv"; }
  std::string container() const { return dir / "表.enc"; }
  std::string restored() const { return dir / "ソ.arv"; }
  TempDir dir;
};

TEST_F(Container, SizeIsHeaderPlusArchiveRoundedUpTo16AndRoundTrips) {
  for (size_t n : {size_t{1}, size_t{15}, size_t{16}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{40000}}) {
    std::string data = patternBytes(n, static_cast<unsigned>(n));
    writeFile(archive(), data);
    ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0) << n;
    EXPECT_EQ(fileSizeOf(container()), static_cast<long long>(1024 + roundUpToBlock(n))) << n;
    ASSERT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 0) << n;
    EXPECT_EQ(readFile(restored()), data) << n;  // exactly n bytes, no pad
  }
  writeFile(archive(), "x");
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  EXPECT_EQ(fileSizeOf(container()), 1040);
  writeFile(archive(), std::string(1024, 'y'));
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  EXPECT_EQ(fileSizeOf(container()), 2048);
  writeFile(archive(), std::string(1025, 'z'));
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  EXPECT_EQ(fileSizeOf(container()), 2064);
}

TEST_F(Container, BodyIsTheArchiveUnderItsOwnChainAndHeaderCarriesTheSize) {
  std::string data = patternBytes(3000, 1);
  writeFile(archive(), data);
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  std::string enc = readFile(container());
  EXPECT_EQ(enc.substr(1024), referenceEncrypt(data, kPassword));
  std::string header = referenceDecrypt(enc.substr(0, 1024), kPassword);
  int StatLoc = statLocOfText(kPassword);
  HeaderSizeRecord record;
  ASSERT_TRUE(openHeaderBlock(reinterpret_cast<const unsigned char*>(header.data()), StatLoc, &record));
  EXPECT_EQ(record.Soulen, 3000u);
  EXPECT_EQ(record.highBits, 0u);
}

TEST_F(Container, TwoContainersOfOneArchiveDifferInTheHeaderOnly) {
  std::string data = patternBytes(5000, 2);
  writeFile(archive(), data);
  std::string second = dir / "second.enc";
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  ASSERT_EQ(encryptArchive(archive().c_str(), second.c_str(), kPassword), 0);
  std::string a = readFile(container()), b = readFile(second);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_NE(a.substr(0, 1024), b.substr(0, 1024));
  EXPECT_EQ(a.substr(1024), b.substr(1024));
}

TEST_F(Container, StatLoc1018PutsTheCheckBytesAtTheEndOfTheBlock) {
  ASSERT_EQ(statLocOfText(kStatLoc1018), 1018);
  writeFile(archive(), "abcdefgh");
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kStatLoc1018), 0);
  std::string header = referenceDecrypt(readFile(container()).substr(0, 1024), kStatLoc1018);
  const unsigned char* h = reinterpret_cast<const unsigned char*>(header.data());
  EXPECT_EQ(h[1018], 8);
  EXPECT_EQ(h[1019], 0);
  EXPECT_EQ(h[1020], 0);
  EXPECT_EQ(h[1021], 0);
  HeaderCheck check = headerCheckBytes(h, 1018);
  EXPECT_EQ(h[1022], check.checkEven);
  EXPECT_EQ(h[1023], check.checkOdd);
  ASSERT_EQ(decryptArchive(container().c_str(), restored().c_str(), kStatLoc1018), 0);
  EXPECT_EQ(readFile(restored()), "abcdefgh");

  ASSERT_EQ(statLocOfText(kStatLoc1017), 1017);
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kStatLoc1017), 0);
  header = referenceDecrypt(readFile(container()).substr(0, 1024), kStatLoc1017);
  EXPECT_EQ(header[1023], '\0');  // bits 48..55 of the size
  ASSERT_EQ(decryptArchive(container().c_str(), restored().c_str(), kStatLoc1017), 0);
  EXPECT_EQ(readFile(restored()), "abcdefgh");
}

TEST_F(Container, EmptyOrMissingArchiveGives97AndNoContainer) {
  writeFile(archive(), "");
  EXPECT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 97);
  EXPECT_FALSE(fileExists(container()));
  EXPECT_EQ(encryptArchive((dir / "none").c_str(), container().c_str(), kPassword), 97);
  EXPECT_FALSE(fileExists(container()));
}

TEST_F(Container, WrongPasswordGives80AndWritesNoArchive) {
  writeFile(archive(), patternBytes(2000, 3));
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), "パスワード表"), 0);
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), "パスワード"), 80);
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), "secret"), 80);
  EXPECT_FALSE(fileExists(restored()));
  // An archive file already there is left as it was.
  writeFile(restored(), "previous");
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), "wrong"), 80);
  EXPECT_EQ(readFile(restored()), "previous");
}

TEST_F(Container, EmptyContainerGives96AndShortOnesGive80) {
  writeFile(container(), "");
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 96);
  EXPECT_FALSE(fileExists(restored()));
  for (size_t size : {size_t{1}, size_t{16}, size_t{1000}, size_t{1023}}) {
    writeFile(container(), patternBytes(size, 4));
    EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 80) << size;
  }
  // A real container cut inside its header.
  writeFile(archive(), "abc");
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  std::string enc = readFile(container());
  writeFile(container(), enc.substr(0, 1023));
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 80);
  EXPECT_FALSE(fileExists(restored()));
}

TEST_F(Container, DamageToTheHeaderGives80) {
  writeFile(archive(), patternBytes(3000, 5));
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  std::string enc = readFile(container());
  int StatLoc = statLocOfText(kPassword);
  for (size_t at : {size_t{0}, size_t{17}, size_t{512}, static_cast<size_t>(StatLoc), size_t{1023}}) {
    std::string damaged = enc;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
    writeFile(container(), damaged);
    // The check bytes of a scrambled block match by chance once in 65536
    // tries: tell that case apart with an independent look at the header.
    std::string header = referenceDecrypt(damaged.substr(0, 1024), kPassword);
    HeaderSizeRecord record;
    bool chanceMatch = openHeaderBlock(reinterpret_cast<const unsigned char*>(header.data()), StatLoc, &record);
    int result = decryptArchive(container().c_str(), restored().c_str(), kPassword);
    if (chanceMatch)
      EXPECT_NE(result, 80) << at;
    else
      EXPECT_EQ(result, 80) << at;
  }
}

TEST_F(Container, ABodyCutOrAddedToGives81AndRestoresNothing) {
  writeFile(archive(), patternBytes(1025, 6));  // a body of 1040 bytes
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  const std::string enc = readFile(container());
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {{"a block appended", enc + std::string(16, '\0')}, {"cut after the first chunk", enc.substr(0, 2048)},
               {"last byte cut off", enc.substr(0, enc.size() - 1)}, {"header only", enc.substr(0, 1024)}};
  for (const auto& c : cases) {
    DeleteFileA(restored().c_str());
    writeFile(container(), c.bytes);
    EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 81) << c.what;
    EXPECT_FALSE(fileExists(restored())) << c.what;
  }
}

TEST_F(Container, RoundTripOfAFewMegabytesWithAShiftJisPassword) {
  const char* password = "暗号表ソ能";
  std::string data = patternBytes(3 * 1024 * 1024 + 7, 7);
  writeFile(archive(), data);
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), password), 0);
  EXPECT_EQ(A(jobState.statusText), "書庫を暗号化中です");
  EXPECT_EQ(progressLoad(&jobState.progressTotal), static_cast<int64_t>(data.size()));
  EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(roundUpToBlock(data.size())));
  ASSERT_EQ(decryptArchive(container().c_str(), restored().c_str(), password), 0);
  EXPECT_EQ(A(jobState.statusText), "書庫を復号中です");
  EXPECT_EQ(progressLoad(&jobState.progressTotal), fileSizeOf(container()));
  EXPECT_EQ(readFile(restored()), data);
}

TEST_F(Container, EngineFailuresArriveAs200Plus) {
  writeFile(archive(), "abc");
  EXPECT_EQ(encryptArchive(archive().c_str(), container().c_str(), nullptr), 209);
  EXPECT_FALSE(fileExists(container()));
  std::string tooLong(1026, 'p');
  EXPECT_EQ(encryptArchive(archive().c_str(), container().c_str(), tooLong.c_str()), 209);
  EXPECT_EQ(encryptArchive(archive().c_str(), (dir / "no\\such\\c.enc").c_str(), kPassword), 203);
  EXPECT_EQ(decryptArchive((dir / "none.enc").c_str(), restored().c_str(), kPassword), 201);
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), nullptr), 209);
  EXPECT_EQ(decryptArchive(container().c_str(), (dir / "no\\such\\a.arv").c_str(), kPassword), 203);
}

TEST_F(Container, StopDuringEitherDirectionGives299) {
  writeFile(archive(), patternBytes(10000, 8));
  jobState.stopCode = 999;
  EXPECT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 299);
  jobState.stopCode = 0;
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  jobState.stopCode = 999;
  EXPECT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 299);
}

TEST_F(Container, AFullDiskGives207) {
  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  writeFile(archive(), patternBytes(200000, 9));
  std::string out = disk.windowsPath() + "\\c.enc";
  EXPECT_EQ(encryptArchive(archive().c_str(), out.c_str(), kPassword), 207);
  DeleteFileA(out.c_str());

  std::string small = patternBytes(100000, 10);
  writeFile(archive(), small);
  ASSERT_EQ(encryptArchive(archive().c_str(), container().c_str(), kPassword), 0);
  std::string target = disk.windowsPath() + "\\a.arv";
  EXPECT_EQ(decryptArchive(container().c_str(), target.c_str(), kPassword), 207);
  DeleteFileA(target.c_str());
}

// The format of a new container is the caller's choice; the reader tells
// the two apart by the magic alone.
TEST_F(Container, EitherFormatIsWrittenOnRequestAndReadWithoutBeingTold) {
  const Format2WriterSettings quick = {FORMAT2_ITERATIONS_MIN, nullptr};
  setFormat2WriterSettings(&quick);
  const std::string data = patternBytes(70001, 11);
  writeFile(archive(), data);
  const long long format1Size = 1024 + roundUpToBlock(70001), format2Size = 84 + 70001 + 2 * 16;
  const struct {
    int format;
    bool second;
  } cases[] = {{CONTAINER_FORMAT_1, false}, {CONTAINER_FORMAT_2, true}, {0, false}, {3, false}};
  for (const auto& c : cases) {
    DeleteFileA(restored().c_str());
    ASSERT_EQ(encryptArchiveAs(archive().c_str(), container().c_str(), kPassword, c.format), 0) << c.format;
    EXPECT_EQ(isFormat2Container(W(container()).c_str()), c.second) << c.format;
    EXPECT_EQ(fileSizeOf(container()), c.second ? format2Size : format1Size) << c.format;
    if (!c.second) {  // the first format's body, byte for byte
      EXPECT_TRUE(readFile(container()).substr(1024) == referenceEncrypt(data, kPassword)) << c.format;
    }
    ASSERT_EQ(decryptArchive(container().c_str(), restored().c_str(), kPassword), 0) << c.format;
    EXPECT_TRUE(readFile(restored()) == data) << c.format;
  }
  // An empty or missing archive is refused alike in both formats.
  writeFile(archive(), "");
  for (int format : {CONTAINER_FORMAT_1, CONTAINER_FORMAT_2}) {
    DeleteFileA(container().c_str());
    EXPECT_EQ(encryptArchiveAs(archive().c_str(), container().c_str(), kPassword, format), 97) << format;
    EXPECT_EQ(encryptArchiveAs((dir / "none").c_str(), container().c_str(), kPassword, format), 97) << format;
    EXPECT_FALSE(fileExists(container())) << format;
  }
  setFormat2WriterSettings(nullptr);
}

// The streams write and read a container where it lies inside a larger
// file, as in a result: the first format's body and the second format's
// whole container are the bytes of the file forms, and the archive comes back
// in pieces of any size.
TEST_F(Container, StreamsWriteAndReadAContainerInsideALargerFile) {
  const Format2WriterSettings fixedSalt = {FORMAT2_ITERATIONS_MIN, [](unsigned char* salt, size_t size) {
                                             memset(salt, 7, size);
                                             return true;
                                           }};
  setFormat2WriterSettings(&fixedSalt);
  const std::string prefix = patternBytes(333, 1), whole = dir / "whole.bin";
  for (int format : {CONTAINER_FORMAT_1, CONTAINER_FORMAT_2}) {
    for (size_t n : {size_t{1}, size_t{65536}, size_t{65537}, size_t{200000}}) {
      SCOPED_TRACE(testing::Message() << "format " << format << ", " << n << " bytes");
      const std::string data = patternBytes(n, static_cast<unsigned>(n));
      writeFile(archive(), data);
      ASSERT_EQ(encryptArchiveAs(archive().c_str(), container().c_str(), kPassword, format), 0);
      const std::string expected = readFile(container());
      writeFile(whole, prefix);
      HANDLE file = CreateFileA(whole.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      SetFilePointer(file, 0, nullptr, FILE_END);
      uint64_t length = 0;
      std::string back;
      {
        ContainerWriter writer;
        ASSERT_EQ(writer.prepare(format, kPassword, jobProgress), 0);
        ASSERT_EQ(writer.start(file), 0);
        for (size_t at = 0; at < n; at += 7777) ASSERT_TRUE(writer.put(&data[at], n - at < 7777 ? n - at : 7777));
        ASSERT_EQ(writer.finish(&length), 0);
        ContainerReader reader;
        ASSERT_EQ(reader.open(file, prefix.size(), length, kPassword, jobProgress), 0);
        char piece[1000];
        size_t got = 0;
        while (reader.read(piece, sizeof piece, &got) && got > 0) back.append(piece, got);
        EXPECT_EQ(reader.result(), 0);
      }
      CloseHandle(file);
      const std::string written = readFile(whole);
      const size_t random = format == CONTAINER_FORMAT_1 ? 1024 : 0;  // the first format's header filler
      EXPECT_EQ(length, expected.size());
      EXPECT_TRUE(written.substr(0, prefix.size()) == prefix);
      EXPECT_TRUE(written.substr(prefix.size() + random) == expected.substr(random));
      EXPECT_TRUE(back == data);
    }
  }
  setFormat2WriterSettings(nullptr);
}

TEST(RandomFill, TwoBlocksFromTheStrongSourceDiffer) {
  unsigned char a[1024], b[1024];
  ASSERT_TRUE(fillRandom(a));
  ASSERT_TRUE(fillRandom(b));
  EXPECT_NE(0, memcmp(a, b, sizeof a));
}

}  // namespace
