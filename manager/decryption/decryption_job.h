#pragma once
#include <stddef.h>

// Runs the decryption worker (the body of the job's thread).
void runDecryptionJob();

// Turns an extraction result into the job's result: partial failures become 7
// (the disk was full) or 10; other codes pass unchanged.
int mapExtractionResult(int code);

// The message for a non-zero result of the decryption job.
const char* decryptionResultMessage(int code, char* buffer, size_t cap);
