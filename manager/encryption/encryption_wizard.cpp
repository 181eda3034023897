// The encryption wizard: password, file name, destination, folder or drive,
// write probe, then the job. Every dialog is reached through wizardDialogs.
#include "manager/encryption/encryption_wizard.h"

#include <stdlib.h>
#include <string.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "manager/encryption/result_names.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/encryption/encryption_job.h"
#include "manager/dialogs/working_names.h"
#include "manager/dialogs/write_probe.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"

JobBody encryptionJobBody = runEncryptionJob;

namespace {

enum State { PASSWORD, FILE_NAME, DESTINATION, BRANCH, FOLDER, MEDIA, MAIL, PROBE, START, STARTED, NO_JOB };

void message(const char* text) { showMessage(jobState.mainWindow, text, nullptr, MB_OK); }

bool temporaryPlusName(const wchar_t* fileName, WizardContext* context) {
  wchar_t folder[2048];
  DWORD n = GetTempPathW(countOf(folder), folder);
  if (n == 0 || n >= countOf(folder)) return false;
  wchar_t path[2049];
  if (!formatText(path, countOf(path), L"%ls%ls", folder, fileName)) return false;
  return setContextText(&context->chosenPath, path);
}

// A file of the result's name on the medium is replaced only when the user
// says so, as the save-as dialog asks for a folder.
bool mayReplaceOnMedia(const wchar_t* path) {
  if (!pathExists(path)) return true;
  wchar_t text[1024];
  formatPathMessage(text, countOf(text), uiText(TEXT_REPLACE_ON_MEDIA), path);
  return showMessage(jobState.mainWindow, text, nullptr, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

// Copies the texts of the job into the record and starts it.
State start(WizardContext* context, const WorkingNames& names) {
  size_t size = textLength(context->pathList) + 1;
  wchar_t* command = static_cast<wchar_t*>(malloc(size * sizeof(wchar_t)));
  if (!command) return NO_JOB;
  copyText(command, size, context->pathList);
  if (!copyText(jobState.outputPath, countOf(jobState.outputPath), context->chosenPath) ||
      !copyText(jobState.password, sizeof jobState.password, context->enteredPassword)) {
    free(command);
    clearJobPassword();
    message(uiText(TEXT_PATH_TOO_LONG));
    return NO_JOB;
  }
  free(jobState.packCommand);
  jobState.packCommand = command;
  copyText(jobState.sourceListPath, countOf(jobState.sourceListPath), names.sourceList);
  openProgressWindow();
  startJobThread(encryptionJobBody);
  return STARTED;
}

}  // namespace

void runEncryptionWizard() {
  WizardContext context;
  clearWizardContext(&context);
  WorkingNames names;
  State state = PASSWORD;
  if (makeWorkingNames(&names) != 0) {
    message(uiText(TEXT_TEMP_PATH_TOO_LONG));
    state = NO_JOB;
  }
  context.pathList = jobState.pathListText ? jobState.pathListText : L"";
  proposedResultPath(jobState.moduleDir, context.pathList, context.proposedPath, PROPOSED_PATH_SIZE);

  while (state != STARTED && state != NO_JOB) {
    switch (state) {
      case PASSWORD:
        state = wizardDialogs.askPassword(PASSWORD_ENCRYPT, &context) == DIALOG_OK && context.enteredPassword
                    ? FILE_NAME
                    : NO_JOB;
        break;
      case FILE_NAME:
        if (encryptionDialogs.askFileName(&context) != DIALOG_OK || !context.fileName)
          state = NO_JOB;
        else
          state = jobState.modeFromCommandLine == 0 ? DESTINATION : BRANCH;
        break;
      case DESTINATION:
        state = encryptionDialogs.chooseDestination() == DIALOG_OK ? BRANCH : NO_JOB;
        break;
      case BRANCH:
        switch (jobState.destinationMode) {
          case DESTINATION_FOLDER: state = FOLDER; break;
          case DESTINATION_REMOVABLE: state = MEDIA; break;
          case DESTINATION_MAIL: state = MAIL; break;
          default: state = NO_JOB; break;
        }
        break;
      case FOLDER: {
        int result = encryptionDialogs.askSaveAsPath(&context);
        if (result == DIALOG_OK && context.chosenPath) {
          state = PROBE;
        } else {
          if (result == SAVE_AS_PATH_TOO_LONG) message(uiText(TEXT_PATH_TOO_LONG));
          state = NO_JOB;
        }
        break;
      }
      case MEDIA: {
        if (encryptionDialogs.chooseRemovableDrive(&context) != DIALOG_OK) {
          state = NO_JOB;
          break;
        }
        if (jobState.mediaPath[0] == 0) {
          WidePathParts parts;
          splitPath(context.pathList, &parts);
          formatText(jobState.mediaPath, countOf(jobState.mediaPath), L"%ls%ls", parts.drive, parts.dir);
        }
        if (!appendText(jobState.mediaPath, countOf(jobState.mediaPath), context.fileName) ||
            !temporaryPlusName(context.fileName, &context)) {
          message(uiText(TEXT_PATH_TOO_LONG));
          state = NO_JOB;
          break;
        }
        if (!mayReplaceOnMedia(jobState.mediaPath)) {
          jobState.mediaPath[0] = 0;
          break;  // back to the media dialog
        }
        state = PROBE;
        break;
      }
      case MAIL:
        state = temporaryPlusName(context.fileName, &context) ? START : NO_JOB;
        break;
      case PROBE: {
        bool media = jobState.destinationMode == DESTINATION_REMOVABLE;
        wchar_t folder[2049];
        folderOfPath(media ? jobState.mediaPath : context.chosenPath, folder, countOf(folder));
        if (probeFolder(folder, "Test") == PROBE_OK) {
          state = START;
        } else if (media) {
          message(uiText(TEXT_MEDIA_NOT_WRITABLE));
          state = NO_JOB;
        } else {
          message(uiText(TEXT_NO_WRITE_PERMISSION));
          state = FOLDER;
        }
        break;
      }
      case START:
        state = start(&context, names);
        break;
      default:
        state = NO_JOB;
        break;
    }
  }
  releaseWizardContext(&context);
  if (state == NO_JOB) jobState.quitRequested = 1;
}
