// The decryption wizard with scripted dialog answers.
#include <gtest/gtest.h>

#include "manager/decryption/decryption_job.h"
#include "manager/decryption/decryption_wizard.h"
#include "manager/dialogs/wizard_dialogs.h"
#include "manager/base/job_state.h"
#include "support/message_capture.h"
#include "support/test_files.h"
#include "support/narrow_paths.h"

namespace {

struct Script {
  LONG quitWhenStarted = -1;  // what the wizard left in quitRequested for the job
  int passwordAnswer = DIALOG_OK;
  std::string password = "pw";
  int browseAnswer = DIALOG_OK;
  std::string browseResult;
  std::string browseInitial;
  int browses = 0;
  int jobs = 0;
} script;

int fakePassword(int kind, WizardContext* c) {
  EXPECT_EQ(kind, PASSWORD_DECRYPT);
  if (script.passwordAnswer == DIALOG_OK && !script.password.empty())
    setContextText(&c->enteredPassword, script.password.c_str());
  return script.passwordAnswer;
}
int fakeBrowse(HWND, const wchar_t* initial, wchar_t* out, size_t cap) {
  ++script.browses;
  script.browseInitial = initial ? A(initial) : "";
  if (script.browseAnswer == DIALOG_OK) swprintf(out, cap, L"%ls", W(script.browseResult).c_str());
  return script.browseAnswer;
}
void fakeJob() {
  script.quitWhenStarted = jobState.quitRequested;
  ++script.jobs;
}

class DecryptionWizard : public ::testing::Test {
 protected:
  void SetUp() override {
    script = Script();
    resetJobState();
    saved_ = wizardDialogs;
    wizardDialogs.askPassword = fakePassword;
    wizardDialogs.browseForFolder = fakeBrowse;
    decryptionJobBody = fakeJob;
    setPath(jobState.moduleDir, "C:\\apps\\表\\");
  }
  void TearDown() override {
    decryptionJobBody = runDecryptionJob;
    wizardDialogs = saved_;
  }
  void waitForJob() {
    for (int i = 0; i < 200 && script.jobs == 0; ++i) Sleep(10);
  }
  WizardDialogs saved_;
  MessageCapture messages;
};

TEST_F(DecryptionWizard, ProposesTheProgramsFolderAndStartsTheJob) {
  TempDir restore;  // the folder chosen must be writable before the job starts
  script.browseResult = restore.path();
  runDecryptionWizard();
  waitForJob();
  EXPECT_EQ(script.browseInitial, "C:\\apps\\表\\");
  EXPECT_EQ(script.jobs, 1);
  EXPECT_EQ(A(jobState.outputPath), restore.path());
  EXPECT_STREQ(jobState.password, "pw");
  EXPECT_EQ(script.quitWhenStarted, 0);  // the worker asks for the end once the job is done
}

// A restore writes nothing to the temporary folder, so one too long for the
// encryption's working names does not keep it from starting.
TEST_F(DecryptionWizard, ATemporaryFolderTooLongForWorkingNamesDoesNotStopARestore) {
  TempDir restore;
  script.browseResult = restore.path();
  const std::string tmp = tempFolder(), tooLong = "C:\\" + std::string(2100, 'L');
  SetEnvironmentVariableA("TMP", tooLong.c_str());
  SetEnvironmentVariableA("TEMP", tooLong.c_str());
  runDecryptionWizard();
  waitForJob();
  SetEnvironmentVariableA("TMP", tmp.c_str());
  SetEnvironmentVariableA("TEMP", tmp.c_str());
  EXPECT_EQ(script.jobs, 1);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(DecryptionWizard, AFileNamedOnTheCommandLineProposesItsOwnFolder) {
  setPath(jobState.encryptedInputPath, "E:\\mail\\ソ\\a.crpt.ex_");
  script.browseAnswer = DIALOG_CANCEL;
  runDecryptionWizard();
  EXPECT_EQ(script.browseInitial, "E:\\mail\\ソ\\");
  EXPECT_EQ(script.jobs, 0);
  EXPECT_EQ(jobState.quitRequested, 1);
  EXPECT_EQ(jobState.password[0], '\0');
}

TEST_F(DecryptionWizard, CancelOrAnEmptyPasswordEndsSilently) {
  script.passwordAnswer = DIALOG_CANCEL;
  runDecryptionWizard();
  EXPECT_EQ(script.browses, 0);
  EXPECT_EQ(jobState.quitRequested, 1);
  resetJobState();
  script = Script();
  script.password = "";
  runDecryptionWizard();
  EXPECT_EQ(script.browses, 0);
  EXPECT_EQ(jobState.quitRequested, 1);
  EXPECT_TRUE(messages.texts().empty());
}

}  // namespace
