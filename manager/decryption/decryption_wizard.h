#pragma once
#include <stddef.h>

// Runs the decryption dialogs: password, output folder; then starts the job.
void runDecryptionWizard();

// The folder proposed for the restored files (ends with a backslash).
void defaultOutputFolder(wchar_t* out, size_t cap);
