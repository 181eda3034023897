// Starting the helper program of these tests (encryption_test_helper.cpp) as a
// second process.
#pragma once
#include <windows.h>

#include <string>

#include "support/test_files.h"

// A started helper, terminated (if still running) and closed with the object.
struct HelperProcess {
  PROCESS_INFORMATION info = {};
  bool started = false;
  HelperProcess() = default;
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  ~HelperProcess() {
    if (!started) return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  // Waits for the end; the exit code, or -1 if it did not end in time.
  long waitForExit(DWORD ms) {
    if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return static_cast<long>(code);
  }
};

inline std::string helperPath() { return programFolder() + "kyvo_encryption_helper.exe"; }

// Starts the helper with the arguments; suspended leaves its main thread
// waiting for ResumeThread.
inline bool startHelper(HelperProcess* process, const std::string& arguments, bool suspended = false) {
  std::string exe = helperPath();
  std::string line = "\"" + exe + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  process->started = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE,
                                    suspended ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup,
                                    &process->info) != 0;
  return process->started;
}
