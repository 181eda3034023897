#pragma once
#include <stddef.h>

// Runs the encryption worker (the body of the job's thread).
void runEncryptionJob();

// The message for a non-zero result code of the job's steps.
const char* encryptionResultMessage(int code, char* buffer, size_t cap);
// The message format (one "%s" for the item, two for a clash) of a packing
// failure that names the item concerned; null for other codes.
const char* packProblemMessage(int code);
