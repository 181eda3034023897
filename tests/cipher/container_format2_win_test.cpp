// Containers of the second format on real files: known answers, round trips
// at every chunk boundary, every kind of damage, stop, full disk, files held
// open by the caller, and paths outside the code page.
#include "manager/cipher/container_format2_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <mbedtls/sha256.h>

#include <string>

#include "cipher/cipher_test_util.h"
#include "manager/cipher/container.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/random_fill.h"
#include "manager/startup/job_state.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const char* const kPassword = "パスワード表";
const uint32_t kSealedChunk = FORMAT2_CHUNK_SIZE + FORMAT2_TAG_SIZE;

std::wstring wide(const std::string& path) {
  std::wstring out(path.size() + 1, L'\0');
  int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &out[0], static_cast<int>(out.size()));
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

bool writeWide(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
  CloseHandle(file);
  return ok;
}

std::string readWide(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(file);
  return out;
}

// -1 when the file is missing.
long long sizeWide(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The archive contents of the known answers: byte i is i mod 251.
std::string pattern(size_t size) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
  return out;
}

std::string sha256Hex(const std::string& data) {
  unsigned char digest[32];
  mbedtls_sha256_ret(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, 0);
  return hexOf(digest, sizeof digest);
}

uint64_t containerSizeOf(uint64_t n) { return 84 + n + 16 * (n / 65536 + 1); }

bool knownSalt(unsigned char* salt, size_t size) {
  for (size_t i = 0; i < size; ++i) salt[i] = static_cast<unsigned char>(0xA0 + i);
  return true;
}

bool failingGenerator(unsigned char*, size_t) { return false; }

class Format2Files : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    // The readers' minimum: each derivation takes a sixth of the real one.
    Format2WriterSettings quick = {FORMAT2_ITERATIONS_MIN, nullptr};
    setFormat2WriterSettings(&quick);
  }
  void TearDown() override { setFormat2WriterSettings(nullptr); }

  std::wstring archive() const { return wide(dir / "表.arv"); }
  std::wstring container() const { return wide(dir / "表.enc"); }
  std::wstring restored() const { return wide(dir / "ソ.arv"); }

  int encrypt(const std::string& data, const char* password = kPassword) {
    writeWide(archive(), data);
    return encryptArchiveFormat2(archive().c_str(), container().c_str(), password);
  }
  int decrypt(const std::string& containerBytes, const char* password = kPassword) {
    writeWide(container(), containerBytes);
    return decryptArchiveFormat2(container().c_str(), restored().c_str(), password);
  }

  TempDir dir;
};

TEST_F(Format2Files, ContainersAreTheBytesTheIndependentWriterMakes) {
  // From make_format2_vectors.py: salt A0..AF, 100,000 iterations.
  struct Case {
    size_t n;
    const char* sha256;
    const char* header;
  };
  const Case cases[] = {
      {70000, "75684c9ea2ab2924b76de1673580c5d330ab36549adc371aca602c27301e4aa6",
       "4b59564f4d415220435259505420320a01000000a0860100a0a1a2a3a4a5a6a7a8a9aaabacadaeaf0000010070110100"
       "000000000a037e414f9859812cd482dfdb12dc55594fc691835a1662ac11653743ef78c9"},
      {0, "7e456ce5ea7b79d4e7281f3abbcf2760685c7cb780d23aef617032f98a8424fb",
       "4b59564f4d415220435259505420320a01000000a0860100a0a1a2a3a4a5a6a7a8a9aaabacadaeaf0000010000000000"
       "0000000011f2190063fd8d4583801d0fddfb6b1fa86c6685956de27fb452bb3247e5f7e4"},
      {65536, "1de704117386098bd524b0d778aabb4571654a784a813f095598c3dee2781c36",
       "4b59564f4d415220435259505420320a01000000a0860100a0a1a2a3a4a5a6a7a8a9aaabacadaeaf0000010000000100"
       "00000000462f05bb9f327c052101fbe17892274884c2b66230d7daf818865d2a62d27241"},
  };
  Format2WriterSettings fixed = {FORMAT2_ITERATIONS_MIN, knownSalt};
  setFormat2WriterSettings(&fixed);
  for (const Case& c : cases) {
    ASSERT_EQ(encrypt(pattern(c.n)), 0) << c.n;
    std::string bytes = readWide(container());
    EXPECT_EQ(bytes.size(), containerSizeOf(c.n)) << c.n;
    EXPECT_EQ(hexOf(reinterpret_cast<const unsigned char*>(bytes.data()), 84), c.header) << c.n;
    EXPECT_EQ(sha256Hex(bytes), c.sha256) << c.n;
    ASSERT_EQ(decrypt(bytes), 0) << c.n;
    EXPECT_EQ(readWide(restored()), pattern(c.n)) << c.n;
  }
}

