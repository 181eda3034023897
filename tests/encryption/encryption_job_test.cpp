// The encryption worker on real files: every delivery mode, failures and stops.
#include <gtest/gtest.h>

#include "common/text_util.h"
#include "fake_mapi/fake_mapi.h"
#include "manager/archive/extractor.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/container_stream.h"
#include "manager/encryption/delivery.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/encryption/encryption_job.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "support/job_files.h"
#include "support/message_capture.h"
#include "support/narrow_paths.h"
#include "support/restore_result.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const char kPassword[] = "ジョブ試験";

class EncryptionJob : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    source = work / "src";
    makeFolder(source + "\\表\\ソ");
    writeFile(source + "\\a.txt", "alpha");
    writeFile(source + "\\表\\ソ\\b.bin", patternBytes(70000, 3));
    makeFolder(work / "tmp");
    makeFolder(work / "out");
    prepare("\"" + source + "\"", work / "out\\r.crpt.exe");
    // The user's temporary folder, where the job's own working files go.
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", W(work / "tmp\\").c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"TMP", savedTmp[0] ? savedTmp : nullptr);
    setFormat2WriterSettings(nullptr);
    free(jobState.packCommand);
    jobState.packCommand = nullptr;
  }
  void prepare(const std::string& paths, const std::string& output) {
    free(jobState.packCommand);
    jobState.packCommand = _wcsdup(W(paths).c_str());
    setPath(jobState.sourceListPath, (work / "tmp\\TmpCrp_t.prc"));
    setPath(jobState.outputPath, output);
    copyText(jobState.password, sizeof jobState.password, kPassword);
    setPath(jobState.moduleDir, work.path() + "\\");
    setPath(jobState.moduleFileName, "Kyvomar.exe");
    jobState.destinationMode = 0;
    jobState.writeLog = 1;
  }
  // Restores a result into a fresh folder, as the decryption job would.
  std::string restore(const std::string& result) {
    std::string into = work / ("restored" + std::to_string(++restores));
    makeFolder(into);
    EXPECT_EQ(restoreResult(result, into, kPassword), 0);
    return into;
  }
  // True when the container inside a result is of the second format.
  bool carriesFormat2(const std::string& result) {
    std::string container = containerOfResult(result);
    return hasFormat2Magic(reinterpret_cast<const unsigned char*>(container.data()), container.size());
  }
  // Nothing of the job is left in the temporary folder, but a result that
  // could not be handed on (kept) when given.
  void expectCleanedUp(const std::string& kept = "") {
    std::vector<std::string> left;
    for (const std::string& name : listFolder(work / "tmp"))
      if (name.compare(0, 9, "kyvotest_") != 0) left.push_back(name);  // the test's own folders
    if (kept.empty())
      EXPECT_TRUE(left.empty());
    else
      EXPECT_EQ(left, std::vector<std::string>{kept});
    EXPECT_EQ(jobState.quitRequested, 1);
    EXPECT_EQ(jobState.packCommand, nullptr);
    EXPECT_EQ(jobState.password[0], '\0');
  }
  TempDir work;
  std::string source;
  int restores = 0;
  MessageCapture messages;
  wchar_t savedTmp[MAX_PATH] = L"";
};

const char kMailNotTaken[] = "メールソフトが暗号化ファイルを受け取りませんでした。\r\n暗号化ファイルを保存しますか？";

TEST_F(EncryptionJob, FolderDeliveryKeepsTheResultAndLogsEveryFile) {
  makeFolder(work / "Log");
  // More than is held in memory while its header is made: it goes through
  // the spill file.
  writeFile(source + "\\表\\spilled.bin", patternBytes((9 << 20) + 123, 6));
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_TRUE(messages.texts().empty());
  std::string result = work / "out\\r.crpt.exe";
  ASSERT_TRUE(fileExists(result));
  EXPECT_FALSE(carriesFormat2(result));
  EXPECT_EQ(compareTrees(source, restore(result) + "\\src"), "");
  std::string log = readFile(work / "Log\\Crypt.Log");
  EXPECT_NE(log.find("FilePath=\"" + result + "\";"), std::string::npos);
  EXPECT_NE(log.find("OldFilePath=\"" + source + "\\a.txt\";"), std::string::npos);
  size_t records = 0;
  for (size_t at = 0; (at = log.find("ProcName=Kyvomar.exe;", at)) != std::string::npos; ++at) ++records;
  EXPECT_EQ(records, 3u);
}

