// The encryption worker: pack, encrypt, assemble, deliver, log.
#include "manager/encryption/encryption_job.h"

#include <stdlib.h>

#include "manager/archive/packer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container.h"
#include "manager/encryption/delivery.h"
#include "manager/encryption/mail_attachment.h"
#include "manager/encryption/operation_log.h"
#include "manager/encryption/working_names.h"
#include "manager/startup/job_control.h"
#include "manager/startup/job_state.h"
#include "manager/startup/message_box.h"
#include "manager/startup/text_util.h"

const char* encryptionResultMessage(int code, char* buffer, size_t cap) {
  switch (code) {
    case 1:
      return "暗号化するファイルをドラックしてください";
    case 37: case 38: case 39: case 46: case 207:
      return "ファイルが書けません。\r\nディスク容量、書き込み権限を確認してください";
    case 9:
      return "処理中に長すぎるファイル名がありました。\r\n処理を中断します。";
    case 99: case 299:
      return "処理を中断しました";
  }
  formatText(buffer, cap, "正常に処理出来ませんでした エラー(%d)", code);
  return buffer;
}

static int runSteps() {
  if (jobState.packCommand == nullptr) return 1;
  int result = buildArchive(jobState.packCommand);
  if (result != 0) return result;
  result = encryptArchive(jobState.tempArchivePath, jobState.tempEncryptedPath, jobState.password);
  clearJobPassword();  // no longer needed once the container is written
  if (result != 0) return result;
  char program[2048];
  DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
  if (n == 0 || n >= sizeof program) return ASSEMBLY_OPEN_INPUT;
  return assembleSelfDecryptingFile(jobState.outputPath, program, jobState.tempEncryptedPath);
}

static bool deliver() {
  switch (jobState.destinationMode) {
    case DESTINATION_REMOVABLE: {
      bool moved = deliverToMedia(jobState.outputPath, jobState.mediaPath);
      if (!moved) {
        char text[1024];
        formatMediaCopyFailure(text, sizeof text, jobState.outputPath, jobState.mediaPath);
        showMessage(nullptr, text, nullptr, MB_OK);
      }
      DeleteFileA(jobState.outputPath);
      return moved;
    }
    case DESTINATION_MAIL: {
      int mailed = attachToMail(jobState.outputPath);
      if (mailed != 0) showMessage(nullptr, "メール添付", nullptr, MB_OK);
      DeleteFileA(jobState.outputPath);
      return mailed == 0;
    }
    default:
      return true;  // saved into the folder the user chose
  }
}

void runEncryptionJob() {
  char startText[64];
  localTimeText(startText, sizeof startText, 1);
  long long startSeconds = currentSeconds();
  jobState.progressActive = 1;
  jobState.countOnly = 0;

  int result = runSteps();
  clearJobPassword();

  jobState.progressActive = 0;
  closeProgressWindow();
  DeleteFileA(jobState.tempArchivePath);
  DeleteFileA(jobState.tempEncryptedPath);
  free(jobState.packCommand);
  jobState.packCommand = nullptr;

  if (result != 0) {
    char buffer[1024];
    showMessage(nullptr, encryptionResultMessage(result, buffer, sizeof buffer), nullptr, MB_OK);
  } else if (deliver() && jobState.writeLog) {
    appendOperationLog(startText, startSeconds);
  }
  DeleteFileA(jobState.sourceListPath);
  jobState.quitRequested = 1;
}