TEST_F(Format2Files, RoundTripsAtEveryChunkBoundaryWithProgress) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{200000}}) {
    std::string data = patternBytes(n, static_cast<unsigned>(n));
    ASSERT_EQ(encrypt(data), 0) << n;
    EXPECT_EQ(sizeWide(container()), static_cast<long long>(containerSizeOf(n))) << n;
    EXPECT_STREQ(jobState.statusText, "書庫を暗号化中です");
    EXPECT_EQ(progressLoad(&jobState.progressTotal), static_cast<int64_t>(n));
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(n));
    EXPECT_TRUE(isFormat2Container(container().c_str()));

    ASSERT_EQ(decryptArchiveFormat2(container().c_str(), restored().c_str(), kPassword), 0) << n;
    EXPECT_EQ(readWide(restored()), data) << n;
    EXPECT_STREQ(jobState.statusText, "書庫を復号中です");
    EXPECT_EQ(progressLoad(&jobState.progressTotal), static_cast<int64_t>(n));
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(n));
  }
}

TEST_F(Format2Files, EachContainerHasItsOwnSaltAndTheWrittenCountIs600000) {
  setFormat2WriterSettings(nullptr);
  std::string data = patternBytes(1000, 1);
  ASSERT_EQ(encrypt(data), 0);
  std::string first = readWide(container());
  ASSERT_EQ(encrypt(data), 0);
  std::string second = readWide(container());
  Format2Header a, b;
  ASSERT_EQ(parseFormat2Header(reinterpret_cast<const unsigned char*>(first.data()), first.size(), &a), 0);
  ASSERT_EQ(parseFormat2Header(reinterpret_cast<const unsigned char*>(second.data()), second.size(), &b), 0);
  EXPECT_EQ(a.iterations, 600000u);
  EXPECT_NE(0, memcmp(a.salt, b.salt, sizeof a.salt));
  EXPECT_NE(first.substr(84), second.substr(84));  // other salt, other keys
  ASSERT_EQ(decrypt(second), 0);
  EXPECT_EQ(readWide(restored()), data);
}

TEST_F(Format2Files, WrongPasswordGives80AndLeavesTheArchiveFileAlone) {
  ASSERT_EQ(encrypt(patternBytes(70000, 2)), 0);
  std::string bytes = readWide(container());
  EXPECT_EQ(decrypt(bytes, "パスワード"), 80);
  EXPECT_EQ(decrypt(bytes, "パスワード表 "), 80);
  EXPECT_EQ(sizeWide(restored()), -1);  // not even created
  writeWide(restored(), "previous");
  EXPECT_EQ(decrypt(bytes, "wrong"), 80);
  EXPECT_EQ(readWide(restored()), "previous");
  EXPECT_EQ(progressLoad(&jobState.progressDone), 0);
}

