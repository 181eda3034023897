// The containers as the jobs write and read them, through the streams: sizes
// and round trips of both formats at every boundary, the independent tool's
// known answers, the header check, each kind of damage, stop, a full disk, and
// a container inside a larger file.
#include "manager/cipher/container_stream.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "cipher/cipher_test_util.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/container_header.h"
#include "manager/cipher/random_fill.h"
#include "manager/base/job_state.h"
#include "support/job_files.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const char* const kPassword = "パスワード表";  // 表 ends in 0x5C
const char* const kStatLoc1018 = "kyvo697";    // SHA-256 low ten bits 1018
const char* const kStatLoc1017 = "kyvo716";
const size_t kSealed = 65536 + 16;

int statLocOfText(const char* password) {
  unsigned char d[SHA2SUM_SIZE];
  passwordDigest(password, d);
  return statLocOf(d);
}
std::string pattern(size_t size) {  // the known answers' archive: byte i is i mod 251
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
  return out;
}
long long sizeOf(int format, long long n) {
  return format == CONTAINER_FORMAT_2 ? 84 + n + 16 * (n / 65536 + 1) : 1024 + (n + 15) / 16 * 16;
}
bool knownSalt(unsigned char* salt, size_t size) {
  for (size_t i = 0; i < size; ++i) salt[i] = static_cast<unsigned char>(0xA0 + i);
  return true;
}

class ContainerStreams : public ::testing::Test {
 protected:
  // Iterations at the readers' minimum: a sixth of the real derivation.
  void SetUp() override {
    resetJobState();
    useSettings(FORMAT2_ITERATIONS_MIN, nullptr);
  }
  void TearDown() override { setFormat2WriterSettings(nullptr); }
  void useSettings(uint32_t iterations, bool (*salt)(unsigned char*, size_t)) {
    Format2WriterSettings settings = {iterations, salt};
    setFormat2WriterSettings(&settings);
  }
  // The container of data, as written.
  std::string seal(const std::string& data, int format, const char* password = kPassword) {
    EXPECT_EQ(writeContainerFile(file, data, password, format), 0);
    return readFile(file);
  }
  // Opens container bytes as a restore does: the reader's code; what it
  // gave out goes to back.
  int open(const std::string& bytes, const char* password = kPassword) {
    writeFile(file, bytes);
    return readContainerFile(file, password, &back);
  }
  TempDir dir;
  const std::string file = dir / "表.enc";
  std::string back;
};

TEST_F(ContainerStreams, BothFormatsRoundTripAtEveryBoundaryWithTheirSizes) {
  const struct {
    int format;
    size_t n;
  } cases[] = {{1, 1},     {1, 15},    {1, 16},    {1, 1023},  {1, 1024},      {1, 1025},  {1, 65536},
               {1, 65537}, {0, 40000}, {3, 40000}, {2, 0},     {2, 1},         {2, 65535}, {2, 65536},
               {2, 65537}, {2, 200000}, {1, (3 << 20) + 7}, {2, (3 << 20) + 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << ", " << c.n << " bytes");
    const int format = c.format == CONTAINER_FORMAT_2 ? CONTAINER_FORMAT_2 : CONTAINER_FORMAT_1;
    const std::string data = patternBytes(c.n, static_cast<unsigned>(c.n));
    resetJobState();
    const std::string bytes = seal(data, c.format);
    EXPECT_EQ(static_cast<long long>(bytes.size()), sizeOf(format, c.n));
    EXPECT_EQ(hasFormat2Magic(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
              format == CONTAINER_FORMAT_2);
    EXPECT_EQ(A(jobState.statusText), "書庫を暗号化中です");
    if (format == CONTAINER_FORMAT_1) {  // the body, byte for byte, under its own chain
      EXPECT_TRUE(bytes.substr(1024) == referenceEncrypt(data, kPassword));
    }
    ASSERT_EQ(open(bytes), 0);
    EXPECT_TRUE(back == data);  // exactly n bytes, no pad
    if (format == CONTAINER_FORMAT_2) {  // every chunk checked before the first byte is given out
      EXPECT_EQ(A(jobState.statusText), "書庫を復号中です");
      EXPECT_EQ(progressLoad(&jobState.progressTotal), static_cast<int64_t>(c.n));
      EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(c.n));
    }
  }
}

