// The one job record of the process.
//
// A wizard fills it on the main thread, then one worker thread runs the job and
// reports progress into it; the main thread's 100 ms timer copies the progress
// into the progress window. No lock guards it: every field has one writer at a
// time. The 64-bit counters are read and written whole through the helpers
// below, so a refresh never shows a value torn between its two halves.
#pragma once
#include <windows.h>
#include <stdint.h>

enum { STOP_REQUESTED = 999 };

enum DestinationMode {
  DESTINATION_NONE = -1,
  DESTINATION_FOLDER = 0,
  DESTINATION_REMOVABLE = 1,
  DESTINATION_MAIL = 2,
};

struct JobState {
  char moduleDir[1024];        // drive and folder of the running exe, ends with '\'
  char moduleFileName[2048];   // base name and extension of the running exe
  const char* pathListText;    // the command line's path list
  volatile LONG stopCode;      // 999 once the user pressed Cancel
  char statusText[2049];
  volatile int64_t progressTotal;
  volatile int64_t progressDone;
  volatile LONG progressActive;
  volatile LONG countOnly;
  LONG destinationMode;
  LONG modeFromCommandLine;
  char* packCommand;           // owned heap text, or null
  LONG decryptExternalFile;
  char tempArchivePath[2049];
  LONG writeLog;
  char tempEncryptedPath[2049];
  char outputPath[2049];
  char mediaPath[2049];
  char sourceListPath[2049];
  char password[1032];
  char encryptedInputPath[264];
  HWND progressWindow;
  HWND mainWindow;
  HINSTANCE appInstance;
  volatile LONG quitRequested;
};

extern JobState jobState;

// Startup defaults: writeLog 1, no progress, no pack command, empty paths and
// password, no destination.
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

// Sets the status line (cut safely to its capacity).
void setStatusText(const char* text);

// Wipes the password from the job record.
void clearJobPassword();
