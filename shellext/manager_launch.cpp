#include "shellext/manager_launch.h"

#include <windows.h>

#include "manager/startup/unique_handle.h"
#include "shellext/module.h"
#include "shellext/module_path.h"

static_assert(sizeof(STARTUPINFOA) == 68, "the start-up record of a 32-bit process");

void startManager(char* commandLine) {
  char program[1024];
  if (!buildProgramPath(moduleState.directory, program, sizeof program)) return;
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA(program, &found));
  if (!find) return;
  find.reset();

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = 68;
  PROCESS_INFORMATION process;
  // The manager runs in its own process group, inherits no handles, and gets
  // the file manager's environment and current directory.
  if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                      &startup, &process))
    return;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}