TEST_F(ContainerStreams, FirstFormatHeaderCarriesTheSizeWithItsCheckBytesAnywhere) {
  const std::string data = patternBytes(3000, 1);
  const std::string a = seal(data, CONTAINER_FORMAT_1), b = seal(data, CONTAINER_FORMAT_1);
  EXPECT_NE(a.substr(0, 1024), b.substr(0, 1024));  // the filler
  EXPECT_TRUE(a.substr(1024) == b.substr(1024));
  const struct {
    const char* password;
    int StatLoc;
  } cases[] = {{kPassword, statLocOfText(kPassword)}, {kStatLoc1018, 1018}, {kStatLoc1017, 1017}};
  for (const auto& c : cases) {
    ASSERT_EQ(statLocOfText(c.password), c.StatLoc);
    std::string header = referenceDecrypt(seal("abcdefgh", CONTAINER_FORMAT_1, c.password).substr(0, 1024), c.password);
    const unsigned char* h = reinterpret_cast<const unsigned char*>(header.data());
    HeaderSizeRecord record;
    ASSERT_TRUE(openHeaderBlock(h, c.StatLoc, &record)) << c.StatLoc;
    EXPECT_EQ(record.Soulen, 8u);
    EXPECT_EQ(record.highBits, 0u);
    if (c.StatLoc == 1018) {  // the check bytes end the block
      HeaderCheck check = headerCheckBytes(h, 1018);
      EXPECT_EQ(h[1022], check.checkEven);
      EXPECT_EQ(h[1023], check.checkOdd);
    }
    if (c.StatLoc == 1017) {
      EXPECT_EQ(h[1023], 0);  // bits 48..55 of the size
    }
    ASSERT_EQ(open(readFile(file), c.password), 0) << c.StatLoc;
    EXPECT_EQ(back, "abcdefgh");
  }
}

TEST_F(ContainerStreams, SecondFormatIsTheBytesTheIndependentToolWrites) {
  useSettings(FORMAT2_ITERATIONS_MIN, knownSalt);  // make_format2_vectors.py: salt A0..AF
  const struct {
    size_t n;
    const char *sha256, *macHex;  // of the whole container, of its header
  } cases[] = {
      {70000, "75684c9ea2ab2924b76de1673580c5d330ab36549adc371aca602c27301e4aa6",
       "0a037e414f9859812cd482dfdb12dc55594fc691835a1662ac11653743ef78c9"},
      {0, "7e456ce5ea7b79d4e7281f3abbcf2760685c7cb780d23aef617032f98a8424fb",
       "11f2190063fd8d4583801d0fddfb6b1fa86c6685956de27fb452bb3247e5f7e4"},
      {65536, "1de704117386098bd524b0d778aabb4571654a784a813f095598c3dee2781c36",
       "462f05bb9f327c052101fbe17892274884c2b66230d7daf818865d2a62d27241"},
  };
  for (const auto& c : cases) {
    std::string bytes = seal(pattern(c.n), CONTAINER_FORMAT_2);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
    unsigned char digest[32];
    ASSERT_TRUE(cryptoSha256(b, bytes.size(), digest));
    EXPECT_EQ(hexOf(b + 52, 32), c.macHex) << c.n;  // the other header bytes are in the sum
    EXPECT_EQ(hexOf(digest, 32), c.sha256) << c.n;
    ASSERT_EQ(open(bytes), 0);
    EXPECT_TRUE(back == pattern(c.n)) << c.n;
  }
  setFormat2WriterSettings(nullptr);  // the real count and generator: a new salt each time
  const std::string first = seal("abc", CONTAINER_FORMAT_2), second = seal("abc", CONTAINER_FORMAT_2);
  EXPECT_EQ(hexOf(reinterpret_cast<const unsigned char*>(first.data()) + 20, 4), "c0270900");  // 600,000
  EXPECT_NE(first.substr(24, 16), second.substr(24, 16));
}

