// A second process for the tests of this folder.
//   kyvo_encryption_helper names <file>
//       writes "process=<hex>" and "sourceList=" lines
//       with the working names this process forms (result of makeWorkingNames
//       as "result=").
//   kyvo_encryption_helper hold-log-semaphore <ready event> <release event>
//       takes the operation log's semaphore, signals the ready event and keeps
//       the semaphore until the release event is signalled (at most 60 s).
// Exit code 0 on success, 2 on bad arguments, 3 when a step failed.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "manager/dialogs/working_names.h"

static int writeNames(const char* path) {
  static WorkingNames names;
  int result = makeWorkingNames(&names);
  FILE* f = fopen(path, "wb");
  if (!f) return 3;
  fprintf(f, "result=%d\nprocess=%lx\nsourceList=%ls\n", result, static_cast<unsigned long>(GetCurrentProcessId()),
          names.sourceList);
  fclose(f);
  return 0;
}

static int holdSemaphore(const char* readyName, const char* releaseName) {
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyName);
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, releaseName);
  HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, "CRYPTLOGSEMA");
  if (!ready || !release || !semaphore) return 3;
  if (WaitForSingleObject(semaphore, 60000) != WAIT_OBJECT_0) return 3;
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  ReleaseSemaphore(semaphore, 1, nullptr);
  CloseHandle(semaphore);
  CloseHandle(ready);
  CloseHandle(release);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "names") == 0) return writeNames(argv[2]);
  if (argc == 4 && strcmp(argv[1], "hold-log-semaphore") == 0) return holdSemaphore(argv[2], argv[3]);
  return 2;
}
