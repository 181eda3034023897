// The decryption worker: writable-folder check, split, decrypt, extract.
#include "manager/decryption/decryption_job.h"

#include <stdio.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "manager/archive/extractor.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container.h"
#include "manager/encryption/wizard_dialogs.h"
#include "manager/encryption/write_probe.h"
#include "manager/startup/job_control.h"
#include "manager/startup/job_state.h"
#include "manager/startup/message_box.h"

int mapExtractionResult(int code) {
  if (code >= EXTRACT_PARTIAL) return (code & DISK_FULL) ? 7 : 10;
  // An archive without a valid first entry came from a wrong password that
  // passed the container's short check.
  if (code == EXTRACT_NO_FIRST_ENTRY) return 80;
  return code;
}

const char* decryptionResultMessage(int code, char* buffer, size_t cap) {
  switch (code) {
    case 5: case 7: case 207:
      return "ファイルが書けません。\r\nディスク容量、書き込み権限、ファイル名の長さを確認してください";
    case 9:
      return "元に戻すファイルパスが長すぎます";
    case 10:
      return "書庫化したファイルを戻せませんでした";
    case 80:
      return "復号出来ませんでした。\r\nパスワードを確認してください";
    case 99:
      return "処理を中断しました。";
  }
  formatText(buffer, cap, "正常に処理出来ませんでした。 エラー(%d)", code);
  return buffer;
}

// Finds a writable output folder; the folder browser comes back until the
// user picks one or gives up (4).
static int checkOutputFolder() {
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

static int runSteps() {
  wchar_t source[2048];
  if (jobState.decryptExternalFile == 1) {
    copyText(source, countOf(source), jobState.encryptedInputPath);
  } else {
    DWORD n = GetModuleFileNameW(nullptr, source, countOf(source));
    if (n == 0 || n >= countOf(source)) return SPLIT_CANNOT_OPEN;
  }
  int result = SplitSelfMeltFile(source, jobState.tempEncryptedPath, jobProgress);
  if (result != 0) return result;
  result = decryptArchive(jobState.tempEncryptedPath, jobState.tempArchivePath, jobState.password, jobProgress);
  clearJobPassword();
  if (result != 0) return result;
  wchar_t command[2 * 2049 + 16];
  if (!formatText(command, countOf(command), L"-i \"%ls\" -o \"%ls\"", jobState.tempArchivePath,
                  jobState.outputPath))
    return EXTRACT_PATH_TOO_LONG;
  return mapExtractionResult(runExtraction(command, jobState.moduleDir, jobProgress));
}

void runDecryptionJob() {
  // The decrypted archive holds the files unencrypted: no working file
  // outlives the process, however it ends.
  WorkingFile container(jobState.tempEncryptedPath), archive(jobState.tempArchivePath);
  int result = checkOutputFolder();
  jobState.countOnly = 0;
  jobState.progressActive = 1;
  if (result == 0) result = runSteps();
  clearJobPassword();
  jobState.progressActive = 0;
  closeProgressWindow();
  archive.release();
  container.release();
  if (result != 0) {
    char buffer[1024];
    showMessage(nullptr, decryptionResultMessage(result, buffer, sizeof buffer), nullptr, MB_OK);
  }
  jobState.quitRequested = 1;
}