TEST_F(ContainerStreams, WrongPasswordsAndEachKindOfDamageHaveTheirCodesAndGiveNothingOut) {
  const std::string one = seal(patternBytes(1025, 6), CONTAINER_FORMAT_1);  // a body of 1040 bytes
  const std::string two = seal(patternBytes(200000, 3), CONTAINER_FORMAT_2);  // three full chunks and 3,392 bytes
  const size_t last = 84 + 3 * kSealed;
  auto flip = [&](size_t at, int bits) { return two.substr(0, at) + char(two[at] ^ bits) + two.substr(at + 1); };
  auto chunk = [&](int i) { return two.substr(84 + i * kSealed, kSealed); };
  // Checked in two halves at once, the second on a thread of its own.
  const std::string many = seal(patternBytes(40 * 65536 - 7, 5), CONTAINER_FORMAT_2);
  auto flipMany = [&](size_t at) { return many.substr(0, at) + char(many[at] ^ 4) + many.substr(at + 1); };
  auto manyChunk = [&](int i) { return many.substr(84 + i * kSealed, kSealed); };
  const struct {
    const char* what;
    std::string bytes;
    const char* password;
    int expected;
  } cases[] = {
      {"1: another password", one, "パスワード", 80},
      {"1: the password with a blank", one, "パスワード表 ", 80},
      {"1: empty", "", kPassword, 96},
      {"1: one byte", patternBytes(1, 4), kPassword, 80},
      {"1: 1023 bytes", patternBytes(1023, 4), kPassword, 80},
      {"1: cut inside the header", one.substr(0, 1023), kPassword, 80},
      {"1: header only", one.substr(0, 1024), kPassword, 81},
      {"1: cut after the first chunk", one.substr(0, 2048), kPassword, 81},
      {"1: last byte cut off", one.substr(0, one.size() - 1), kPassword, 81},
      {"1: a block appended", one + std::string(16, '\0'), kPassword, 81},
      {"2: another password", two, "パスワード", 80},
      {"2: magic", flip(3, 1), kPassword, 80},  // read as the first format, whose header check fails
      {"2: derivation", flip(16, 2), kPassword, 81},  // header fields that fail before the MAC can be checked
      {"2: iterations below 100,000", flip(21, 0x80), kPassword, 81},
      {"2: iterations 17,400,000", two.substr(0, 20) + std::string("\xC0\x80\x09\x01", 4) + two.substr(24), kPassword,
       81},
      {"2: chunk size", flip(42, 1), kPassword, 81},
      {"2: header cut short", two.substr(0, 83), kPassword, 81},
      {"2: iterations still in range", flip(20, 1), kPassword, 80},  // under the MAC: as a wrong password
      {"2: salt", flip(30, 0x10), kPassword, 80},
      {"2: archive size", flip(44, 1), kPassword, 80},
      {"2: MAC", flip(83, 0x40), kPassword, 80},
      {"2: a chunk's ciphertext", flip(84 + kSealed + 100, 0x20), kPassword, 81},
      {"2: a chunk's tag", flip(84 + 65536 + 5, 1), kPassword, 81},
      {"2: a chunk removed", two.substr(0, 84 + kSealed) + two.substr(84 + 2 * kSealed), kPassword, 81},
      {"2: two chunks swapped", two.substr(0, 84 + kSealed) + chunk(2) + chunk(1) + two.substr(last), kPassword, 81},
      {"2: the last chunk removed", two.substr(0, last), kPassword, 81},
      {"2: the last byte cut off", two.substr(0, two.size() - 1), kPassword, 81},
      {"2: a chunk appended", two + chunk(2), kPassword, 81},
      {"2: one byte appended", two + '\0', kPassword, 81},
      {"2 of 40 chunks: a tag in the second half", flipMany(84 + 35 * kSealed + 65536 + 2), kPassword, 81},
      {"2 of 40 chunks: the last chunk's ciphertext", flipMany(many.size() - 20), kPassword, 81},
      {"2 of 40 chunks: a chunk of each half swapped",
       many.substr(0, 84 + 3 * kSealed) + manyChunk(30) + many.substr(84 + 4 * kSealed, 26 * kSealed) + manyChunk(3) +
           many.substr(84 + 31 * kSealed),
       kPassword, 81},
  };
  for (const auto& c : cases) {
    back = "stale";
    EXPECT_EQ(open(c.bytes, c.password), c.expected) << c.what;
    EXPECT_TRUE(back.empty()) << c.what;
  }
  // A changed byte of the first format's header: its check bytes match by
  // chance once in 65536 tries, a case told apart with an independent look.
  const int StatLoc = statLocOfText(kPassword);
  for (size_t at : {size_t{0}, size_t{17}, size_t{512}, static_cast<size_t>(StatLoc), size_t{1023}}) {
    std::string damaged = one;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
    std::string header = referenceDecrypt(damaged.substr(0, 1024), kPassword);
    HeaderSizeRecord record;
    if (openHeaderBlock(reinterpret_cast<const unsigned char*>(header.data()), StatLoc, &record))
      EXPECT_NE(open(damaged), 80) << at;
    else
      EXPECT_EQ(open(damaged), 80) << at;
  }
}

