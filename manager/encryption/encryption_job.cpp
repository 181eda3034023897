// The encryption worker: pack, encrypt, assemble, deliver, log.
#include "manager/encryption/encryption_job.h"

#include <stdlib.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "manager/archive/data_form.h"
#include "manager/archive/packer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container.h"
#include "manager/dialogs/job_messages.h"
#include "manager/encryption/delivery.h"
#include "manager/encryption/mail_attachment.h"
#include "manager/encryption/operation_log.h"
#include "manager/encryption/result_writer.h"
#include "manager/encryption/source_list.h"
#include "manager/dialogs/working_names.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"

const char* encryptionResultMessage(int code, char* buffer, size_t cap) {
  switch (code) {
    case ENCRYPTION_NOTHING_TO_PACK:  // and the packer without memory for the selection
      return uiText(TEXT_NOTHING_TO_PACK);
    case PACK_ARCHIVE_UNWRITABLE:
    case ASSEMBLY_WRITE:
    case ASSEMBLY_WRITE_LENGTH:
    case ASSEMBLY_WRITE_MARKER:
    case ASSEMBLY_DISK_FULL:
    case CONTAINER_WRITE_FAILED:
      return uiText(TEXT_ENCRYPT_CANNOT_WRITE);
    case PACK_SOURCE_FAILED:
      return uiText(TEXT_ENCRYPT_NAME_TOO_LONG);
  }
  return jobEndMessage(code, TEXT_ENCRYPT_STOPPED, TEXT_ENCRYPT_FAILED, buffer, cap);
}

// The message for a packing failure that names its item, or null for one
// that does not.
const char* packProblemMessage(int code) {
  static const struct {
    int code;
    UiText text;
  } kNamed[] = {{PACK_NOT_FOUND, TEXT_PACK_NOT_FOUND},         {PACK_UNREADABLE, TEXT_PACK_UNREADABLE},
                {PACK_IN_USE, TEXT_PACK_IN_USE},               {PACK_NOT_STORABLE, TEXT_PACK_NOT_STORABLE},
                {PACK_DRIVE_ROOT, TEXT_PACK_DRIVE_ROOT},       {PACK_NAME_CLASH, TEXT_PACK_NAME_CLASH}};
  for (const auto& named : kNamed)
    if (named.code == code) return uiText(named.text);
  return nullptr;
}

namespace {

PackProblem packProblem;

// The selection goes straight into the result: packed, enciphered and
// written as it is read, with no archive or container of its own on a disk.
int runSteps() {
  if (jobState.packCommand == nullptr) return ENCRYPTION_NOTHING_TO_PACK;
  wchar_t program[2048];
  DWORD n = GetModuleFileNameW(nullptr, program, countOf(program));
  if (n == 0 || n >= countOf(program)) return ASSEMBLY_OPEN_INPUT;
  ResultWriter result(jobState.outputPath);
  // A result named as data carries no program.
  int code = result.begin(isDataFormName(jobState.outputPath) ? nullptr : program, jobState.containerFormat,
                          jobState.password, jobProgress);
  clearJobPassword();  // the container's keys are derived
  if (code != 0) return code;
  // A result saved into a selected folder, and the files being written for
  // it, are no part of the selection.
  const wchar_t* const ownFiles[] = {jobState.outputPath, result.workingPath(), result.spillPath(),
                                     jobState.sourceListPath, nullptr};
  code = packForJob(jobState.packCommand, &packProblem, &result, ownFiles);
  if (code != PACK_OK) return result.cipherFailed() ? CONTAINER_NO_CIPHER : code;
  return result.finish();
}

void reportFailure(int result) {
  const char* named = packProblemMessage(result);
  if (named != nullptr && packProblem.code == result) {
    wchar_t text[1024];
    formatPathMessage(text, countOf(text), named, packProblem.item, packProblem.otherItem);
    showMessage(nullptr, text, nullptr, MB_OK);
    return;
  }
  char buffer[1024];
  showMessage(nullptr, encryptionResultMessage(result, buffer, sizeof buffer), nullptr, MB_OK);
}

// Hands the result on; where it went is kept in destination for the log.
// A result that could not be handed on is kept where it was made, and the
// message says where; one that no mail program took may be saved instead.
bool deliver(const wchar_t** destination) {
  *destination = jobState.destinationMode == DESTINATION_REMOVABLE ? jobState.mediaPath : jobState.outputPath;
  switch (jobState.destinationMode) {
    case DESTINATION_REMOVABLE: {
      bool moved = deliverCopy(jobState.outputPath, jobState.mediaPath);
      if (!moved) {
        wchar_t text[1024];
        formatMediaCopyFailure(text, countOf(text), jobState.outputPath, jobState.mediaPath);
        showMessage(nullptr, text, nullptr, MB_OK);
        return false;
      }
      DeleteFileW(jobState.outputPath);
      return true;
    }
    case DESTINATION_MAIL: {
      static wchar_t saved[2049];
      bool done = attachToMail(jobState.outputPath) == 0 || saveInsteadOfMail(jobState.outputPath, saved, countOf(saved));
      if (done && saved[0]) *destination = saved;
      DeleteFileW(jobState.outputPath);  // the temporary copy, in every case
      return done;
    }
    default:
      return true;  // saved into the folder the user chose
  }
}

}  // namespace

void runEncryptionJob() {
  char startText[64];
  localTimeText(startText, sizeof startText, 1);
  long long startSeconds = currentSeconds();
  // The source list outlives no process, however it ends.
  UniqueFile sourceList(keepUntilClosed(jobState.sourceListPath));
  int result = runSteps();
  endJobSteps();
  free(jobState.packCommand);
  jobState.packCommand = nullptr;

  if (result != ENCRYPTION_OK) {
    reportFailure(result);
  } else {
    const wchar_t* destination = nullptr;
    if (deliver(&destination) && jobState.writeLog) appendOperationLog(startText, startSeconds, destination);
  }
  sourceList.reset();
  DeleteFileW(jobState.sourceListPath);
}
