// Whole encryptions and decryptions through the real Kyvomar.exe, its dialogs
// driven from this process.
#include <gtest/gtest.h>

#include "e2e/program_driver.h"
#include "e2e/sample_tree.h"
#include "support/test_files.h"

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

TEST_F(RoundTrip, WrongPasswordRestoresNothing) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\w.exe");
  TempDir restore;
  std::string copy = restore / "w.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false, "wrong"), "復号出来ませんでした。\r\nパスワードを確認してください");
  EXPECT_EQ(listFolder(restore.path()), std::vector<std::string>{"w.exe"});
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
  EXPECT_TRUE(text == "処理を中断しました" || text == "処理中に長すぎるファイル名がありました。\r\n処理を中断します。")
      << text;
  EXPECT_EQ(run.wait(60000), 0);
  EXPECT_FALSE(fileExists(target));
  EXPECT_TRUE(listFolder(work / "out").empty());
  EXPECT_TRUE(workingFilesOf(run.pid()).empty());
}

}  // namespace
