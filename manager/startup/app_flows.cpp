#include "manager/startup/app_flows.h"

#include "manager/decryption/decryption_wizard.h"
#include "manager/encryption/encryption_wizard.h"

AppFlows appFlows = {runEncryptionWizard, runDecryptionWizard};
