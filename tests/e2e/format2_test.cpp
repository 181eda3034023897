// Both container formats through the real Kyvomar.exe: a result is written in
// the format the machine's policy names, and opened whatever the policy says,
// started by itself or handed to Kyvomar.exe.
#include <gtest/gtest.h>

#include "e2e/program_driver.h"
#include "fake_mapi/fake_mapi.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container_format2.h"
#include "manager/base/job_state.h"
#include "support/container_policy.h"
#include "support/job_files.h"
#include "support/narrow_paths.h"
#include "support/test_files.h"

namespace {

const char kPassword[] = "表ソ能pass";
const long long kEntryHeader = 2434;

// Writes, at path, incompressible bytes whose archive (one file entry, as the
// packer writes it) is exactly archiveSize bytes, packing in this process to
// find the length. False when no length gives that size.
bool writeSourceOfArchiveSize(const std::string& path, long long archiveSize, const TempDir& scratch) {
  const std::string archive = scratch / "probe.arv";
  setPath(jobState.sourceListPath, scratch / "probe.prc");
  long long length = archiveSize - kEntryHeader;  // less the blocks' framing, found below
  for (int attempt = 0; attempt < 8 && length >= 0; ++attempt) {
    writeFile(path, patternBytes(static_cast<size_t>(length), 16));
    if (packForJob("\"" + path + "\"", archive) != 0) return false;
    long long got = fileSizeOf(archive);
    if (got == archiveSize) return true;
    length += archiveSize - got;
  }
  return false;
}

long long roundUpTo16(long long n) { return (n + 15) / 16 * 16; }

class Format2EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = work / "Kyvomar.exe";
    ASSERT_TRUE(CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE));
    makeFolder(work / "src");
    makeFolder(work / "out");
  }
  void usePolicy(bool second) { ASSERT_TRUE(second ? policy.set(2) : policy.remove()); }
  // Encrypts one file through the switch form into out\<name>.exe.
  std::string encrypt(const std::string& source, const std::string& name) {
    std::string target = work / "out\\" + name + ".exe";
    ProgramRun run;
    EXPECT_TRUE(run.start(exe, "xx /crpmode=0 \"" + source + "\"", true));
    EXPECT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
    EXPECT_TRUE(enterFileName(run.pid(), "", 0));
    EXPECT_TRUE(saveAs(run.pid(), target));
    EXPECT_EQ(run.wait(300000), 0);
    return target;
  }
  // The container a result carries: whether it is of the second format, and
  // its size.
  std::pair<bool, long long> containerOf(const std::string& result) {
    std::string container = containerOfResult(result);
    return {hasFormat2Magic(reinterpret_cast<const unsigned char*>(container.data()), container.size()),
            static_cast<long long>(container.size())};
  }
  // Copies a result into a fresh folder and opens it there, started by
  // itself or handed to Kyvomar.exe. Empty when the file came back as source
  // holds it; else what went wrong.
  std::string decrypt(const std::string& result, const std::string& source, const std::string& name,
                      bool byArgument) {
    TempDir restore;
    std::string copy = restore / "r.exe";
    EXPECT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
    ProgramRun run;
    EXPECT_TRUE(startRestore(&run, [&] {
      return (byArgument ? run.start(exe, "\"" + copy + "\"") : run.start(copy, "")) &&
             enterDecryptionPassword(run.pid(), kPassword);
    }, restore.path()));
    std::string text;  // success is silent: a message is a failure
    while (!answerMessage(run.pid(), &text, 500) && run.running()) {
    }
    EXPECT_EQ(run.wait(300000), 0);
    if (!text.empty()) return "message: " + text;
    if (!fileExists(restore / name)) return "nothing restored";
    return readFile(restore / name) == readFile(source) ? "" : "restored file differs";
  }
  TempDir work;
  std::string exe;
  ContainerPolicyValue policy;  // what was there comes back at the end
};

