// A job ended from outside in the middle of its work, as a crash or a kill
// ends it: the real Kyvomar.exe, its dialogs driven from this process, is
// ended with TerminateProcess while it packs, encrypts or extracts a large
// file, and none of its working files is left in the temporary folder.
#include <gtest/gtest.h>
#include <stdio.h>

#include "e2e/program_driver.h"
#include "manager/resources/resource.h"
#include "support/test_files.h"
#include "support/window_driver.h"

namespace {

const char kPassword[] = "表ソ能pass";
// Large enough that every stage lasts several refreshes of the progress
// window (one each 100 ms) under Wine: the extraction, the quickest stage,
// writes some 800 MB a second here. Pattern bytes hardly compress.
const long long kLargeSize = 384ll << 20;

bool writeLargeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  for (unsigned seed = 0; ok && seed < kLargeSize >> 23; ++seed) {
    std::string chunk = patternBytes(8 << 20, seed);
    DWORD written = 0;
    ok = WriteFile(file, chunk.data(), chunk.size(), &written, nullptr) && written == chunk.size();
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

// A stage of a job as its progress window shows it.
struct Stage {
  const char* what;
  bool decryption;
  const char* status;  // the status line
  bool countOnly;      // the counter shows one number, not "done / total"
  bool folder = false; // the folder of the large file, not the file alone
};

// Whether the counter shows the stage under way, some bytes done and some
// left: "done / total", or, while extracting, one number, the bytes of the
// entry still to be read (at its start a little more than the file's size).
bool underway(const std::string& counter, bool countOnly) {
  long long a = 0, b = kLargeSize;
  int used = 0;
  int fields = countOnly ? sscanf(counter.c_str(), "%lld%n", &a, &used)
                         : sscanf(counter.c_str(), "%lld / %lld%n", &a, &b, &used);
  return fields == (countOnly ? 1 : 2) && used == static_cast<int>(counter.size()) && a > 0 && a < b;
}

// Polls the progress window of run until it shows the stage under way. False
// when the job ended (or a ten-minute guard ran out) without showing it;
// *seen then lists the status lines that it showed.
bool waitForStage(const ProgramRun& run, const Stage& stage, std::string* seen) {
  HWND window = waitForWindow("処理状況", 60000, run.pid());
  if (!window) {
    *seen = "(no progress window)";
    return false;
  }
  std::string last;
  for (DWORD start = GetTickCount(); run.running() && GetTickCount() - start < 600000; Sleep(5)) {
    std::string status = controlText(window, IDC_PROGRESS_STATUS);
    if (seen->empty() || status != last) *seen += "[" + (last = status) + "]";
    if (status == stage.status && underway(controlText(window, IDC_PROGRESS_COUNTER), stage.countOnly))
      return true;
  }
  return false;
}

class KilledJob : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = work / "Kyvomar.exe";
    ASSERT_TRUE(CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(makeFolder(work / "src"));
    ASSERT_TRUE(writeLargeFile(work / "src\\large.bin"));
  }
  // Starts an encryption of the large file (or its folder) into target
  // (folder mode).
  bool startEncryption(ProgramRun* run, const std::string& target, bool folder = false) {
    return run->start(exe, "xx /crpmode=0 \"" + (work / (folder ? "src" : "src\\large.bin")) + "\"", true) &&
           enterPassword(run->pid(), kPassword, kPassword) && enterFileName(run->pid(), "", 0) &&
           saveAs(run->pid(), target);
  }
  // Starts a job for the stage; *wholeFile is where a finished file would
  // land (the result of an encryption, the restored file of a decryption).
  bool startJob(ProgramRun* run, const Stage& stage, const TempDir& out, std::string* wholeFile) {
    if (!stage.decryption) return startEncryption(run, *wholeFile = out / "large.crpt.exe");
    std::string result = out / "large.crpt.exe";
    ProgramRun encryption;
    if (!startEncryption(&encryption, result, stage.folder) || encryption.wait(600000) != 0) return false;
    *wholeFile = out / (stage.folder ? "src\\large.bin" : "large.bin");
    return run->start(result, "") && enterDecryptionPassword(run->pid(), kPassword) &&
           answerFolderBrowser(run->pid(), true, out.path());
  }
  void killDuring(const Stage& stage) {
    TempDir out;
    ProgramRun run;
    std::string wholeFile, seen;
    ASSERT_TRUE(startJob(&run, stage, out, &wholeFile));
    ASSERT_TRUE(waitForStage(run, stage, &seen)) << "stage not seen under way; status lines shown: " << seen;
    ASSERT_FALSE(workingFilesOf(run.pid()).empty());  // what the kill leaves to the system
    run.kill();
    EXPECT_EQ(run.wait(60000), 1);  // ended by the kill, not on its own
    EXPECT_EQ(workingFilesOf(run.pid()), std::vector<std::string>());
    EXPECT_FALSE(fileExists(wholeFile));  // nothing half-written under its real name
    if (stage.decryption && !stage.folder) {
      EXPECT_EQ(listFolder(out.path()), std::vector<std::string>{"large.crpt.exe"});  // nor under a temporary one
    }
    if (!stage.folder) return;
    // The next restore into that folder clears what the killed one left.
    ProgramRun again;
    ASSERT_TRUE(again.start(out / "large.crpt.exe", "") && enterDecryptionPassword(again.pid(), kPassword) &&
                answerFolderBrowser(again.pid(), true, out.path()));
    EXPECT_EQ(again.wait(600000), 0);
    EXPECT_EQ(listFolder(out.path()), (std::vector<std::string>{"large.crpt.exe", "src"}));
    EXPECT_EQ(fileSizeOf(wholeFile), kLargeSize);
  }
  TempDir work;
  std::string exe;
};

TEST_F(KilledJob, LeavesNoWorkingFileInTheTemporaryFolder) {
  const Stage stages[] = {
      {"encryption while packing", false, "large.bin", false},
      {"encryption while encrypting", false, "書庫を暗号化中です", false},
      {"decryption while extracting", true, "large.bin", true},
      {"decryption of a folder while extracting", true, "large.bin", true, true},
  };
  for (const Stage& stage : stages) {
    SCOPED_TRACE(stage.what);
    killDuring(stage);
  }
}

}  // namespace
