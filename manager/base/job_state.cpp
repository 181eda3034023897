#include "manager/base/job_state.h"

#include <stdlib.h>
#include <string.h>

#include "common/text_util.h"
#include "common/ui_language.h"

JobState jobState;

void resetJobState() {
  jobState.quitRequested = 0;
  jobState.writeLog = 1;
  jobState.containerFormat = 1;
  jobState.progressActive = 0;
  free(jobState.packCommand);
  jobState.packCommand = nullptr;
  jobState.outputPath[0] = '\0';
  jobState.mediaPath[0] = '\0';
  jobState.sourceListPath[0] = '\0';
  jobState.encryptedInputPath[0] = '\0';
  clearJobPassword();
  jobState.destinationMode = DESTINATION_NONE;
  jobState.modeFromCommandLine = 0;
  jobState.decryptExternalFile = 0;
  jobState.stopCode = 0;
  jobState.countOnly = 0;
  progressStore(&jobState.progressTotal, 0);
  progressStore(&jobState.progressDone, 0);
  jobState.statusText[0] = '\0';
}

void setStatusText(const wchar_t* text) {
  copyText(jobState.statusText, countOf(jobState.statusText), text);
}

namespace {

void jobTotal(int64_t total) { progressStore(&jobState.progressTotal, total); }
void jobDone(int64_t done) { progressStore(&jobState.progressDone, done); }
void jobAdvance(int64_t amount) { progressAdd(&jobState.progressDone, amount); }
void jobCountOnly(bool countOnly) { jobState.countOnly = countOnly ? 1 : 0; }
bool jobStopRequested() { return stopRequested(); }

// The words of the status line for the engines' stages.
void jobPhase(ProgressPhase phase) {
  static const UiText kTexts[] = {TEXT_STATUS_ENCRYPTING, TEXT_STATUS_DECRYPTING, TEXT_STATUS_WRITING_RESULT};
  reportStatus(jobProgress, uiText(kTexts[phase]));
}

}  // namespace

const Progress jobProgress = {setStatusText, jobPhase, jobTotal, jobDone, jobAdvance, jobCountOnly, jobStopRequested};

void clearJobPassword() {
  SecureZeroMemory(jobState.password, sizeof jobState.password);
}