// Nothing the job writes itself is packed: not the result saved into the
// selected folder (nor an older one of its name there), not its working
// files when the selection is the temporary folder.
TEST_F(EncryptionJob, ResultAndWorkingFilesInTheSelectionAreNoPartOfIt) {
  std::string temporary = work / "tmp";
  writeFile(source + "\\r.crpt.exe", "an older result");
  writeFile(temporary + "\\held.bin", patternBytes((3 << 20) + 5, 2));  // spills while packed
  for (const std::string& selected : {source, temporary}) {
    SCOPED_TRACE(selected);
    std::string output = selected == source ? source + "\\r.crpt.exe" : work / "out\\t.crpt.exe";
    prepare("\"" + selected + "\"", output);
    runJob(runEncryptionJob);
    EXPECT_TRUE(messages.texts().empty()) << (messages.texts().empty() ? "" : messages.texts()[0]);
    std::string restored = restore(output);
    DeleteFileA((source + "\\r.crpt.exe").c_str());  // the new result: what remains is the selection
    EXPECT_EQ(compareTrees(selected, restored + "\\" + selected.substr(selected.rfind('\\') + 1)), "");
  }
}

TEST_F(EncryptionJob, LogSwitchedOffWritesNothing) {
  makeFolder(work / "Log");
  jobState.writeLog = 0;
  runJob(runEncryptionJob);
  EXPECT_TRUE(fileExists(work / "out\\r.crpt.exe"));
  EXPECT_TRUE(listFolder(work / "Log").empty());
}

TEST_F(EncryptionJob, VanishedSourceIsNamedAndKeepsAnOlderResult) {
  std::string result = work / "out\\r.crpt.exe";
  writeFile(result, "older result");
  prepare("\"" + (work / "gone.txt") + "\"", result);
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"次のファイルまたはフォルダが見つかりませんでした。\r\n" +
                                                       (work / "gone.txt") + "\r\n処理を中断します。"});
  EXPECT_EQ(readFile(result), "older result");
}

TEST_F(EncryptionJob, StopBeforePackingIsReportedAsInterrupted) {
  jobState.stopCode = 999;
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"処理を中断しました"});
  EXPECT_TRUE(listFolder(work / "out").empty());
}

TEST_F(EncryptionJob, StopInsideAFileIsReportedAsInterrupted) {
  writeFile(source + "\\big.bin", patternBytes(40 << 20, 4));
  {
    StopWhen stop("big.bin");
    runJob(runEncryptionJob);
  }
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"処理を中断しました"});
  EXPECT_TRUE(listFolder(work / "out").empty());
}

TEST_F(EncryptionJob, StopDuringEncryptionOrAssemblyLeavesNoResult) {
  writeFile(source + "\\big.bin", patternBytes(24 << 20, 5));
  for (const char* step : {"big.bin", "最終出力中です"}) {
    std::string result = work / "out\\r.crpt.exe";
    writeFile(result, "older result");
    prepare("\"" + source + "\"", result);
    {
      StopWhen stop(step);
      runJob(runEncryptionJob);
    }
    expectCleanedUp();
    EXPECT_EQ(messages.texts().back(), "処理を中断しました") << step;
    EXPECT_EQ(readFile(result), "older result") << step;
    EXPECT_EQ(listFolder(work / "out").size(), 1u);
  }
}