TEST_F(ContainerStreams, StopWhileTheKeysAreDerivedOrTheChunksCheckedGives299) {
  const std::string bytes = seal(patternBytes(8 << 20, 4), CONTAINER_FORMAT_2);  // 128 chunks
  jobState.stopCode = STOP_REQUESTED;  // before the keys are derived: no chunk is touched
  EXPECT_EQ(open(bytes), 299);
  EXPECT_EQ(progressLoad(&jobState.progressDone), 0);
  ContainerWriter writer;
  EXPECT_EQ(writer.prepare(CONTAINER_FORMAT_2, kPassword, jobProgress), 299);
  resetJobState();  // Cancel once the first chunk is checked
  Progress cancelled = jobProgress;
  cancelled.stopRequested = [] { return progressLoad(&jobState.progressDone) > 0; };
  back = "stale";
  EXPECT_EQ(readContainerFile(file, kPassword, &back, cancelled), 299);
  // The first chunk, and what the second half's thread had checked by then.
  EXPECT_GE(progressLoad(&jobState.progressDone), 65536);
  EXPECT_LT(progressLoad(&jobState.progressDone), 8 << 20);
  EXPECT_TRUE(back.empty());
}

TEST_F(ContainerStreams, UnusablePasswordsAFailingGeneratorAndAFullDisk) {
  const std::string longest(1025, 'p'), tooLong(1026, 'p');
  for (int format : {CONTAINER_FORMAT_1, CONTAINER_FORMAT_2}) {
    SCOPED_TRACE(format);
    ContainerWriter none, overlong;
    EXPECT_EQ(none.prepare(format, nullptr, jobProgress), 209);
    EXPECT_EQ(overlong.prepare(format, tooLong.c_str(), jobProgress), 209);
    const std::string bytes = seal("abc", format, longest.c_str());
    EXPECT_EQ(open(bytes, tooLong.c_str()), 209);
    EXPECT_EQ(open(bytes, nullptr), 209);
    EXPECT_EQ(open(bytes, longest.c_str()), 0);
  }
  useSettings(FORMAT2_ITERATIONS_MIN, [](unsigned char*, size_t) { return false; });
  ContainerWriter noSalt;
  EXPECT_EQ(noSalt.prepare(CONTAINER_FORMAT_2, kPassword, jobProgress), 211);

  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  const std::string full = disk.windowsPath() + "\\f";
  useSettings(FORMAT2_ITERATIONS_MIN, nullptr);
  for (int format : {CONTAINER_FORMAT_1, CONTAINER_FORMAT_2})
    EXPECT_EQ(writeContainerFile(full, patternBytes(200000, 5), kPassword, format), 207) << format;
  DeleteFileA(full.c_str());
}

// A container where it lies inside a larger file, as in a result: the bytes
// of one that fills its file, and the archive back in pieces of any size.
TEST_F(ContainerStreams, AContainerInsideALargerFileIsWrittenAndReadInPlace) {
  useSettings(FORMAT2_ITERATIONS_MIN, knownSalt);
  const std::string prefix = patternBytes(333, 1), whole = dir / "whole.bin";
  for (int format : {CONTAINER_FORMAT_1, CONTAINER_FORMAT_2}) {
    for (size_t n : {size_t{1}, size_t{65536}, size_t{65537}, size_t{200000}}) {
      SCOPED_TRACE(testing::Message() << "format " << format << ", " << n << " bytes");
      const std::string data = patternBytes(n, static_cast<unsigned>(n)), expected = seal(data, format);
      writeFile(whole, prefix);
      HANDLE file = CreateFileA(whole.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      SetFilePointer(file, 0, nullptr, FILE_END);
      uint64_t length = 0;
      std::string pieces;
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
        while (reader.read(piece, sizeof piece, &got) && got > 0) pieces.append(piece, got);
        EXPECT_EQ(reader.result(), 0);
      }
      CloseHandle(file);
      const std::string written = readFile(whole);
      const size_t random = format == CONTAINER_FORMAT_1 ? 1024 : 0;  // the first format's header filler
      EXPECT_EQ(length, expected.size());
      EXPECT_TRUE(written.substr(0, prefix.size()) == prefix);
      EXPECT_TRUE(written.substr(prefix.size() + random) == expected.substr(random));
      EXPECT_TRUE(pieces == data);
    }
  }
}

TEST(RandomFill, TwoBlocksFromTheStrongSourceDiffer) {
  unsigned char a[1024], b[1024];
  ASSERT_TRUE(fillRandom(a));
  ASSERT_TRUE(fillRandom(b));
  EXPECT_NE(0, memcmp(a, b, sizeof a));
}

}  // namespace
