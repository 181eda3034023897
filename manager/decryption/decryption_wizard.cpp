// The decryption wizard: password and output folder, then the job.
#include "manager/decryption/decryption_wizard.h"

#include "common/text_util.h"
#include "manager/dialogs/wizard_dialogs.h"
#include "manager/decryption/decryption_job.h"
#include "manager/dialogs/write_probe.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"

JobBody decryptionJobBody = runDecryptionJob;

// The folder a result proposes: its own folder (the file named on the command
// line, or the running program), with a trailing backslash.
void defaultOutputFolder(wchar_t* out, size_t cap) {
  const wchar_t* source = jobState.encryptedInputPath[0] ? jobState.encryptedInputPath : jobState.moduleDir;
  WidePathParts parts;
  splitPath(source, &parts);
  formatText(out, cap, L"%ls%ls", parts.drive, parts.dir);
  if (out[0] && !endsWithSeparator(out)) appendText(out, cap, L"\\");
}

int settleOutputFolder() {
  for (;;) {
    removeTrailingBackslash(jobState.outputPath);
    int probe = probeFolder(jobState.outputPath, "test");
    if (probe != PROBE_NOT_WRITABLE) return probe;
    wchar_t chosen[2049] = L"";
    if (wizardDialogs.browseForFolder(jobState.mainWindow, jobState.outputPath, chosen, 2048) != DIALOG_OK)
      return PROBE_NOT_WRITABLE;
    if (chosen[0]) copyText(jobState.outputPath, countOf(jobState.outputPath), chosen);
  }
}

void runDecryptionWizard() {
  WizardContext context;
  clearWizardContext(&context);
  bool started = false;
  if (wizardDialogs.askPassword(PASSWORD_DECRYPT, &context) == DIALOG_OK && context.enteredPassword &&
      context.enteredPassword[0]) {
    wchar_t folder[2049];
    defaultOutputFolder(folder, countOf(folder));
    wchar_t chosen[2049] = L"";
    if (wizardDialogs.browseForFolder(jobState.mainWindow, folder, chosen, 2048) == DIALOG_OK &&
        copyText(jobState.password, sizeof jobState.password, context.enteredPassword)) {
      copyText(jobState.outputPath, countOf(jobState.outputPath), chosen);
      int settled = settleOutputFolder();
      if (settled == PROBE_OK) {
        openProgressWindow();
        startJobThread(decryptionJobBody);
        started = true;
      } else {
        char buffer[1024];
        showMessage(nullptr, decryptionResultMessage(settled, buffer, sizeof buffer), nullptr, MB_OK);
      }
    }
  }
  releaseWizardContext(&context);
  if (!started) {
    clearJobPassword();
    jobState.quitRequested = 1;
  }
}
