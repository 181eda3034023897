// The encryption wizard's state machine, with scripted dialog answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "manager/encryption/encryption_wizard.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/encryption/encryption_job.h"
#include "manager/base/job_state.h"
#include "support/message_capture.h"
#include "support/test_files.h"
#include "support/narrow_paths.h"

namespace {

struct Script {
  LONG quitWhenStarted = -1;  // what the wizard left in quitRequested for the job
  std::deque<int> passwordAnswers, fileNameAnswers, destinationAnswers, mediaAnswers, saveAsAnswers;
  std::deque<std::string> saveAsPaths;  // chosenPath for each OK of the save-as dialog
  std::string password = "secret", fileName = "doc.crpt.exe", mediaRoot;
  int destination = 0;
  std::vector<std::string> calls;
  int jobsStarted = 0;
} script;

int next(std::deque<int>* answers) {
  if (answers->empty()) return DIALOG_CANCEL;
  int a = answers->front();
  answers->pop_front();
  return a;
}

int fakePassword(int kind, WizardContext* c) {
  script.calls.push_back("password" + std::to_string(kind));
  int a = next(&script.passwordAnswers);
  if (a == DIALOG_OK) setContextText(&c->enteredPassword, script.password.c_str());
  return a;
}
int fakeFileName(WizardContext* c) {
  script.calls.push_back("fileName:" + A(c->proposedPath));
  int a = next(&script.fileNameAnswers);
  if (a == DIALOG_OK) setContextText(&c->fileName, W(script.fileName).c_str());
  return a;
}
int fakeDestination() {
  script.calls.push_back("destination");
  int a = next(&script.destinationAnswers);
  if (a == DIALOG_OK) jobState.destinationMode = script.destination;
  return a;
}
int fakeMedia(WizardContext*) {
  script.calls.push_back("media");
  int a = next(&script.mediaAnswers);
  if (a == DIALOG_OK && !script.mediaRoot.empty())
    setPath(jobState.mediaPath, script.mediaRoot);
  return a;
}
int fakeSaveAs(WizardContext* c) {
  script.calls.push_back("saveAs");
  int a = next(&script.saveAsAnswers);
  if (a == DIALOG_OK) {
    setContextText(&c->chosenPath, W(script.saveAsPaths.front()).c_str());
    script.saveAsPaths.pop_front();
  }
  return a;
}
int fakeBrowse(HWND, const wchar_t*, wchar_t*, size_t) { return DIALOG_CANCEL; }
void fakeJob() {
  script.quitWhenStarted = jobState.quitRequested;
  ++script.jobsStarted;
}

class EncryptionWizard : public ::testing::Test {
 protected:
  void SetUp() override {
    script = Script();
    resetJobState();
    saved_ = wizardDialogs;
    wizardDialogs = {fakePassword, fakeBrowse};
    savedOwn_ = encryptionDialogs;
    encryptionDialogs = {fakeFileName, fakeDestination, fakeMedia, fakeSaveAs};
    encryptionJobBody = fakeJob;
    setPath(jobState.moduleDir, dir.path() + "\\");
    setPathList("\"" + (dir / "src.txt") + "\"");
  }
  void TearDown() override {
    encryptionJobBody = runEncryptionJob;
    wizardDialogs = saved_;
    encryptionDialogs = savedOwn_;
    free(jobState.packCommand);
    jobState.packCommand = nullptr;
  }
  void waitForJob() {
    for (int i = 0; i < 200 && script.jobsStarted == 0; ++i) Sleep(10);
  }
  std::vector<std::string> expectNoJob() {
    EXPECT_EQ(jobState.quitRequested, 1);
    EXPECT_EQ(jobState.packCommand, nullptr);
    EXPECT_EQ(jobState.password[0], '\0');
    return script.calls;
  }
  void setPathList(const std::string& list) {
    pathList = list;
    widePathList = W(list);
    jobState.pathListText = widePathList.c_str();
  }
  WizardDialogs saved_;
  EncryptionDialogs savedOwn_;
  TempDir dir;
  std::string pathList;
  std::wstring widePathList;
  MessageCapture messages;
};

TEST_F(EncryptionWizard, FolderModeFromTheCommandLineStartsTheJob) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 0;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.saveAsAnswers = {1};
  std::string chosen = dir / "out.crpt.exe";
  writeFile(chosen, "an older result");
  script.saveAsPaths = {chosen};
  runEncryptionWizard();
  ASSERT_EQ(script.calls.size(), 3u);
  EXPECT_EQ(script.calls[0], "password0");
  EXPECT_EQ(script.calls[1], "fileName:" + (dir / "src.exe"));
  EXPECT_EQ(script.calls[2], "saveAs");
  waitForJob();
  EXPECT_EQ(script.jobsStarted, 1);
  EXPECT_EQ(script.quitWhenStarted, 0);  // the worker asks for the end once the job is done
  EXPECT_EQ(A(jobState.outputPath), chosen.c_str());
  EXPECT_STREQ(jobState.password, "secret");
  EXPECT_EQ(A(jobState.packCommand), pathList);  // the selection as the file manager gave it
  std::string list = A(jobState.sourceListPath);
  EXPECT_EQ(list.substr(list.size() - 4), ".prc");
  // The write probe used a name of its own: the older result is untouched.
  EXPECT_EQ(readFile(chosen), "an older result");
  EXPECT_EQ(listFolder(dir.path()).size(), 1u);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(EncryptionWizard, DestinationDialogChoosesMailWithoutFolderDialogsOrProbes) {
  jobState.modeFromCommandLine = 0;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.destinationAnswers = {1};
  script.destination = 2;
  runEncryptionWizard();
  ASSERT_EQ(script.calls.size(), 3u);
  EXPECT_EQ(script.calls[2], "destination");
  waitForJob();
  EXPECT_EQ(script.jobsStarted, 1);
  EXPECT_EQ(A(jobState.outputPath), tempFolder() + "doc.crpt.exe");
}

TEST_F(EncryptionWizard, RemovableModeProbesTheMediaAndPlansTheMove) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 1;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.mediaAnswers = {1};
  TempDir media;
  script.mediaRoot = media.path() + "\\";
  runEncryptionWizard();
  waitForJob();
  EXPECT_EQ(script.jobsStarted, 1);
  EXPECT_EQ(A(jobState.mediaPath), media / "doc.crpt.exe");
  EXPECT_EQ(A(jobState.outputPath), tempFolder() + "doc.crpt.exe");
  EXPECT_TRUE(listFolder(media.path()).empty());
}

