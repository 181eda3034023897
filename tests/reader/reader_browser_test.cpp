// The browser reader against results of the real Kyvomar.exe: this program
// makes the results (both container formats, driven through the program's
// dialogs), damages or rewrites copies of them, puts one into the data form,
// and hands the lot to the browser test (reader/test/browser_test.mjs), which
// opens every case in Debian's Chromium and compares what the page gives and
// saves with the source tree.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "e2e/program_driver.h"
#include "manager/archive/archive_format.h"
#include "support/container_policy.h"
#include "support/job_files.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const wchar_t kPassword[] = L"表ソ能pass";  // 表 and ソ end in the byte 0x5C in code page 932

std::string utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

std::string jsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A last-write time with a fraction of a second down to 100 ns, one per file.
void setWriteTime(const std::wstring& path, int i) {
  HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ULONGLONG t = 132000000000000000ULL + static_cast<ULONGLONG>(i) * 36000000000ULL + 1234567ULL * (i + 1);
  FILETIME ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
  SetFileTime(f, nullptr, nullptr, &ft);
  CloseHandle(f);
}

// The tree: Unicode entries beside Shift-JIS names, an empty folder, an empty
// file and files on either side of the 32 KiB block.
std::wstring makeTree(const std::wstring& root) {
  const std::wstring top = root + L"\\ツリー";
  const wchar_t emoji[] = {L'e', 0xD83D, 0xDE00, L'.', L't', L'x', L't', 0};
  const struct {
    std::wstring path;
    std::string data;
  } files[] = {
      {L"表.txt", "表計算の結果です。\r\n"},
      {L"空.txt", ""},
      {L"32768.bin", patternBytes(32768, 1)},
      {L"32769.bin", patternBytes(32769, 2)},
      {L"報告書\\ソース.doc", std::string(40000, 'a') + "end"},
      {L"議事録〜2024\\memo.txt", "minutes"},
      {L"café.txt", "with an accent"},
      {L"Ærø\\data.bin", patternBytes(70000, 3)},
      {L"한국어.txt", "Korean"},
      {emoji, "emoji"},
  };
  makeFolder(top + L"\\空のフォルダ");
  int i = 0;
  for (const auto& f : files) {
    const std::wstring path = top + L"\\" + f.path;
    makeFolder(path.substr(0, path.rfind(L'\\')));
    writeFile(path, f.data);
    setWriteTime(path, i++);
  }
  return top;
}

struct Trailer {
  std::string bytes;
  size_t start = 0, length = 0;  // the container
};
Trailer splitResult(const std::string& path) {
  Trailer t;
  t.bytes = readFile(path);
  uint64_t length = getLe64(reinterpret_cast<const unsigned char*>(t.bytes.data()) + t.bytes.size() - 12);
  t.length = static_cast<size_t>(length);
  t.start = t.bytes.size() - 12 - t.length;
  return t;
}

// A copy whose container lost its last bytes, its trailer saying so.
std::string cutBody(const std::string& result, size_t bytes) {
  Trailer t = splitResult(result);
  std::string out = t.bytes.substr(0, t.start + t.length - bytes);
  unsigned char trailer[12];
  putLe64(trailer, t.length - bytes);
  putLe32(trailer + 8, 0xFF00AA55u);
  return out + std::string(reinterpret_cast<char*>(trailer), sizeof trailer);
}

// The data form of a result: the 16-byte header (signature, form version,
// four zero bytes), then the container and the trailer as they are.
std::string dataForm(const std::string& result, uint32_t version = 1, const std::string& between = "") {
  Trailer t = splitResult(result);
  unsigned char header[16] = {0x89, 0x4B, 0x59, 0x56, 0x0D, 0x0A, 0x1A, 0x0A};
  putLe32(header + 8, version);
  return std::string(reinterpret_cast<char*>(header), sizeof header) + between + t.bytes.substr(t.start);
}

std::string flipAt(const std::string& result, double where) {
  Trailer t = splitResult(result);
  t.bytes[t.start + static_cast<size_t>(t.length * where)] ^= 0x20;
  return t.bytes;
}

class ReaderInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = work / "Kyvomar.exe";
    ASSERT_TRUE(CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE));
    makeFolder(work / "out");
    makeFolder(work / "downloads");
  }
  std::string encrypt(const std::wstring& source, const std::string& name, bool second) {
    EXPECT_TRUE(second ? policy.set(2) : policy.remove());
    const std::string target = work / "out\\" + name;
    ProgramRun run;
    EXPECT_TRUE(run.start(W(exe), L"xx /crpmode=0 \"" + source + L"\"", true));
    EXPECT_TRUE(enterPassword(run.pid(), A(kPassword), A(kPassword)));
    EXPECT_TRUE(enterFileName(run.pid(), "", 0));
    EXPECT_TRUE(saveAs(run.pid(), target));
    EXPECT_EQ(run.wait(300000), 0);
    return target;
  }
  // A copy of a result whose entry of the given name is renamed and moved
  // into the given folder path: a result that decrypts correctly and was
  // crafted.
  std::string hostile(const std::string& result, const char* entry, const char* name, const char* folder, int format) {
    return rewritten(result, entry, format, [&](unsigned char* h) {
      memset(h + 52, 0, ARCHIVE_NAME_SIZE + ARCHIVE_FOLDER_SIZE);
      memcpy(h + 52, name, strlen(name));
      memcpy(h + 52 + ARCHIVE_NAME_SIZE, folder, strlen(folder));
    });
  }
  // The decrypted archive of a result.
  std::string archiveOf(const std::string& result) {
    std::string bytes;
    EXPECT_EQ(archiveOfResult(result, A(kPassword).c_str(), &bytes), 0);
    return bytes;
  }
  // The offset of the header of the entry of the given name in an archive
  // (and the length of its data area), or npos.
  static size_t entryAt(const std::string& archive, const char* entry, uint64_t* stored = nullptr) {
    for (size_t at = 0; at + ARCHIVE_HEADER_SIZE <= archive.size();) {
      ArchiveEntryHeader header;
      decodeArchiveHeader(reinterpret_cast<const unsigned char*>(&archive[at]), &header);
      const uint64_t data = header.folderFlag == 1 ? 0 : header.storedLength;
      if (strcmp(header.name, entry) == 0) {
        if (stored) *stored = data;
        return at;
      }
      at += ARCHIVE_HEADER_SIZE + data;
    }
    return std::string::npos;
  }
  // A copy of a result in the first format with one byte of its ciphertext
  // changed: in the named entry's header, or in the middle of its data.
  std::string flipped(const std::string& result, const char* entry, bool inData) {
    uint64_t stored = 0;
    const size_t at = entryAt(archiveOf(result), entry, &stored);
    EXPECT_NE(at, std::string::npos) << entry;
    EXPECT_GT(stored, 256u) << entry;
    Trailer t = splitResult(result);
    t.bytes[t.start + 1024 + at + (inData ? ARCHIVE_HEADER_SIZE + stored / 2 : 100)] ^= 0x20;
    return t.bytes;
  }
  // A copy of a result whose entry of the given name is changed by patch,
  // its header resealed and the archive encrypted again.
  template <typename Patch>
  std::string rewritten(const std::string& result, const char* entry, int format, Patch patch) {
    TempDir scratch;
    std::string bytes = archiveOf(result);
    const size_t at = entryAt(bytes, entry);
    EXPECT_NE(at, std::string::npos) << entry;
    if (at == std::string::npos) return result;
    unsigned char* h = reinterpret_cast<unsigned char*>(&bytes[at]);
    patch(h);
    sealArchiveHeader(h);
    const std::string out = scratch / "h.exe";
    EXPECT_EQ(writeResultFile(out, exe, bytes, A(kPassword).c_str(), format), 0);
    return readFile(out);
  }
  TempDir work;
  std::string exe;
  ContainerPolicyValue policy;  // what was there comes back at the end
};

