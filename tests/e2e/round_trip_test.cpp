// Whole encryptions and decryptions through the real Kyvomar.exe, its dialogs
// driven from this process.
#include <gtest/gtest.h>

#include "e2e/program_driver.h"
#include "manager/resources/resource.h"
#include "e2e/sample_tree.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

namespace {

const char kPassword[] = "表ソ能pass";

// Temporary files of one Kyvomar process (their names carry its number).
std::vector<std::string> workingFilesOf(DWORD pid) {
  char tag[32];
  snprintf(tag, sizeof tag, "_%lx_", pid);
  std::vector<std::string> out;
  for (const std::string& name : tempFilesWithPrefix("TmpCrp_"))
    if (name.find(tag) != std::string::npos) out.push_back(name);
  return out;
}

// Last-write and last-access times (Wine keeps no creation times of its own).
std::pair<unsigned long long, unsigned long long> fileTimes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  auto value = [](const FILETIME& t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return {value(data.ftLastWriteTime), value(data.ftLastAccessTime)};
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = work / "Kyvomar.exe";
    ASSERT_TRUE(CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE));
    makeFolder(work / "out");
  }
  // Encrypts through the switch form; returns the result path.
  std::string encrypt(int mode, const std::string& paths, const std::string& target, int ext = 0) {
    ProgramRun run;
    EXPECT_TRUE(run.start(exe, "xx /crpmode=" + std::to_string(mode) + " " + paths, true));
    EXPECT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
    EXPECT_TRUE(enterFileName(run.pid(), "", ext));
    if (mode == 0) {
      EXPECT_TRUE(saveAs(run.pid(), target));
    }
    if (mode == 1) {
      EXPECT_TRUE(chooseFirstMedia(run.pid()));
    }
    EXPECT_EQ(run.wait(300000), 0);
    EXPECT_TRUE(workingFilesOf(run.pid()).empty());
    return target;
  }
  // Decrypts a result by starting it (or by handing it to Kyvomar.exe), into
  // the folder it lies in.
  std::string decrypt(const std::string& result, bool byArgument, const std::string& password = kPassword) {
    ProgramRun run;
    EXPECT_TRUE(byArgument ? run.start(exe, "\"" + result + "\"") : run.start(result, ""));
    EXPECT_TRUE(enterDecryptionPassword(run.pid(), password));
    std::string folder = folderOf(result);
    EXPECT_TRUE(answerFolderBrowser(run.pid(), true, folder));
    std::string text;
    answerMessage(run.pid(), &text, password == kPassword ? 1500 : 30000);
    EXPECT_EQ(run.wait(300000), 0);
    EXPECT_TRUE(workingFilesOf(run.pid()).empty());
    return text;
  }
  TempDir work;
  std::string exe;
};

TEST_F(RoundTrip, FolderModeFileAndFolderComeBackWithNamesContentsAndTimes) {
  std::string source = makeSampleTree(work / "src");
  std::string file = work / "src\\単独.txt";
  writeFile(file, "single file");
  const char* const names[] = {"\\画像.bin", "\\表.txt", "\\報告書\\能力\\memo.txt"};
  std::vector<std::pair<unsigned long long, unsigned long long>> before;
  for (const char* name : names) before.push_back(fileTimes(source + name));  // reading would change them
  std::string result = encrypt(0, "\"" + file + "\" \"" + source + "\"", work / "out\\サンプル.crpt.exe");
  ASSERT_TRUE(fileExists(result));
  TempDir restore;
  std::string copy = restore / "r.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false), "");
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(fileTimes(restore / "サンプル" + names[i]), before[i]) << names[i];
  EXPECT_EQ(compareTrees(source, restore / "サンプル"), "");
  EXPECT_EQ(readFile(restore / "単独.txt"), "single file");
}

TEST_F(RoundTrip, ProvisionalExtensionIsDecryptedByHandingItToTheProgram) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\x.crpt.ex_", 1);
  ASSERT_TRUE(fileExists(result));
  EXPECT_EQ(decrypt(result, true), "");
  EXPECT_EQ(compareTrees(source, work / "out\\サンプル"), "");
}

