// The encryption wizard's own dialogs, reached through one table so that its
// state machine runs with scripted answers in tests (the dialogs both wizards
// show are in manager/dialogs/wizard_dialogs.h).
#pragma once
#include <windows.h>

#include "manager/dialogs/wizard_dialogs.h"

enum { SAVE_AS_PATH_TOO_LONG = 128 };

struct EncryptionDialogs {
  // 1 (fileName set), 2 on Cancel, 0 on failure.
  int (*askFileName)(WizardContext* context);
  // 1 (jobState.destinationMode set from the radio buttons), 2, or 0.
  int (*chooseDestination)();
  // 1 (jobState.mediaPath may hold a drive root), 2, or 0.
  int (*chooseRemovableDrive)(WizardContext* context);
  // 1 (chosenPath set), 0 on cancel, 128 if the initial path is too long.
  int (*askSaveAsPath)(WizardContext* context);
};

extern EncryptionDialogs encryptionDialogs;

// The real dialogs.
int askFileName(WizardContext* context);
int chooseDestination();
int chooseRemovableDrive(WizardContext* context);
int askSaveAsPath(WizardContext* context);