TEST_F(ReaderInBrowser, ResultsOfBothFormatsOpenToTheTreeAndEveryFaultGetsItsMessage) {
  const std::wstring tree = makeTree(work / L"src");
  const std::string f1 = encrypt(tree, "f1.crpt.exe", false);
  const std::string f2 = encrypt(tree, "f2.crpt.exe", true);
  ASSERT_TRUE(fileExists(f1) && fileExists(f2));
  const std::string wrong = utf8(L"表ソ能pasS");
  const std::string password = utf8(kPassword);
  struct Case {
    const char* name;
    std::string bytes;  // the file given to the page
    std::string password;
    const char* expect;  // "tree" or the failure's code
    const wchar_t* extra = L"";  // further fields of the case in the plan
    const char* extension = ".crpt.exe";
  };
  const std::string noWriteTime = rewritten(f1, "表.txt", 1, [](unsigned char* h) { memset(h + 44, 0, 8); });
  const std::string b1 = readFile(f1), b2 = readFile(f2);
  const Case cases[] = {
      {"format 1", b1, password, "tree", L", \"cancel\": true, \"controls\": true"},
      {"format 2", b2, password, "tree"},
      {"format 2 in the data form", dataForm(f2), password, "tree", L"", ".kyvo"},
      {"format 1, a file without a write time", noWriteTime, password, "tree",
       L", \"zeroTime\": \"ツリー/表.txt\""},
      {"the data form of another version", dataForm(f2, 2), password, "damaged", L"", ".kyvo"},
      {"the data form, a byte before the container", dataForm(f2, 1, "x"), password, "damaged", L"", ".kyvo"},
      {"format 1, wrong password", b1, wrong, "wrong-password"},
      {"format 2, wrong password", b2, wrong, "wrong-password"},
      {"no password", b1, "", "no-password"},
      {"password the program cannot take", b1, utf8(L"pass\u00e9"), "bad-password-character"},
      // Opening reads the headers alone: damage in a file's data is found
      // while that file is saved.
      {"format 1, a byte flipped in a header", flipped(f1, "data.bin", false), password, "damaged"},
      {"format 1, a byte flipped in a file's data", flipped(f1, "data.bin", true), password, "damaged-data",
       L", \"damagedFile\": \"ツリー/Ærø/data.bin\""},
      {"format 2, a file's data checksum differs", rewritten(f1, "32769.bin", 2, [](unsigned char* h) { h[2426] ^= 1; }),
       password, "damaged-data", L", \"damagedFile\": \"ツリー/32769.bin\""},
      {"format 2, a byte flipped in a chunk", flipAt(f2, 0.6), password, "damaged"},
      {"format 2, a byte flipped in the salt", flipAt(f2, 30.0 / splitResult(f2).length), password, "wrong-password"},
      {"format 1, body cut by two blocks", cutBody(f1, 32), password, "damaged"},
      {"format 2, body cut by its last tag", cutBody(f2, 16), password, "damaged"},
      {"a result without its trailer", b1.substr(0, b1.size() - 5), password, "not-a-result"},
      {"the program itself", readFile(exe), password, "not-a-result"},
      {"format 1, name ..", hostile(f1, "32768.bin", "..", "ツリー", 1), password, "unsafe-name"},
      {"format 1, absolute folder path", hostile(f1, "32768.bin", "x.txt", "C:\\Windows", 1), password, "unsafe-name"},
      {"format 1, folder path up and out", hostile(f1, "32768.bin", "x.txt", "ツリー\\..\\..", 1), password, "unsafe-name"},
      {"format 1, device name", hostile(f1, "32768.bin", "CON.txt", "ツリー", 1), password, "unsafe-name"},
      {"format 2, stream name", hostile(f1, "32768.bin", "a.txt:hidden", "ツリー", 2), password, "unsafe-name"},
      {"format 1, two files of one path", hostile(f1, "32768.bin", "32769.bin", "ツリー", 1), password, "unsafe-name"},
      {"format 1, names differing only in case", hostile(f1, "32768.bin", "32769.BIN", "ツリー", 1), password,
       "unsafe-name"},
      {"format 2, a file of a folder's name", hostile(f1, "空.txt", "報告書", "ツリー", 2), password, "unsafe-name"},
  };
  std::string plan = "{\"tree\": " + jsonText(unixPathOf(A(tree))) + ", \"downloads\": " +
                     jsonText(unixPathOf(work / "downloads")) +
                     ", \"singleFile\": " + jsonText(utf8(L"ツリー/32769.bin")) +
                     ", \"cancelAt\": " + jsonText(utf8(L"ツリー/Ærø/data.bin")) + ", \"cases\": [";
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const Case& c = cases[i];
    const std::string n = std::to_string(i);
    const std::string file = work / ("case" + n + c.extension);
    ASSERT_TRUE(writeFile(file, c.bytes));
    plan += std::string(i ? ", " : "") + "{\"name\": " + jsonText(c.name) + ", \"file\": " +
            jsonText(unixPathOf(file)) + ", \"password\": " + jsonText(c.password) + ", \"expect\": " +
            jsonText(c.expect) + ", \"zipName\": \"case" + n + ".zip\"" + utf8(c.extra) + "}";
  }
  plan += "]}";
  const std::string planPath = work / "plan.json";
  ASSERT_TRUE(writeFile(planPath, plan));
  std::string output;
  int status = runUnix("cd '" KYVO_READER_DIR "' && node test/browser_test.mjs '" KYVO_READER_PAGE "' '" +
                           unixPathOf(planPath) + "'",
                       &output, 600000);
  printf("%s", output.c_str());
  EXPECT_EQ(status, 0) << "the browser test failed (its lines above)";
}

}  // namespace
