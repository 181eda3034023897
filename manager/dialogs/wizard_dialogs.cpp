#include "manager/dialogs/wizard_dialogs.h"

WizardDialogs wizardDialogs = {askPassword, browseForFolder};