TEST_F(EncryptionWizard, ResultOfTheSameNameOnTheMediaIsReplacedOnlyWhenTheUserSaysSo) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 1;
  TempDir media;
  writeFile(media / "doc.crpt.exe", "an earlier result");
  script.mediaRoot = media.path() + "\\";
  const std::string question = media / "doc.crpt.exe" + " は既に存在します。\r\n上書きしますか?";
  // No: back to the media dialog (cancelled there).
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.mediaAnswers = {1, 2};
  messages.answerWith(IDNO);
  runEncryptionWizard();
  expectNoJob();
  EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "media"), 2);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, question);
  EXPECT_EQ(messages.messages()[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
  EXPECT_EQ(readFile(media / "doc.crpt.exe"), "an earlier result");
  // Yes: the job goes ahead with that name.
  script = Script();
  resetJobState();
  jobState.pathListText = widePathList.c_str();
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 1;
  script.mediaRoot = media.path() + "\\";
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.mediaAnswers = {1};
  messages.answerWith(IDYES);
  runEncryptionWizard();
  waitForJob();
  EXPECT_EQ(script.jobsStarted, 1);
  EXPECT_EQ(A(jobState.mediaPath), media / "doc.crpt.exe");
}

TEST_F(EncryptionWizard, NoRemovableDriveAndAQuotedPathListEndsWithTheMediaMessage) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 1;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.mediaAnswers = {1};  // the list was empty: mediaPath stays empty
  runEncryptionWizard();
  expectNoJob();
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "指定したメディアに書込みできません。");
  EXPECT_EQ(script.jobsStarted, 0);
}

