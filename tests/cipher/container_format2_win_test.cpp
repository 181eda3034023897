// Containers of the second format on files: known answers, round trips at
// every chunk boundary, each kind of damage, stop, full disk, files held open
// by the caller, a path outside the code page.
#include "manager/cipher/container_format2_win.h"

#include <gtest/gtest.h>
#include <windows.h>


#include "cipher/cipher_test_util.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/primitives.h"
#include "manager/startup/job_state.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const char* const kPassword = "パスワード表";
const size_t kSealed = 65536 + 16;

std::wstring wide(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, buffer, MAX_PATH);
  return std::wstring(buffer, n > 0 ? n - 1 : 0);
}
std::string pattern(size_t size) {  // the known answers' archive: byte i is i mod 251
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>(i % 251);
  return out;
}
long long containerSizeOf(long long n) { return 84 + n + 16 * (n / 65536 + 1); }
bool knownSalt(unsigned char* salt, size_t size) {
  for (size_t i = 0; i < size; ++i) salt[i] = static_cast<unsigned char>(0xA0 + i);
  return true;
}
bool failingGenerator(unsigned char*, size_t) { return false; }

class Format2Files : public ::testing::Test {
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
  int encrypt(const std::string& data, const char* password = kPassword) {
    writeFile(archive, data);
    return encryptArchiveFormat2(wide(archive).c_str(), wide(container).c_str(), password, jobProgress);
  }
  int decrypt(const std::string& bytes, const char* password = kPassword) {
    writeFile(container, bytes);
    return decryptArchiveFormat2(wide(container).c_str(), wide(restored).c_str(), password, jobProgress);
  }
  TempDir dir;
  const std::string archive = dir / "表.arv", container = dir / "表.enc", restored = dir / "ソ.arv";
};

TEST_F(Format2Files, ContainersAreTheBytesTheIndependentToolWrites) {
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
    ASSERT_EQ(encrypt(pattern(c.n)), 0);
    std::string bytes = readFile(container);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data());
    unsigned char digest[32];
    ASSERT_TRUE(cryptoSha256(b, bytes.size(), digest));
    EXPECT_EQ(hexOf(b + 52, 32), c.macHex) << c.n;  // the other header bytes are in the sum
    EXPECT_EQ(hexOf(digest, 32), c.sha256) << c.n;
    ASSERT_EQ(decrypt(bytes), 0);
    EXPECT_TRUE(readFile(restored) == pattern(c.n)) << c.n;
  }
}

TEST_F(Format2Files, RoundTripsAtEveryChunkBoundaryWithProgress) {
  for (size_t n : {0, 1, 65535, 65536, 65537, 200000}) {
    std::string data = patternBytes(n, static_cast<unsigned>(n));
    ASSERT_EQ(encrypt(data), 0);
    EXPECT_EQ(fileSizeOf(container), containerSizeOf(n)) << n;
    EXPECT_EQ(A(jobState.statusText), "書庫を暗号化中です");
    EXPECT_EQ(progressLoad(&jobState.progressDone), progressLoad(&jobState.progressTotal));
    EXPECT_EQ(progressLoad(&jobState.progressTotal), static_cast<int64_t>(n));
    ASSERT_EQ(decryptArchiveFormat2(wide(container).c_str(), wide(restored).c_str(), kPassword, jobProgress), 0);
    EXPECT_TRUE(readFile(restored) == data) << n;
    EXPECT_EQ(A(jobState.statusText), "書庫を復号中です");
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(n));
  }
  setFormat2WriterSettings(nullptr);  // the real count and generator: a new salt each time
  ASSERT_EQ(encrypt("abc"), 0);
  std::string first = readFile(container);
  ASSERT_EQ(encrypt("abc"), 0);
  EXPECT_EQ(hexOf(reinterpret_cast<const unsigned char*>(first.data()) + 20, 4), "c0270900");  // 600,000
  EXPECT_NE(first.substr(24, 16), readFile(container).substr(24, 16));
}

TEST_F(Format2Files, WrongPasswordGives80AndLeavesTheArchiveFileAlone) {
  ASSERT_EQ(encrypt(patternBytes(70000, 2)), 0);
  std::string bytes = readFile(container);
  EXPECT_EQ(decrypt(bytes, "パスワード"), 80);
  EXPECT_FALSE(fileExists(restored));
  writeFile(restored, "previous");
  EXPECT_EQ(decrypt(bytes, "パスワード表 "), 80);
  EXPECT_EQ(readFile(restored), "previous");
}

