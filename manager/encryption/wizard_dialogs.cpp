#include "manager/encryption/wizard_dialogs.h"

WizardDialogs wizardDialogs = {
    askPassword, askFileName, chooseDestination, chooseRemovableDrive, askSaveAsPath, browseForFolder,
};
