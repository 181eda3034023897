// Until the encryption and decryption workflows are built, the program says so
// and ends instead of running a job.
#include "manager/decryption/decryption_job.h"
#include "manager/decryption/decryption_wizard.h"
#include "manager/encryption/encryption_job.h"
#include "manager/encryption/encryption_wizard.h"
#include "manager/startup/job_state.h"
#include "manager/startup/message_box.h"

static void notAvailable() {
  showMessage(jobState.mainWindow, "この機能はまだ使用できません", nullptr, MB_OK | MB_ICONINFORMATION);
  jobState.quitRequested = 1;
}
void runEncryptionWizard() { notAvailable(); }
void runDecryptionWizard() { notAvailable(); }
void runEncryptionJob() { jobState.quitRequested = 1; }
void runDecryptionJob() { jobState.quitRequested = 1; }