TEST_F(Format2Files, EachKindOfDamageHasItsCodeAndRestoresNothing) {
  ASSERT_EQ(encrypt(patternBytes(200000, 3)), 0);  // three full chunks and 3,392 bytes
  const std::string good = readFile(container);
  const size_t last = 84 + 3 * kSealed;
  auto flip = [&](size_t at, int bits) { return good.substr(0, at) + char(good[at] ^ bits) + good.substr(at + 1); };
  auto chunk = [&](int i) { return good.substr(84 + i * kSealed, kSealed); };
  const struct {
    const char* what;
    std::string bytes;
    int expected;
  } cases[] = {
      {"magic", flip(3, 1), 81},  // header fields that fail before the MAC can be checked
      {"derivation", flip(16, 2), 81},
      {"iterations below 100,000", flip(21, 0x80), 81},
      {"iterations 17,400,000", good.substr(0, 20) + std::string("\xC0\x80\x09\x01", 4) + good.substr(24), 81},
      {"chunk size", flip(42, 1), 81},
      {"header cut short", good.substr(0, 83), 81},
      {"iterations still in range", flip(20, 1), 80},  // under the MAC: as a wrong password
      {"salt", flip(30, 0x10), 80},
      {"archive size", flip(44, 1), 80},
      {"MAC", flip(83, 0x40), 80},
      {"a chunk's ciphertext", flip(84 + kSealed + 100, 0x20), 81},
      {"a chunk's tag", flip(84 + 65536 + 5, 1), 81},
      {"a chunk removed", good.substr(0, 84 + kSealed) + good.substr(84 + 2 * kSealed), 81},
      {"two chunks swapped", good.substr(0, 84 + kSealed) + chunk(2) + chunk(1) + good.substr(last), 81},
      {"the last chunk removed", good.substr(0, last), 81},
      {"the last byte cut off", good.substr(0, good.size() - 1), 81},
      {"a chunk appended", good + chunk(2), 81},
      {"one byte appended", good + '\0', 81},
  };
  for (const auto& c : cases) {
    DeleteFileA(restored.c_str());
    EXPECT_EQ(decrypt(c.bytes), c.expected) << c.what;
    EXPECT_LE(fileSizeOf(restored), 0) << c.what;  // not created, or cut back to nothing
  }
}

TEST_F(Format2Files, StopWhileDerivingOrMidStreamGives299AndLeavesNothing) {
  std::string data = patternBytes(8 << 20, 4);  // 128 chunks
  ASSERT_EQ(encrypt(data), 0);
  jobState.stopCode = STOP_REQUESTED;  // before the keys are derived: no chunk is touched
  EXPECT_EQ(decryptArchiveFormat2(wide(container).c_str(), wide(restored).c_str(), kPassword, jobProgress), 299);
  EXPECT_FALSE(fileExists(restored));
  EXPECT_EQ(progressLoad(&jobState.progressDone), 0);
  EXPECT_EQ(encryptArchiveFormat2(wide(archive).c_str(), wide(dir / "c2.enc").c_str(), kPassword, jobProgress), 299);
  EXPECT_EQ(progressLoad(&jobState.progressDone), 0);
  resetJobState();
  {
    StopWhen stop("書庫を復号中です");
    EXPECT_EQ(decryptArchiveFormat2(wide(container).c_str(), wide(restored).c_str(), kPassword, jobProgress), 299);
  }
  EXPECT_LT(progressLoad(&jobState.progressDone), static_cast<int64_t>(data.size()));
  resetJobState();  // no stop, no status line left from before
  {
    StopWhen stop("書庫を暗号化中です");
    EXPECT_EQ(encrypt(data), 299);
  }
  EXPECT_LT(progressLoad(&jobState.progressDone), static_cast<int64_t>(data.size()));
  EXPECT_EQ(fileSizeOf(container), 0);
  EXPECT_LE(fileSizeOf(restored), 0);  // not created: every chunk is checked first
}