TEST_F(Format2EndToEnd, ResultsOfEitherPolicyOpenUnderEitherPolicyBareOrHandedToTheProgram) {
  const struct {
    const char* name;
    long long archiveSize;  // 0: an empty file, whose archive is its header alone
  } sources[] = {{"空.txt", 0}, {"a65536.bin", 65536}, {"a65537.bin", 65537}};
  TempDir scratch;
  for (const auto& s : sources) {
    const std::string source = work / "src\\" + s.name;
    if (s.archiveSize == 0) {
      ASSERT_TRUE(writeFile(source, ""));
    } else {
      ASSERT_TRUE(writeSourceOfArchiveSize(source, s.archiveSize, scratch)) << s.name;
    }
    const long long n = s.archiveSize == 0 ? kEntryHeader : s.archiveSize;
    for (bool second : {false, true}) {
      SCOPED_TRACE(testing::Message() << s.name << (second ? ", policy 2" : ", no policy"));
      usePolicy(second);
      const std::string result = encrypt(source, std::string(second ? "f2-" : "f1-") + s.name);
      ASSERT_TRUE(fileExists(result));
      const long long size = second ? 84 + n + 16 * (n / 65536 + 1) : 1024 + roundUpTo16(n);
      EXPECT_EQ(containerOf(result), std::make_pair(second, size));
      // Opened under the other policy when started bare, under its own when
      // handed to the program: the policy never decides how a result is read.
      usePolicy(!second);
      EXPECT_EQ(decrypt(result, source, s.name, false), "");
      usePolicy(second);
      EXPECT_EQ(decrypt(result, source, s.name, true), "");
    }
  }
}

// The data form (no program, a 16-byte header before the container) of every
// mode and both formats opens when handed to Kyvomar.exe; one cut by a byte
// is damaged, and says so.
TEST_F(Format2EndToEnd, DataFormOfEveryModeAndFormatOpensAndACutOneIsDamaged) {
  const std::string source = work / "src\\データ.txt";
  writeFile(source, patternBytes(70000, 5));
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL);
  ASSERT_TRUE(mapi.ok());
  ScopedEnvironment copyTo("KYVO_FAKE_MAPI_COPY_TO", mapi.copyFolder());
  makeFolder(mapi.copyFolder());
  const char kHeader[] = "\x89KYV\r\n\x1a\n\x01\0\0\0\0\0\0\0";
  for (bool second : {false, true}) {
    usePolicy(second);
    for (int mode : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << (second ? ", policy 2" : ", no policy"));
      const std::string made[] = {work / "out\\d.kyvo", "R:\\データ.crpt.kyvo", mapi.copyFolder() + "\\データ.crpt.kyvo"};
      DeleteFileA(made[mode].c_str());
      ProgramRun run;
      EXPECT_TRUE(run.start(exe, "xx /crpmode=" + std::to_string(mode) + " \"" + source + "\"", true));
      EXPECT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
      EXPECT_TRUE(enterFileName(run.pid(), "", 2));
      if (mode == 0) {
        EXPECT_TRUE(saveAs(run.pid(), made[mode]));
      }
      if (mode == 1) {
        EXPECT_TRUE(chooseFirstMedia(run.pid()));
      }
      EXPECT_EQ(run.wait(300000), 0);
      const std::string bytes = readFile(made[mode]);
      ASSERT_GT(bytes.size(), 28u);
      EXPECT_EQ(bytes.substr(0, 16), std::string(kHeader, 16));
      EXPECT_EQ(static_cast<long long>(bytes.size()), 16 + containerOf(made[mode]).second + 12);
      EXPECT_EQ(containerOf(made[mode]).first, second);
      std::string copy = work / "out\\copy.kyvo";
      writeFile(copy, bytes);
      EXPECT_EQ(decrypt(copy, source, "データ.txt", true), "");
      if (mode != 0) continue;
      writeFile(copy, bytes.substr(0, bytes.size() - 1));
      ProgramRun cut;
      EXPECT_TRUE(cut.start(exe, "\"" + copy + "\""));
      std::string text;
      EXPECT_TRUE(answerMessage(cut.pid(), &text));
      EXPECT_EQ(text, "暗号化ファイルが壊れているか、不完全です。\r\nファイルをもう一度受け取ってください");
      EXPECT_EQ(cut.wait(60000), 0);
    }
  }
  DeleteFileA("R:\\データ.crpt.kyvo");
}

}  // namespace