TEST_F(RoundTrip, RemovableModeLeavesTheResultOnTheDrive) {
  std::string source = makeSampleTree(work / "src");
  std::string media = "R:\\サンプル.crpt.exe";
  DeleteFileA(media.c_str());
  encrypt(1, "\"" + source + "\"", "");
  ASSERT_TRUE(fileExists(media));
  TempDir restore;
  std::string copy = restore / "m.exe";
  ASSERT_TRUE(CopyFileA(media.c_str(), copy.c_str(), FALSE));
  DeleteFileA(media.c_str());
  EXPECT_EQ(decrypt(copy, false), "");
  EXPECT_EQ(compareTrees(source, restore / "サンプル"), "");
  EXPECT_FALSE(fileExists(tempFolder() + "サンプル.crpt.exe"));
}

// A result is started from wherever it was saved: a library lying beside it
// under the name of one that the window system loads on demand (here the
// display driver of the test prefix, "null") is never loaded.
TEST_F(RoundTrip, LibraryPlantedBesideAResultIsNotLoaded) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\p.exe");
  TempDir downloads;
  std::string copy = downloads / "p.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(windowsPathOf(PLANTED_DLL_UNIX_PATH).c_str(), (downloads / "null.dll").c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false), "");
  EXPECT_FALSE(fileExists(downloads / "null.dll.was-loaded"));
  EXPECT_EQ(compareTrees(source, downloads / "サンプル"), "");
}

TEST_F(RoundTrip, WrongPasswordRestoresNothing) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\w.exe");
  TempDir restore;
  std::string copy = restore / "w.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false, "wrong"), "復号出来ませんでした。\r\nパスワードを確認してください");
  EXPECT_EQ(listFolder(restore.path()), std::vector<std::string>{"w.exe"});
}