TEST_F(Format2Files, AFullDiskGives207AndLeavesNothing) {
  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  const std::string full = disk.windowsPath() + "\\f";
  ASSERT_EQ(encrypt(patternBytes(200000, 5)), 0);
  EXPECT_EQ(encryptArchiveFormat2(wide(archive).c_str(), wide(full).c_str(), kPassword, jobProgress), 207);
  EXPECT_EQ(fileSizeOf(full), 0);
  EXPECT_EQ(decryptArchiveFormat2(wide(container).c_str(), wide(full).c_str(), kPassword, jobProgress), 207);
  EXPECT_EQ(fileSizeOf(full), 0);
  DeleteFileA(full.c_str());
}

TEST_F(Format2Files, UnusableArgumentsAndAFailingGenerator) {
  writeFile(archive, "abc");
  const std::string longest(1025, 'p'), tooLong(1026, 'p'), noFolder = dir / "none\\x";
  const struct {
    bool encrypting;
    std::string from, to;
    const char* password;
    int expected;
  } cases[] = {
      {true, archive, container, nullptr, 209},          {true, archive, container, tooLong.c_str(), 209},
      {true, dir / "none", container, kPassword, 97},    {true, dir.path(), container, kPassword, 97},
      {true, archive, noFolder, kPassword, 203},         {true, archive, container, longest.c_str(), 0},
      {false, container, restored, tooLong.c_str(), 209}, {false, dir / "none", restored, kPassword, 201},
      {false, container, noFolder, longest.c_str(), 203}, {false, container, restored, longest.c_str(), 0},
  };
  for (const auto& c : cases) {
    int result = c.encrypting ? encryptArchiveFormat2(wide(c.from).c_str(), wide(c.to).c_str(), c.password, jobProgress)
                              : decryptArchiveFormat2(wide(c.from).c_str(), wide(c.to).c_str(), c.password, jobProgress);
    EXPECT_EQ(result, c.expected) << c.from << " " << c.to;
    EXPECT_EQ(fileExists(c.to), c.expected == 0) << c.from << " " << c.to;
  }
  const std::string before = readFile(container);
  useSettings(FORMAT2_ITERATIONS_MIN, failingGenerator);
  EXPECT_EQ(encrypt("abc"), 211);
  EXPECT_EQ(readFile(container), before);  // not even truncated
}

TEST_F(Format2Files, FilesHeldOpenForDeletionOnCloseAndAPathOutsideTheCodePage) {
  const std::wstring ete = wide(dir.path()) + L"\\\u00e9t\u00e9.enc";  // no code page 932 form
  std::string data = patternBytes(100000, 6);
  writeFile(archive, data);
  writeFile(restored, std::string(300000, 'x'));  // longer than what comes: truncated
  HANDLE held[2];
  const std::wstring paths[2] = {ete, wide(restored)};
  for (int i = 0; i < 2; ++i) {
    held[i] = CreateFileW(paths[i].c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(held[i], INVALID_HANDLE_VALUE);
  }
  EXPECT_EQ(encryptArchiveFormat2(wide(archive).c_str(), ete.c_str(), kPassword, jobProgress), 0);
  EXPECT_TRUE(isFormat2Container(ete.c_str()));
  EXPECT_EQ(decryptArchiveFormat2(ete.c_str(), wide(restored).c_str(), kPassword, jobProgress), 0);
  std::string back(300000, '\0');
  DWORD got = 0;
  ReadFile(held[1], &back[0], static_cast<DWORD>(back.size()), &got, nullptr);  // the holder reads it
  EXPECT_TRUE(back.substr(0, got) == data);
  for (HANDLE h : held) CloseHandle(h);
  EXPECT_EQ(GetFileAttributesW(ete.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(fileExists(restored));
}

TEST_F(Format2Files, OnlyTheMagicMakesAContainerOfTheSecondFormat) {
  const struct {
    std::string bytes;
    bool expected;
  } cases[] = {{"KYVOMAR CRYPT 2\n", true}, {"KYVOMAR CRYPT 2\nmore", true}, {patternBytes(1040, 9), false},
               {"KYVOMAR CRYPT 2", false},  {"KYVOMAR CRYPT 3\n", false},     {"", false}};
  for (const auto& c : cases) {
    writeFile(restored, c.bytes);
    EXPECT_EQ(isFormat2Container(wide(restored).c_str()), c.expected) << c.bytes.size();
  }
  EXPECT_FALSE(isFormat2Container(wide(dir / "none").c_str()));
}

}  // namespace
