// The encryption wizard: password, file name, destination, folder or drive,
// write probe, then the job. Every dialog is reached through wizardDialogs.
#include "manager/encryption/encryption_wizard.h"

#include <stdlib.h>
#include <string.h>

#include "manager/encryption/result_names.h"
#include "manager/encryption/wizard_dialogs.h"
#include "manager/encryption/working_names.h"
#include "manager/encryption/write_probe.h"
#include "manager/startup/job_control.h"
#include "manager/startup/job_state.h"
#include "manager/startup/message_box.h"
#include "manager/startup/text_util.h"

namespace {

enum State { PASSWORD, FILE_NAME, DESTINATION, BRANCH, FOLDER, MEDIA, MAIL, PROBE, START, STARTED, NO_JOB };

void message(const char* text) { showMessage(jobState.mainWindow, text, nullptr, MB_OK); }

bool temporaryPlusName(const char* fileName, WizardContext* context) {
  char folder[2048];
  DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n >= sizeof folder) return false;
  char path[2049];
  if (!formatText(path, sizeof path, "%s%s", folder, fileName)) return false;
  return setContextText(&context->chosenPath, path);
}

// Copies the texts of the job into the record and starts it.
State start(WizardContext* context, const WorkingNames& names) {
  size_t size = strlen(context->pathList) + strlen(names.archive) + 8;
  char* command = static_cast<char*>(malloc(size));
  if (!command) return NO_JOB;
  formatText(command, size, "%s -o \"%s\"", context->pathList, names.archive);
  if (!copyText(jobState.outputPath, sizeof jobState.outputPath, context->chosenPath) ||
      !copyText(jobState.password, sizeof jobState.password, context->enteredPassword)) {
    free(command);
    clearJobPassword();
    message("指定出来るパスの長さを超えました");
    return NO_JOB;
  }
  free(jobState.packCommand);
  jobState.packCommand = command;
  copyText(jobState.tempArchivePath, sizeof jobState.tempArchivePath, names.archive);
  copyText(jobState.tempEncryptedPath, sizeof jobState.tempEncryptedPath, names.encrypted);
  copyText(jobState.sourceListPath, sizeof jobState.sourceListPath, names.sourceList);
  openProgressWindow();
  startJobThread(0);
  return STARTED;
}

}  // namespace

void runEncryptionWizard() {
  WizardContext context;
  clearWizardContext(&context);
  WorkingNames names;
  State state = PASSWORD;
  if (makeWorkingNames(&names) != 0) {
    message("一時フォルダのパスが長すぎるため、処理を開始できません。");
    state = NO_JOB;
  }
  context.pathList = jobState.pathListText ? jobState.pathListText : "";
  proposedResultPath(jobState.moduleDir, context.pathList, context.proposedPath, PROPOSED_PATH_SIZE);

  while (state != STARTED && state != NO_JOB) {
    switch (state) {
      case PASSWORD:
        state = wizardDialogs.askPassword(PASSWORD_ENCRYPT, &context) == DIALOG_OK && context.enteredPassword
                    ? FILE_NAME
                    : NO_JOB;
        break;
      case FILE_NAME:
        if (wizardDialogs.askFileName(&context) != DIALOG_OK || !context.fileName)
          state = NO_JOB;
        else
          state = jobState.modeFromCommandLine == 0 ? DESTINATION : BRANCH;
        break;
      case DESTINATION:
        state = wizardDialogs.chooseDestination() == DIALOG_OK ? BRANCH : NO_JOB;
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
        int result = wizardDialogs.askSaveAsPath(&context);
        if (result == DIALOG_OK && context.chosenPath) {
          state = PROBE;
        } else {
          if (result == SAVE_AS_PATH_TOO_LONG) message("指定出来るパスの長さを超えました");
          state = NO_JOB;
        }
        break;
      }
      case MEDIA: {
        if (wizardDialogs.chooseRemovableDrive(&context) != DIALOG_OK) {
          state = NO_JOB;
          break;
        }
        if (jobState.mediaPath[0] == '\0') {
          PathParts parts;
          splitPath(context.pathList, &parts);
          formatText(jobState.mediaPath, sizeof jobState.mediaPath, "%s%s", parts.drive, parts.dir);
        }
        if (!appendText(jobState.mediaPath, sizeof jobState.mediaPath, context.fileName) ||
            !temporaryPlusName(context.fileName, &context)) {
          message("指定出来るパスの長さを超えました");
          state = NO_JOB;
          break;
        }
        state = PROBE;
        break;
      }
      case MAIL:
        state = temporaryPlusName(context.fileName, &context) ? START : NO_JOB;
        break;
      case PROBE: {
        bool media = jobState.destinationMode == DESTINATION_REMOVABLE;
        char folder[2049];
        folderOfPath(media ? jobState.mediaPath : context.chosenPath, folder, sizeof folder);
        if (probeFolder(folder, "Test") == PROBE_OK) {
          state = START;
        } else if (media) {
          message("指定したメディアに書込みできません。");
          state = NO_JOB;
        } else {
          message("書込み権限がありません");
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
