#pragma once
#include <stddef.h>

#include "manager/base/job_control.h"

// Runs the decryption dialogs: password, output folder; then starts the job.
void runDecryptionWizard();

// The job the wizard starts on the worker thread: runDecryptionJob, or what a
// test puts in its place.
extern JobBody decryptionJobBody;

// The folder proposed for the restored files (ends with a backslash).
void defaultOutputFolder(wchar_t* out, size_t cap);

// The output folder of the job, made writable on the main thread before the
// job starts: while it cannot be written, the folder browser comes back.
// PROBE_OK, PROBE_NOT_WRITABLE when the user gave up, or another probe result.
int settleOutputFolder();