TEST_F(Format2Files, EveryKindOfDamageHasItsCodeAndRestoresNothing) {
  // 200,000 bytes: three full chunks and a last one of 3,392 bytes. The
  // writer's count is 100,000 = A0 86 01 00.
  ASSERT_EQ(encrypt(patternBytes(200000, 3)), 0);
  const std::string good = readWide(container());
  ASSERT_EQ(good.size(), containerSizeOf(200000));
  const size_t body = 84, lastChunk = body + 3 * kSealedChunk;
  auto flip = [&](size_t at, int bits) {
    std::string s = good;
    s[at] = static_cast<char>(s[at] ^ bits);
    return s;
  };
  auto chunk = [&](int index) { return good.substr(body + index * kSealedChunk, kSealedChunk); };
  struct Case {
    const char* what;
    std::string bytes;
    int expected;
  };
  const Case cases[] = {
      // Header fields checked before the MAC can be: damage.
      {"magic", flip(3, 0x01), 81},
      {"magic's line feed", flip(15, 0x07), 81},
      {"derivation", flip(16, 0x02), 81},
      {"iterations below the minimum", flip(21, 0x80), 81},
      {"chunk size", flip(42, 0x01), 81},
      {"header cut short", good.substr(0, 83), 81},
      {"empty file", "", 81},
      // Everything the MAC covers, and the MAC: as a wrong password.
      {"iterations still in range", flip(20, 0x01), 80},
      {"salt", flip(30, 0x10), 80},
      {"archive size, low byte", flip(44, 0x01), 80},
      {"archive size, high byte", flip(51, 0x80), 80},
      {"MAC, first byte", flip(52, 0x01), 80},
      {"MAC, last byte", flip(83, 0x40), 80},
      // The body.
      {"first chunk's ciphertext", flip(body + 10, 0x01), 81},
      {"second chunk's ciphertext", flip(body + kSealedChunk + 65535, 0x20), 81},
      {"first chunk's tag", flip(body + 65536 + 5, 0x01), 81},
      {"last chunk's tag", flip(good.size() - 1, 0x01), 81},
      {"second chunk removed", good.substr(0, body + kSealedChunk) + good.substr(body + 2 * kSealedChunk), 81},
      {"last chunk removed", good.substr(0, lastChunk), 81},
      {"last byte cut off", good.substr(0, good.size() - 1), 81},
      {"header alone", good.substr(0, body), 81},
      {"second and third chunks swapped",
       good.substr(0, body + kSealedChunk) + chunk(2) + chunk(1) + good.substr(lastChunk), 81},
      {"a full chunk appended", good + chunk(2), 81},
      {"the last chunk again", good + good.substr(lastChunk), 81},
      {"one byte appended", good + std::string(1, '\0'), 81},
  };
  for (const Case& c : cases) {
    DeleteFileW(restored().c_str());
    EXPECT_EQ(decrypt(c.bytes), c.expected) << c.what;
    // Nothing restored: no archive file, or one cut back to nothing.
    EXPECT_LE(sizeWide(restored()), 0) << c.what;
  }
  ASSERT_EQ(decrypt(good), 0);  // the table did not change the good one
  EXPECT_EQ(sizeWide(restored()), 200000);
}

TEST_F(Format2Files, AStopMidStreamGives299AndLeavesNothingBehind) {
  const size_t n = 8u << 20;  // 128 chunks
  std::string data = patternBytes(n, 4);
  writeWide(archive(), data);
  {
    StopWhen stop("書庫を暗号化中です");
    EXPECT_EQ(encryptArchiveFormat2(archive().c_str(), container().c_str(), kPassword), 299);
    EXPECT_TRUE(stop.fired());
  }
  EXPECT_LT(progressLoad(&jobState.progressDone), static_cast<int64_t>(n));
  EXPECT_EQ(sizeWide(container()), 0);

  jobState.stopCode = 0;
  ASSERT_EQ(encryptArchiveFormat2(archive().c_str(), container().c_str(), kPassword), 0);
  {
    StopWhen stop("書庫を復号中です");
    EXPECT_EQ(decryptArchiveFormat2(container().c_str(), restored().c_str(), kPassword), 299);
    EXPECT_TRUE(stop.fired());
  }
  EXPECT_LT(progressLoad(&jobState.progressDone), static_cast<int64_t>(n));
  EXPECT_EQ(sizeWide(restored()), 0);
}

