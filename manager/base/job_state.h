// The one job record of the process.
//
// A wizard fills it on the main thread, then one worker thread runs the job and
// reports progress into it; the main thread's 100 ms timer copies the progress
// into the progress window. No lock guards it: every field has one writer at a
// time. The 64-bit counters are read and written whole through the helpers
// below, so a refresh never shows a value torn between its two halves.
//
// Paths, and texts made from them, are UTF-16 (wchar_t) everywhere in the
// program: the file calls take them as they are, so a name that code page 932
// cannot hold reaches the file system intact, and a length limit counts UTF-16
// units as the platform does. The password stays ANSI (code page 932), as it
// is the key's input.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "common/progress.h"

enum { STOP_REQUESTED = 999 };

enum DestinationMode {
  DESTINATION_NONE = -1,
  DESTINATION_FOLDER = 0,
  DESTINATION_REMOVABLE = 1,
  DESTINATION_MAIL = 2,
};

struct JobState {
  wchar_t moduleDir[1024];       // drive and folder of the running exe, ends with '\'
  wchar_t moduleFileName[2048];  // base name and extension of the running exe
  const wchar_t* pathListText;   // the command line's path list
  volatile LONG stopCode;        // 999 once the user pressed Cancel
  wchar_t statusText[2049];
  volatile int64_t progressTotal;
  volatile int64_t progressDone;
  volatile LONG progressActive;
  volatile LONG countOnly;
  LONG destinationMode;
  LONG modeFromCommandLine;
  wchar_t* packCommand;          // the selection to pack: owned heap text, or null
  LONG decryptExternalFile;
  LONG writeLog;
  LONG containerFormat;          // format of new containers: 1, or 2 by the machine's policy
  wchar_t outputPath[2049];
  wchar_t mediaPath[2049];
  wchar_t sourceListPath[2049];
  char password[1032];
  wchar_t encryptedInputPath[264];
  HWND progressWindow;
  HWND mainWindow;
  HINSTANCE appInstance;
  volatile LONG quitRequested;
};

extern JobState jobState;

// Startup defaults: writeLog 1, containerFormat 1, no progress, no pack
// command, empty paths and password, no destination.
void resetJobState();

inline int64_t progressLoad(const volatile int64_t* counter) {
  return __atomic_load_n(counter, __ATOMIC_RELAXED);
}
inline void progressStore(volatile int64_t* counter, int64_t value) {
  __atomic_store_n(counter, value, __ATOMIC_RELAXED);
}
inline void progressAdd(volatile int64_t* counter, int64_t amount) {
  __atomic_fetch_add(counter, amount, __ATOMIC_RELAXED);
}
inline bool stopRequested() { return jobState.stopCode == STOP_REQUESTED; }

// Sets the status line (cut safely to its capacity). A text of the
// program's own goes through reportStatus(jobProgress, ...).
void setStatusText(const wchar_t* text);

// The job record as the engines' progress: status line (the stages an
// engine names put into the program's own words), counters and the stop
// request of the progress window.
extern const Progress jobProgress;

// Wipes the password from the job record.
void clearJobPassword();
