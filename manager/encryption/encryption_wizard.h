#pragma once

// Runs the encryption dialogs.
void runEncryptionWizard();