TEST_F(EncryptionJob, FullDiskAtTheDestinationIsAWriteFailure) {
  TmpfsMount disk("256k");
  KYVO_REQUIRE_MOUNT(disk);
  writeFile(source + "\\noise.bin", patternBytes(2 << 20, 6));
  prepare("\"" + source + "\"", disk.windowsPath() + "\\r.exe");
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(),
            std::vector<std::string>{"ファイルが書けません。\r\nディスク容量、書き込み権限を確認してください"});
  EXPECT_TRUE(listFolder(disk.windowsPath()).empty());
}

TEST_F(EncryptionJob, RemovableDeliveryMovesTheResultAndLogsTheMediaPath) {
  makeFolder(work / "Log");
  TempDir media;
  std::string onMedia = media / "r.crpt.exe";
  writeFile(onMedia, "older result on the media");
  prepare("\"" + source + "\"", work / "tmp\\r.crpt.exe");
  setPath(jobState.mediaPath, onMedia);
  jobState.destinationMode = 1;
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(listFolder(media.path()), std::vector<std::string>{"r.crpt.exe"});
  EXPECT_EQ(compareTrees(source, restore(onMedia) + "\\src"), "");
  EXPECT_NE(readFile(work / "Log\\Crypt.Log").find("FilePath=\"" + onMedia + "\";"), std::string::npos);
}

TEST_F(EncryptionJob, FailedMoveToTheMediaKeepsTheOldFileAndNamesBothPaths) {
  TmpfsMount media("1m");
  KYVO_REQUIRE_MOUNT(media);
  std::string onMedia = media.windowsPath() + "\\r.crpt.exe";
  writeFile(onMedia, "older result on the media");
  ASSERT_TRUE(media.remount(true));
  makeFolder(work / "Log");
  std::string output = work / "tmp\\r.crpt.exe";
  prepare("\"" + source + "\"", output);
  setPath(jobState.mediaPath, onMedia);
  jobState.destinationMode = 1;
  runJob(runEncryptionJob);
  expectCleanedUp("r.crpt.exe");
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "暗号化ファイルを外部メディアへコピーできませんでした。\r\n\r\n[コピー元]" + output +
                                     "\r\n[コピー先]" + onMedia + "\r\n\r\n暗号化ファイルはコピー元に残してあります。");
  media.remount(false);
  EXPECT_EQ(readFile(onMedia), "older result on the media");
  // The result is not thrown away: it still opens.
  EXPECT_EQ(compareTrees(source, restore(output) + "\\src"), "");
  EXPECT_FALSE(fileExists(work / "Log\\Crypt.Log"));
}

TEST_F(EncryptionJob, MailDeliveryHandsTheFileOverLogsAndDeletesIt) {
  makeFolder(work / "Log");
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL);
  ASSERT_TRUE(mapi.ok());
  ScopedEnvironment copyTo("KYVO_FAKE_MAPI_COPY_TO", mapi.copyFolder());
  makeFolder(mapi.copyFolder());
  std::string output = work / "tmp\\r.crpt.exe";
  prepare("\"" + source + "\"", output);
  jobState.destinationMode = 2;
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_FALSE(fileExists(output));
  auto calls = readFakeMapiCalls(mapi.recordPath());
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(compareTrees(source, restore(mapi.copyFolder() + "\\r.crpt.exe") + "\\src"), "");
  EXPECT_NE(readFile(work / "Log\\Crypt.Log").find("FilePath=\"" + output + "\";"), std::string::npos);
}

// The save-as dialog and the file manager, as a user answers them.
struct SaveAnswer {
  std::string chosen;                        // where the user saves; empty: cancels
  std::wstring proposed, fileName, shown;    // what the program proposed and showed
} saveAnswer;
int fakeSaveAs(WizardContext* context) {
  saveAnswer.proposed = context->proposedPath;
  saveAnswer.fileName = context->fileName ? context->fileName : L"";
  if (saveAnswer.chosen.empty()) return 0;
  return setContextText(&context->chosenPath, W(saveAnswer.chosen).c_str()) ? 1 : 0;
}
void recordShown(const wchar_t* path) { saveAnswer.shown = path; }

