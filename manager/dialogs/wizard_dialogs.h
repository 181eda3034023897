// The dialogs both wizards show, reached through one table so that the
// wizards' state machines run with scripted answers in tests.
#pragma once
#include <windows.h>
#include <stddef.h>

#include "manager/dialogs/wizard_context.h"

enum PasswordKind { PASSWORD_ENCRYPT = 0, PASSWORD_DECRYPT = 1 };
enum DialogResult { DIALOG_FAILED = 0, DIALOG_OK = 1, DIALOG_CANCEL = 2 };

// What a dialog that ended with 1 or 2 means; anything else (it couldn't be
// created) counts as a failure.
inline int dialogResult(INT_PTR result) {
  return result == DIALOG_OK || result == DIALOG_CANCEL ? static_cast<int>(result) : DIALOG_FAILED;
}

struct WizardDialogs {
  // 1 after a valid OK (password in enteredPassword), 2 on Cancel, 0 if the
  // dialog couldn't be shown.
  int (*askPassword)(int kind, WizardContext* context);
  // 1 when a folder was chosen (copied into out only if it fits), 2 when cancelled.
  int (*browseForFolder)(HWND owner, const wchar_t* initialFolder, wchar_t* out, size_t cap);
};

extern WizardDialogs wizardDialogs;

// The real dialogs.
int askPassword(int kind, WizardContext* context);
int browseForFolder(HWND owner, const wchar_t* initialFolder, wchar_t* out, size_t cap);
