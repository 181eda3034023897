// The decryption worker: the result's container, read in place, into the extractor.
#include "manager/decryption/decryption_job.h"

#include <windows.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/wide_text.h"
#include "common/unique_handle.h"
#include "manager/archive/entry_stream.h"
#include "manager/archive/extractor.h"
#include "manager/archive/self_decrypting.h"
#include "manager/archive/target_path.h"
#include "manager/archive/zone_mark.h"
#include "manager/cipher/container.h"
#include "manager/cipher/container_stream.h"
#include "manager/decryption/replace_dialog.h"
#include "manager/dialogs/job_messages.h"
#include "manager/dialogs/write_probe.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"

static_assert(static_cast<int>(DECRYPTION_NOT_RESTORED) == EXTRACT_DAMAGED &&
                  static_cast<int>(DECRYPTION_WRONG_PASSWORD) == CONTAINER_BAD_HEADER,
              "the job's own results share their numbers and messages with those of its steps");

int mapExtractionResult(int code) {
  switch (code) {
    case EXTRACT_PARTIAL_UNPACK: return DECRYPTION_NOT_RESTORED;
    case EXTRACT_PARTIAL_DISK_FULL:
    case EXTRACT_PARTIAL_BOTH: return DECRYPTION_CANNOT_WRITE;
    // An archive without a valid first entry came from a wrong password that
    // passed the container's short check.
    case EXTRACT_NO_FIRST_ENTRY: return DECRYPTION_WRONG_PASSWORD;
    default: return code;
  }
}

const char* decryptionResultMessage(int code, char* buffer, size_t cap, const wchar_t* path) {
  char name[640] = "";
  if (path) wideToAnsiMarked(path, name, sizeof name);  // cut on a character boundary
  switch (code) {
    case DECRYPTION_CANNOT_WRITE:
      return uiText(TEXT_DECRYPT_CANNOT_WRITE);
    case EXTRACT_PATH_TOO_LONG:
      return uiText(TEXT_RESTORE_PATH_TOO_LONG);
    case DECRYPTION_NOT_RESTORED:  // and the extractor's damaged archive or folder entry
      if (name[0] == 0) return uiText(TEXT_NOT_RESTORED);
      formatText(buffer, cap, uiText(TEXT_NOT_RESTORED_NAMED), name);
      return buffer;
    case EXTRACT_FOLDER_CLASH:
      formatText(buffer, cap, uiText(TEXT_FOLDER_CLASH), name);
      return buffer;
    case EXTRACT_FOLDER_KEPT:
      formatText(buffer, cap, uiText(TEXT_FOLDER_KEPT), name);
      return buffer;
    case DECRYPTION_WRONG_PASSWORD:  // and the container's failed header check
      return uiText(TEXT_WRONG_PASSWORD);
  }
  return jobEndMessage(code, TEXT_DECRYPT_STOPPED, TEXT_DECRYPT_FAILED, buffer, cap);
}

namespace {

struct ReplaceRequest {
  const ReplaceFacts* facts;
  ReplaceAnswer answer;
};

void askOnMainThread(void* context) {
  ReplaceRequest* request = static_cast<ReplaceRequest*>(context);
  request->answer = askReplaceFunction(jobState.progressWindow, *request->facts);
}

// The extractor's question, put to the user by the main thread.
ReplaceAnswer askReplace(void*, const ReplaceFacts& facts) {
  ReplaceRequest request = {&facts, ANSWER_STOP};
  runOnMainThread(askOnMainThread, &request);
  return request.answer;
}

wchar_t failedPath[2049];  // the file or folder the message names

}  // namespace

// The files come straight out of the result: its container is read where it
// lies and deciphered as the extractor goes, with nothing written anywhere
// but the restored files.
static int runSteps() {
  removeTrailingBackslash(jobState.outputPath);
  wchar_t source[2048];
  if (jobState.decryptExternalFile == 1) {
    copyText(source, countOf(source), jobState.encryptedInputPath);
  } else {
    DWORD n = GetModuleFileNameW(nullptr, source, countOf(source));
    if (n == 0 || n >= countOf(source)) return SPLIT_CANNOT_OPEN;
  }
  // What it restores carries the result's own mark of where it came from.
  const int zone = zoneOfFile(source);
  // Held with writing denied until the job ends: what was checked is what is
  // restored.
  UniqueFile result(openResultForReading(source));
  if (!result) return SPLIT_CANNOT_OPEN;
  uint64_t start = 0, length = 0;
  int code = findPayload(result.get(), &start, &length);
  if (code != SPLIT_OK) return code;
  ContainerReader reader;
  code = reader.open(result.get(), start, length, jobState.password, jobProgress);
  clearJobPassword();
  if (code != CONTAINER_OK) return code;
  static wchar_t outputFolder[2049];
  if (makeAbsolutePathFrom(outputFolder, jobState.outputPath, jobState.moduleDir) != 0) return EXTRACT_PATH_TOO_LONG;
  ContainerSource archive(&reader);
  ExtractSetup setup = {&jobProgress, askReplace, nullptr, failedPath, countOf(failedPath), zone};
  code = extractArchiveFrom(&archive, outputFolder, setup);
  // A piece of the container that failed to read ends the archive early:
  // the container's code says why.
  if (reader.result() != CONTAINER_OK) return reader.result();
  return mapExtractionResult(code);
}

void runDecryptionJob() {
  failedPath[0] = 0;
  int result = runSteps();
  endJobSteps();
  if (result != DECRYPTION_OK) {
    char buffer[1024];
    showMessage(nullptr, decryptionResultMessage(result, buffer, sizeof buffer, failedPath), nullptr, MB_OK);
  }
}
