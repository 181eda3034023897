// A job ended from outside in the middle of its work, as a crash or a kill
// ends it: the real Kyvomar.exe, its dialogs driven from this process, is
// ended with TerminateProcess while it packs or extracts a large file. Before
// and after the kill, no file in the temporary folder or the destination
// holds plaintext (an archive, or the source's bytes), and none of its
// working files is left.
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

// The start of an archive's entry headers: the magic and the format tag of a
// file entry, or of a folder entry (eight bytes, which cipher text does not
// hold by chance as it may hold the magic alone).
const std::string kFileEntryStart("PARC\x01\x00\x02\x00", 8), kFolderEntryStart("PARC\0\0\0\0", 8);

// The first file in folder (and below it, with wholeTree) that holds an
// archive's entry header or the given source bytes; empty when none does. A file
// that begins with the program image (a result, or one being made) is
// searched behind it: the program itself holds the magic.
std::string plaintextHolder(const std::string& folder, bool wholeTree, const std::string& sourceBytes,
                            long long imageSize) {
  for (std::string entry : wholeTree ? listTree(folder) : listFolder(folder)) {
    if (entry.back() == '\\') continue;
    if (wholeTree) entry.erase(entry.rfind(':'));  // the size behind the name
    std::string path = folder + (folder.back() == '\\' ? "" : "\\") + entry;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;  // gone meanwhile
    std::string window, piece(1 << 20, '\0');
    const size_t keep = sourceBytes.size();
    DWORD got = 0;
    bool found = false, first = true;
    while (!found && ReadFile(file, &piece[0], static_cast<DWORD>(piece.size()), &got, nullptr) && got > 0) {
      std::string data = piece.substr(0, got);
      if (first && data.compare(0, 2, "MZ") == 0) data.erase(0, static_cast<size_t>(imageSize));
      first = false;
      window = window.substr(window.size() < keep ? 0 : window.size() - keep) + data;
      found = window.find(kFileEntryStart) != std::string::npos || window.find(kFolderEntryStart) != std::string::npos ||
              window.find(sourceBytes) != std::string::npos;
    }
    CloseHandle(file);
    if (found) return path;
  }
  return "";
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
    if (!stage.decryption) return startEncryption(run, *wholeFile = out / "large.crpt.exe", stage.folder);
    std::string result = out / "large.crpt.exe";
    ProgramRun encryption;
    if (!startEncryption(&encryption, result, stage.folder) || encryption.wait(600000) != 0) return false;
    *wholeFile = out / (stage.folder ? "src\\large.bin" : "large.bin");
    return startRestore(run, [&] { return run->start(result, "") && enterDecryptionPassword(run->pid(), kPassword); },
                        out.path());
  }
  void killDuring(const Stage& stage) {
    TempDir out;
    ProgramRun run;
    std::string wholeFile, seen;
    const std::string sourceBytes = patternBytes(8 << 20, 0).substr(5 << 20, 64);  // of the large file
    const long long image = fileSizeOf(exe);
    ASSERT_TRUE(startJob(&run, stage, out, &wholeFile));
    ASSERT_TRUE(waitForStage(run, stage, &seen)) << "stage not seen under way; status lines shown: " << seen;
    // Held there while its files are looked at, so that it cannot finish
    // before the kill.
    run.suspend();
    // An encryption's working files (the source list, the spill file) are
    // what the kill leaves to the system; a restore has none.
    ASSERT_EQ(workingFilesOf(run.pid()).empty(), stage.decryption);
    EXPECT_EQ(plaintextHolder(tempFolder(), false, sourceBytes, image), "");
    if (!stage.decryption) {
      EXPECT_EQ(plaintextHolder(out.path(), true, sourceBytes, image), "");
    }
    run.kill();
    EXPECT_EQ(run.wait(60000), 1);  // ended by the kill, not on its own
    EXPECT_EQ(workingFilesOf(run.pid()), std::vector<std::string>());
    EXPECT_EQ(plaintextHolder(tempFolder(), false, sourceBytes, image), "");
    EXPECT_EQ(plaintextHolder(out.path(), true, sourceBytes, image), "");
    EXPECT_FALSE(fileExists(wholeFile));  // nothing half-written under its real name
    if (stage.decryption && !stage.folder) {
      EXPECT_EQ(listFolder(out.path()), std::vector<std::string>{"large.crpt.exe"});  // nor under a temporary one
    }
    if (!stage.folder || !stage.decryption) return;
    // The next restore into that folder clears what the killed one left.
    ProgramRun again;
    ASSERT_TRUE(startRestore(&again, [&] {
      return again.start(out / "large.crpt.exe", "") && enterDecryptionPassword(again.pid(), kPassword);
    }, out.path()));
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
      {"encryption of a folder while packing", false, "large.bin", false, true},
      {"decryption while extracting", true, "large.bin", true},
      {"decryption of a folder while extracting", true, "large.bin", true, true},
  };
  for (const Stage& stage : stages) {
    SCOPED_TRACE(stage.what);
    killDuring(stage);
  }
}

}  // namespace
