#include "shellext/manager_launch.h"

#include <windows.h>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "shellext/module.h"
#include "shellext/module_path.h"

namespace {

// The longest path the platform's UTF-16 calls take.
const DWORD kLongestPath = 32768;

// The DLL's own path, asked of the loader in UTF-16 (so a folder of any name
// serves) with a larger buffer until it fits; null if it cannot be had.
wchar_t* modulePath() {
  for (DWORD capacity = MAX_PATH;; capacity *= 2) {
    UniqueWideText path(allocateWideText(capacity));
    if (!path) return nullptr;
    DWORD length = GetModuleFileNameW(moduleState.instance, path.get(), capacity);
    if (length == 0) return nullptr;
    if (length < capacity) {
      path.get()[length] = L'\0';
      return path.release();
    }
    if (capacity >= kLongestPath) return nullptr;
  }
}

}  // namespace

void startManager(wchar_t* commandLine) {
  UniqueWideText dll(modulePath());
  if (!dll) return;
  size_t dllLength = wcslen(dll.get());
  UniqueWideText directory(allocateWideText(dllLength + 1));
  if (!directory || !directoryOfPath(dll.get(), directory.get(), dllLength + 1)) return;
  size_t programSize = programPathSize(wcslen(directory.get()));
  UniqueWideText program(allocateWideText(programSize));
  if (!program || !buildProgramPath(directory.get(), program.get(), programSize)) return;

  WIN32_FIND_DATAW found;
  UniqueFind find(FindFirstFileW(program.get(), &found));
  if (!find) return;
  find.reset();

  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  // The manager runs in its own process group, inherits no handles, and gets
  // the file manager's environment and current directory.
  if (!CreateProcessW(program.get(), commandLine, nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                      &startup, &process))
    return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