// No mail program takes the file (none there, or one that refuses it): the
// user is told and offered to save it; a copy saved lands where chosen, is
// shown in the file manager and is logged with that destination. Declining
// logs nothing. The temporary copy goes in every case.
TEST_F(EncryptionJob, MailThatNoProgramTakesIsOfferedToBeSaved) {
  struct Case {
    bool provider;
    int answer;
  } cases[] = {{true, IDYES}, {true, IDNO}, {false, IDYES}, {false, IDNO}};
  EncryptionDialogs saved = encryptionDialogs;
  encryptionDialogs.askSaveAsPath = fakeSaveAs;
  showSavedFile = recordShown;
  std::string folder = work / "saved", log = work / "Log\\Crypt.Log";
  makeFolder(work / "Log");
  makeFolder(folder);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.provider) + " " + std::to_string(c.answer));
    FakeMapiInProcess mapi = c.provider ? FakeMapiInProcess(FAKE_MAPI_SEND_MAIL, "failure") : FakeMapiInProcess::none();
    ASSERT_TRUE(mapi.ok());
    saveAnswer = SaveAnswer();
    saveAnswer.chosen = folder + "\\r.crpt.exe";
    DeleteFileA(log.c_str());
    DeleteFileA(saveAnswer.chosen.c_str());
    std::string output = work / "tmp\\r.crpt.exe";
    prepare("\"" + source + "\"", output);
    jobState.destinationMode = 2;
    messages.answerWith(c.answer);
    size_t shownBefore = messages.messages().size();
    runJob(runEncryptionJob);
    expectCleanedUp();
    ASSERT_EQ(messages.messages().size(), shownBefore + 1);
    EXPECT_EQ(messages.texts().back(), kMailNotTaken);
    EXPECT_EQ(messages.messages().back().flags & MB_TYPEMASK, static_cast<UINT>(MB_YESNO));
    if (c.answer == IDYES) {
      EXPECT_EQ(saveAnswer.fileName, L"r.crpt.exe");
      EXPECT_EQ(saveAnswer.proposed.substr(saveAnswer.proposed.size() - 11), L"\\r.crpt.exe");
      EXPECT_EQ(A(saveAnswer.shown), saveAnswer.chosen);
      EXPECT_EQ(compareTrees(source, restore(saveAnswer.chosen) + "\\src"), "");
      EXPECT_NE(readFile(log).find("FilePath=\"" + saveAnswer.chosen + "\";"), std::string::npos);
    } else {
      EXPECT_FALSE(fileExists(saveAnswer.chosen));
      EXPECT_TRUE(saveAnswer.shown.empty());
      EXPECT_FALSE(fileExists(log));
    }
  }
  encryptionDialogs = saved;
  showSavedFile = nullptr;
}

#if defined(__i386__)  // the 64-bit test build calls the provider unguarded
TEST_F(EncryptionJob, MailProviderThatFaultsIsReportedTwice) {
  makeFolder(work / "Log");
  FakeMapiInProcess mapi(FAKE_MAPI_SEND_MAIL, "fault");
  ASSERT_TRUE(mapi.ok());
  std::string output = work / "tmp\\r.crpt.exe";
  prepare("\"" + source + "\"", output);
  jobState.destinationMode = 2;
  runJob(runEncryptionJob);
  expectCleanedUp("r.crpt.exe");
  EXPECT_EQ(messages.texts(), (std::vector<std::string>{"メーラーを起動できませんでした", kMailNotTaken}));
  EXPECT_FALSE(fileExists(work / "Log\\Crypt.Log"));
}
#endif

bool noSalt(unsigned char*, size_t) { return false; }

