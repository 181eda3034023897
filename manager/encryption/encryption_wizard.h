#pragma once

#include "manager/base/job_control.h"

// Runs the encryption dialogs; then starts the job.
void runEncryptionWizard();

// The job the wizard starts on the worker thread: runEncryptionJob, or what a
// test puts in its place.
extern JobBody encryptionJobBody;
