// The seam between start-up and the two workflows, and the one place where
// user-visible message boxes are raised. The program runs with the real
// functions; tests swap entries to observe what the dispatcher starts and what
// the user would have been shown.
#pragma once
#include <windows.h>

struct AppFlows {
  void (*runEncryptionWizard)();
  void (*runDecryptionWizard)();
  void (*runEncryptionJob)();  // body of the worker thread
  void (*runDecryptionJob)();
  // Shows a message box and returns the button pressed.
  int (*messageBox)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
};

extern AppFlows appFlows;

// The default message box (MessageBoxW).
int platformMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