// A selection that cannot be packed whole: the job stops with a message that
// names the item and the reason, and writes no result. (Names are built wide:
// some cases hold names code page 932 cannot.)
TEST_F(RoundTrip, SelectionThatCannotBePackedWholeIsRefusedWithItsReason) {
  const std::string src = work / "src";
  makeFolder(src + "\\d1");
  makeFolder(src + "\\d2");
  writeFile(src + "\\d1\\same.txt", "first");
  writeFile(src + "\\d2\\same.txt", "second");
  writeFile(src + "\\locked.txt", "held by another program");
  writeFile(src + "\\a.txt", "a");
  // A folder the listing shows but that cannot be opened, and an item that
  // cannot be resolved: made on the Linux side, as Wine shows them.
  makeFolder(src + "\\tree");
  writeFile(src + "\\tree\\ok.txt", "ok");
  ASSERT_EQ(runUnix("mkdir '" + unixPathOf(src + "\\tree") + "/back\\slash' && ln -s loop '" + unixPathOf(src) + "/loop'"), 0);
  const std::string notFound = "次のファイルまたはフォルダが見つかりませんでした。\r\n";
  const std::string unreadable = "次のファイルまたはフォルダを読み込めませんでした。\r\n";
  const std::string end = "\r\n処理を中断します。";
  struct Case {
    const char* what;
    std::string paths;
    std::string message;
  } cases[] = {
      {"vanished file", "\"" + src + "\\gone.txt\"", notFound + src + "\\gone.txt" + end},
      {"same-name pair", "\"" + src + "\\d1\\same.txt\" \"" + src + "\\d2\\same.txt\"",
       "同じ名前のファイルまたはフォルダが選択されています。\r\n" + src + "\\d1\\same.txt\r\n" + src +
           "\\d2\\same.txt\r\n名前を変えるか、別々に暗号化してください。"},
      {"locked file", "\"" + src + "\\a.txt\" \"" + src + "\\locked.txt\"",
       "次のファイルは他のプログラムが使用中のため読み込めませんでした。\r\n" + src + "\\locked.txt" + end},
      {"unresolvable item", "\"" + src + "\\loop\"", unreadable + src + "\\loop" + end},
      {"unlistable sub-folder", "\"" + src + "\\tree\"", unreadable + src + "\\tree\\back\\slash" + end},
  };
  HANDLE lock = CreateFileA((src + "\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string target = work / "out\\refused.crpt.exe";
    ProgramRun run;
    ASSERT_TRUE(run.start(exe, "xx /crpmode=0 " + c.paths, true));
    ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
    ASSERT_TRUE(enterFileName(run.pid(), "refused.crpt", 0));
    ASSERT_TRUE(saveAs(run.pid(), target));
    std::string text;
    ASSERT_TRUE(answerMessage(run.pid(), &text, 60000));
    EXPECT_EQ(text, c.message);
    EXPECT_EQ(run.wait(60000), 0);
    EXPECT_FALSE(fileExists(target));
    EXPECT_TRUE(listFolder(work / "out").empty());
    EXPECT_TRUE(workingFilesOf(run.pid()).empty());
  }
  CloseHandle(lock);
  runUnix("rm -f '" + unixPathOf(src) + "/loop'");
}

TEST_F(RoundTrip, FullTemporaryFolderIsReportedAsAFileThatCannotBeWritten) {
  TmpfsMount temp("256k");
  KYVO_REQUIRE_MOUNT(temp);
  std::string source = work / "big.bin";
  ASSERT_TRUE(writeFile(source, patternBytes(2 << 20, 11)));
  std::string target = work / "out\\big.crpt.exe";
  char saved[MAX_PATH] = "";
  GetEnvironmentVariableA("TMP", saved, sizeof saved);
  SetEnvironmentVariableA("TMP", temp.windowsPath().c_str());
  ProgramRun run;
  bool started = run.start(exe, "xx /crpmode=0 \"" + source + "\"", true);
  SetEnvironmentVariableA("TMP", saved);
  ASSERT_TRUE(started);
  ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
  ASSERT_TRUE(enterFileName(run.pid(), "", 0));
  ASSERT_TRUE(saveAs(run.pid(), target));
  std::string text;
  ASSERT_TRUE(answerMessage(run.pid(), &text, 60000));
  EXPECT_EQ(text, "ファイルが書けません。\r\nディスク容量、書き込み権限を確認してください");
  EXPECT_EQ(run.wait(60000), 0);
  EXPECT_FALSE(fileExists(target));
  EXPECT_TRUE(listFolder(temp.windowsPath()).empty());
}

// The command line is read as typed: a program name or an argument of
// Japanese characters is never split at the bytes of their ANSI form.
TEST_F(RoundTrip, CommandLineIsReadAsTyped) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\表示.crpt.exe");
  ASSERT_TRUE(fileExists(result));
  writeFile(work / "表示.txt", "text");
  struct Case {
    const char* what;
    std::string exe, line;
    std::string dialog;  // the first dialog: its heading, or the proposed file name
  } cases[] = {
      {"result started by an unquoted name", result, "表示.crpt.exe", "復号確認"},
      {"unquoted Japanese argument", exe, "Kyvomar.exe 表示.txt", "表示.crpt"},
      {"quoted program and argument", exe, "\"" + exe + "\" \"" + (work / "表示.txt") + "\"", "表示.crpt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRun run;
    ASSERT_TRUE(run.start(c.exe, c.line, true));
    HWND d = waitForWindow("暗号化", 30000, run.pid());
    ASSERT_TRUE(d);
    if (c.dialog == "復号確認") {
      EXPECT_EQ(controlText(d, IDC_PASSWORD_HEADING), c.dialog);
      PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
    } else {
      ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
      HWND names = waitForWindow("暗号化ファイル名指定", 30000, run.pid());
      ASSERT_TRUE(names);
      EXPECT_EQ(controlText(names, IDC_FILE_NAME), c.dialog);
      PostMessageA(names, WM_COMMAND, IDCANCEL, 0);
    }
    EXPECT_EQ(run.wait(30000), 0);
  }
}

TEST_F(RoundTrip, CancelDuringALargeFileLeavesNoResultAndNoWorkingFiles) {
  makeFolder(work / "big");
  std::string big = work / "big\\large.bin";
  ASSERT_TRUE(writeFile(big, patternBytes(80 << 20, 9)));
  ProgramRun run;
  ASSERT_TRUE(run.start(exe, "xx /crpmode=0 \"" + big + "\"", true));
  ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
  ASSERT_TRUE(enterFileName(run.pid(), "", 0));
  std::string target = work / "out\\large.crpt.exe";
  ASSERT_TRUE(saveAs(run.pid(), target));
  ASSERT_TRUE(cancelProgress(run.pid()));
  std::string text;
  ASSERT_TRUE(answerMessage(run.pid(), &text, 60000));
  EXPECT_EQ(text, "処理を中断しました");
  EXPECT_EQ(run.wait(60000), 0);
  EXPECT_FALSE(fileExists(target));
  EXPECT_TRUE(listFolder(work / "out").empty());
  EXPECT_TRUE(workingFilesOf(run.pid()).empty());
}

}  // namespace