TEST_F(EncryptionWizard, MediaThatCannotBeWrittenEndsWithTheMediaMessage) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 1;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.mediaAnswers = {1};
  script.mediaRoot = dir / "no-such-drive\\";
  runEncryptionWizard();
  expectNoJob();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"指定したメディアに書込みできません。"});
}

TEST_F(EncryptionWizard, InvalidModesAskPasswordAndNameThenEndWithoutAJob) {
  for (long mode : {7L, -1L}) {
    script = Script();
    resetJobState();
    jobState.pathListText = widePathList.c_str();
    jobState.modeFromCommandLine = 1;
    jobState.destinationMode = mode;
    script.passwordAnswers = {1};
    script.fileNameAnswers = {1};
    runEncryptionWizard();
    auto calls = expectNoJob();
    EXPECT_EQ(calls.size(), 2u) << mode;
    EXPECT_TRUE(messages.texts().empty());
  }
}

TEST_F(EncryptionWizard, CancelAtAnyStepEndsWithoutATraceOnDisk) {
  auto before = tempFilesWithPrefix("TmpCrp_");
  for (int step = 0; step < 4; ++step) {
    script = Script();
    resetJobState();
    jobState.pathListText = widePathList.c_str();
    jobState.modeFromCommandLine = 0;
    script.destination = 0;
    script.passwordAnswers = {step == 0 ? 2 : 1};
    script.fileNameAnswers = {step == 1 ? 2 : 1};
    script.destinationAnswers = {step == 2 ? 2 : 1};
    script.saveAsAnswers = {step == 3 ? 0 : 1};
    runEncryptionWizard();
    auto calls = expectNoJob();
    EXPECT_EQ(calls.size(), static_cast<size_t>(step + 1));
    EXPECT_EQ(script.jobsStarted, 0);
  }
  EXPECT_EQ(tempFilesWithPrefix("TmpCrp_"), before);
  EXPECT_TRUE(listFolder(dir.path()).empty());
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(EncryptionWizard, UnwritableFolderBringsTheSaveAsDialogBack) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 0;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.saveAsAnswers = {1, 1};
  script.saveAsPaths = {dir / "missing\\x.exe", dir / "x.exe"};
  runEncryptionWizard();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"書込み権限がありません"});
  EXPECT_EQ(std::count(script.calls.begin(), script.calls.end(), "saveAs"), 2);
  waitForJob();
  EXPECT_EQ(script.jobsStarted, 1);
  EXPECT_EQ(A(jobState.outputPath), dir / "x.exe");
}

TEST_F(EncryptionWizard, TooLongInitialPathEndsWithItsMessage) {
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 0;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {1};
  script.saveAsAnswers = {SAVE_AS_PATH_TOO_LONG};
  runEncryptionWizard();
  expectNoJob();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"指定出来るパスの長さを超えました"});
}

TEST_F(EncryptionWizard, ProposedPathComesFromTheLastSource) {
  setPathList("\"" + (dir / "a.txt") + "\" \"" + (dir / "表") + "\"");
  jobState.modeFromCommandLine = 1;
  jobState.destinationMode = 2;
  script.passwordAnswers = {1};
  script.fileNameAnswers = {2};
  runEncryptionWizard();
  ASSERT_EQ(script.calls.size(), 2u);
  EXPECT_EQ(script.calls[1], "fileName:" + (dir / "表.exe"));
  jobState.pathListText = L"";
  script = Script();
  script.passwordAnswers = {1};
  script.fileNameAnswers = {2};
  runEncryptionWizard();
  EXPECT_EQ(script.calls[1], "fileName:" + (dir / "暗号化ファイル.exe"));
}

}  // namespace