TEST_F(Format2Files, AStopSeenAfterTheLastChunkStillCounts) {
  ASSERT_EQ(encrypt("abc"), 0);
  jobState.stopCode = STOP_REQUESTED;
  EXPECT_EQ(encrypt("abc"), 299);
  EXPECT_EQ(sizeWide(container()), 0);
  jobState.stopCode = 0;
  ASSERT_EQ(encrypt("abc"), 0);
  jobState.stopCode = STOP_REQUESTED;
  EXPECT_EQ(decryptArchiveFormat2(container().c_str(), restored().c_str(), kPassword), 299);
  EXPECT_EQ(sizeWide(restored()), 0);
}

TEST_F(Format2Files, AFullDiskGives207AndLeavesNothingBehind) {
  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  std::wstring onDisk = wide(disk.windowsPath() + "\\c.enc");
  writeWide(archive(), patternBytes(200000, 5));
  EXPECT_EQ(encryptArchiveFormat2(archive().c_str(), onDisk.c_str(), kPassword), 207);
  EXPECT_EQ(sizeWide(onDisk), 0);
  DeleteFileW(onDisk.c_str());

  ASSERT_EQ(encryptArchiveFormat2(archive().c_str(), container().c_str(), kPassword), 0);
  std::wstring target = wide(disk.windowsPath() + "\\a.arv");
  EXPECT_EQ(decryptArchiveFormat2(container().c_str(), target.c_str(), kPassword), 207);
  EXPECT_EQ(sizeWide(target), 0);
  DeleteFileW(target.c_str());
}

TEST_F(Format2Files, ArgumentsThatCannotBeUsed) {
  writeWide(archive(), "abc");
  const std::string longest(1025, 'p'), tooLong(1026, 'p');
  std::wstring missingFolder = wide(dir / "no\\such\\x");
  struct Case {
    const char* what;
    std::wstring from, to;
    const char* password;
    int expected;
  };
  const Case encryptCases[] = {
      {"no password", archive(), container(), nullptr, 209},
      {"password of 1026 bytes", archive(), container(), tooLong.c_str(), 209},
      {"archive missing", wide(dir / "none.arv"), container(), kPassword, 97},
      {"archive is a folder", wide(dir.path()), container(), kPassword, 97},
      {"container's folder missing", archive(), missingFolder, kPassword, 203},
  };
  for (const Case& c : encryptCases) {
    EXPECT_EQ(encryptArchiveFormat2(c.from.c_str(), c.to.c_str(), c.password), c.expected) << c.what;
    EXPECT_EQ(sizeWide(container()), -1) << c.what;
  }
  // 1025 bytes are accepted.
  ASSERT_EQ(encryptArchiveFormat2(archive().c_str(), container().c_str(), longest.c_str()), 0);
  const Case decryptCases[] = {
      {"no password", container(), restored(), nullptr, 209},
      {"password of 1026 bytes", container(), restored(), tooLong.c_str(), 209},
      {"container missing", wide(dir / "none.enc"), restored(), longest.c_str(), 201},
      {"archive's folder missing", container(), missingFolder, longest.c_str(), 203},
  };
  for (const Case& c : decryptCases) {
    EXPECT_EQ(decryptArchiveFormat2(c.from.c_str(), c.to.c_str(), c.password), c.expected) << c.what;
    EXPECT_EQ(sizeWide(restored()), -1) << c.what;
  }
  ASSERT_EQ(decryptArchiveFormat2(container().c_str(), restored().c_str(), longest.c_str()), 0);
  EXPECT_EQ(readWide(restored()), "abc");
}

