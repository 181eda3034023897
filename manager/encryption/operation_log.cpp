#include "manager/encryption/operation_log.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/encryption/operation_log_record.h"
#include "manager/dialogs/working_names.h"
#include "manager/base/job_state.h"

namespace {

const char kLogSemaphore[] = "CRYPTLOGSEMA";
const DWORD kLogWaitMs = 5000;

// The source list, read as text line piece by line piece. It is opened
// sharing delete access, as the job holds it open to have it deleted when
// the process ends, then read through the runtime's text stream.
struct SourceList {
  FILE* file = nullptr;
  explicit SourceList(const wchar_t* path) {
    HANDLE handle = CreateFileW(path, GENERIC_READ, WORKING_FILE_SHARE | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_TEXT);
    if (fd == -1) {
      CloseHandle(handle);
      return;
    }
    file = _fdopen(fd, "r");
    if (!file) _close(fd);
  }
  ~SourceList() {
    if (file) fclose(file);
  }
  SourceList(const SourceList&) = delete;
  SourceList& operator=(const SourceList&) = delete;
};

// Appends one record while holding the log semaphore. False when the
// semaphore could not be had: the caller then writes no further records.
bool appendUnderSemaphore(const wchar_t* logPath, const char* record) {
  UniqueKernelHandle semaphore(CreateSemaphoreA(nullptr, 1, 1, kLogSemaphore));
  if (!semaphore) return false;
  if (WaitForSingleObject(semaphore.get(), kLogWaitMs) != WAIT_OBJECT_0) return false;
  appendToFile(logPath, record);  // a missing folder or an unwritable log loses the record
  ReleaseSemaphore(semaphore.get(), 1, nullptr);
  return true;
}

}  // namespace

long long currentSeconds() { return static_cast<long long>(_time64(nullptr)); }

void appendOperationLog(const char* startText, long long startSeconds, const wchar_t* resultDestination) {
  char endText[64];
  localTimeText(endText, sizeof endText, 1);
  int procTime = procTimeMinutes(startSeconds, currentSeconds());

  char userName[2048 * 2];
  wchar_t wideUserName[2048];
  DWORD userNameSize = countOf(wideUserName);
  if (GetUserNameW(wideUserName, &userNameSize))
    wideToAnsiMarked(wideUserName, userName, sizeof userName);
  else
    userName[0] = '\0';

  SourceList list(jobState.sourceListPath);
  if (list.file == nullptr) return;

  const wchar_t* destinationPath = resultDestination ? resultDestination
                                   : jobState.destinationMode == DESTINATION_REMOVABLE ? jobState.mediaPath
                                                                                       : jobState.outputPath;
  char drvName[3];
  int drvType = driveTypeOfPath(destinationPath, drvName, sizeof drvName);
  // The log stays in the ANSI code page its reader expects: a character the
  // code page lacks is written as "?".
  static char destination[2049 * 2], moduleFileName[2048 * 2];
  wideToAnsiMarked(destinationPath, destination, sizeof destination);
  wideToAnsiMarked(jobState.moduleFileName, moduleFileName, sizeof moduleFileName);

  wchar_t logPath[2049];
  if (!formatText(logPath, countOf(logPath), L"%lsLog\\%ls", jobState.moduleDir, L"Crypt.Log")) return;

  char piece[SOURCE_LIST_PIECE];
  for (;;) {
    memset(piece, 0, sizeof piece);
    if (fgets(piece, sizeof piece, list.file) == nullptr) break;
    SourceListFields fields;
    if (!parseSourceListPiece(piece, &fields)) continue;
    LogRecordFields record = {moduleFileName, startText, endText, procTime, drvType, drvName,
                              destination, fields.oldFilePath, userName, fields.srcDrvType};
    size_t length = composeLogRecord(nullptr, 0, record);
    UniqueHeapText text(static_cast<char*>(malloc(length + 1)));
    if (!text) continue;  // no memory for this record: the next may fit
    composeLogRecord(text.get(), length + 1, record);
    if (!appendUnderSemaphore(logPath, text.get())) break;
  }
}
