#include "manager/encryption/encryption_dialogs.h"

EncryptionDialogs encryptionDialogs = {askFileName, chooseDestination, chooseRemovableDrive, askSaveAsPath};
