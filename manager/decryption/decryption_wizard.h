#pragma once

// Runs the decryption dialogs.
void runDecryptionWizard();