// The job writes the format it is given; a generator that gives no salt is
// reported by its number and leaves no result.
TEST_F(EncryptionJob, SecondFormatIsWrittenWhenAskedAndAGeneratorFailureIsReported) {
  Format2WriterSettings settings = {FORMAT2_ITERATIONS_MIN, nullptr};
  setFormat2WriterSettings(&settings);
  jobState.containerFormat = 2;
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_TRUE(messages.texts().empty());
  std::string result = work / "out\\r.crpt.exe";
  ASSERT_TRUE(fileExists(result));
  EXPECT_TRUE(carriesFormat2(result));
  EXPECT_EQ(compareTrees(source, restore(result) + "\\src"), "");
  DeleteFileA(result.c_str());

  settings.fillSalt = noSalt;
  setFormat2WriterSettings(&settings);
  prepare("\"" + source + "\"", result);
  jobState.containerFormat = 2;
  runJob(runEncryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts().back(), "正常に処理出来ませんでした エラー(211)");
  EXPECT_TRUE(listFolder(work / "out").empty());
}

TEST(MediaCopyMessage, TwoLongPathsAreShortenedToFitWithoutSplittingACharacter) {
  const wchar_t pair[] = {0xD83D, 0xDE00, 0};  // one character of two UTF-16 units
  std::wstring a = L"C:\\" + std::wstring(600, L'a'), b = L"E:\\";
  for (int i = 0; i < 700; ++i) b += pair;
  wchar_t text[1024];
  formatMediaCopyFailure(text, 1024, a.c_str(), b.c_str());
  std::wstring t = text;
  EXPECT_LE(t.size(), 1023u);
  EXPECT_EQ(A(t.substr(0, 6)), "暗号化ファイ");
  EXPECT_NE(t.find(W("[コピー元]C:\\aaa")), std::wstring::npos);
  EXPECT_NE(t.find(W("[コピー先]E:\\") + pair + pair), std::wstring::npos);
  EXPECT_NE(t.find(L"...\r\n"), std::wstring::npos);
  EXPECT_EQ(A(t.substr(t.size() - 9)), "に残してあります。");
  // Every first half of a pair still has its second half.
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] >= 0xD800 && t[i] <= 0xDBFF) {
      ASSERT_LT(i + 1, t.size());
      EXPECT_TRUE(t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF) << i;
    }
  }
  // Short paths stay whole, and the message says where the result was kept.
  formatMediaCopyFailure(text, 1024, L"C:\\x.exe", L"E:\\x.exe");
  EXPECT_EQ(A(text),
            "暗号化ファイルを外部メディアへコピーできませんでした。\r\n\r\n[コピー元]C:\\x.exe\r\n[コピー先]E:\\x.exe\r\n"
            "\r\n暗号化ファイルはコピー元に残してあります。");
}

TEST(EncryptionMessages, EveryCodeHasItsText) {
  char buffer[256];
  EXPECT_STREQ(encryptionResultMessage(1, buffer, sizeof buffer), "暗号化するファイルをドラックしてください");
  for (int code : {37, 38, 39, 46, 207})
    EXPECT_STREQ(encryptionResultMessage(code, buffer, sizeof buffer),
                 "ファイルが書けません。\r\nディスク容量、書き込み権限を確認してください");
  EXPECT_STREQ(encryptionResultMessage(9, buffer, sizeof buffer),
               "処理中に長すぎるファイル名がありました。\r\n処理を中断します。");
  EXPECT_STREQ(encryptionResultMessage(299, buffer, sizeof buffer), "処理を中断しました");
  EXPECT_STREQ(encryptionResultMessage(32, buffer, sizeof buffer), "正常に処理出来ませんでした エラー(32)");
  EXPECT_STREQ(encryptionResultMessage(205, buffer, sizeof buffer), "正常に処理出来ませんでした エラー(205)");
  EXPECT_STREQ(encryptionResultMessage(211, buffer, sizeof buffer), "正常に処理出来ませんでした エラー(211)");
}

}  // namespace