TEST_F(Format2Files, AFailingGeneratorGives211AndWritesNothing) {
  Format2WriterSettings broken = {FORMAT2_ITERATIONS_MIN, failingGenerator};
  setFormat2WriterSettings(&broken);
  writeWide(container(), "previous");
  EXPECT_EQ(encrypt("abc"), 211);
  EXPECT_EQ(readWide(container()), "previous");
}

TEST_F(Format2Files, FilesHeldOpenByTheCallerForDeletionOnClose) {
  // The way the jobs will hold their intermediate files: open with
  // deletion on close, shared for everything.
  auto hold = [](const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  };
  std::string data = patternBytes(100000, 6);
  writeWide(archive(), data);
  HANDLE heldContainer = hold(container());
  ASSERT_NE(heldContainer, INVALID_HANDLE_VALUE);
  writeWide(restored(), std::string(300000, 'x'));  // a longer file there: truncated
  HANDLE heldArchive = hold(restored());
  ASSERT_NE(heldArchive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(encryptArchiveFormat2(archive().c_str(), container().c_str(), kPassword), 0);
  EXPECT_TRUE(isFormat2Container(container().c_str()));
  EXPECT_EQ(decryptArchiveFormat2(container().c_str(), restored().c_str(), kPassword), 0);
  EXPECT_EQ(readWide(restored()), data);
  CloseHandle(heldArchive);
  CloseHandle(heldContainer);
  EXPECT_EQ(sizeWide(restored()), -1);
  EXPECT_EQ(sizeWide(container()), -1);
}

TEST_F(Format2Files, PathsOutsideTheCodePage) {
  // "été" has no code page 932 form: only the UTF-16 calls reach such files.
  std::wstring from = wide(dir.path()) + L"\\\u00e9t\u00e9.arv";
  std::wstring to = wide(dir.path()) + L"\\\u00e9t\u00e9.enc";
  std::wstring back = wide(dir.path()) + L"\\\u00e9t\u00e9.out";
  std::string data = patternBytes(70000, 7);
  ASSERT_TRUE(writeWide(from, data));
  EXPECT_EQ(encryptArchiveFormat2(from.c_str(), to.c_str(), kPassword), 0);
  EXPECT_TRUE(isFormat2Container(to.c_str()));
  EXPECT_EQ(decryptArchiveFormat2(to.c_str(), back.c_str(), kPassword), 0);
  EXPECT_EQ(readWide(back), data);
  for (const std::wstring& path : {from, to, back}) EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST_F(Format2Files, OnlyTheMagicMakesAContainerOfTheSecondFormat) {
  writeFile(dir / "one.arv", "abc");
  ASSERT_EQ(encryptArchive((dir / "one.arv").c_str(), (dir / "one.enc").c_str(), kPassword), 0);
  struct Case {
    const char* what;
    std::string bytes;
    bool expected;
  };
  const Case cases[] = {
      {"the magic alone", "KYVOMAR CRYPT 2\n", true},
      {"the magic and more", "KYVOMAR CRYPT 2\nanything", true},
      {"first format", readFile(dir / "one.enc"), false},
      {"the magic cut short", "KYVOMAR CRYPT 2", false},
      {"another version", "KYVOMAR CRYPT 3\n", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    writeWide(container(), c.bytes);
    EXPECT_EQ(isFormat2Container(container().c_str()), c.expected) << c.what;
  }
  EXPECT_FALSE(isFormat2Container(wide(dir / "none.enc").c_str()));
  EXPECT_FALSE(isFormat2Container(wide(dir.path()).c_str()));
}

TEST(StrongRandom, FillsTheBufferWithFreshBytes) {
  unsigned char a[16] = {}, b[16] = {}, zero[16] = {};
  ASSERT_TRUE(strongRandom(a, sizeof a));
  ASSERT_TRUE(strongRandom(b, sizeof b));
  EXPECT_NE(0, memcmp(a, b, sizeof a));
  EXPECT_NE(0, memcmp(a, zero, sizeof a));
}

}  // namespace
