#pragma once
#include <stddef.h>

#include "manager/archive/packer.h"

// What an encryption job ends with: 0, or the code of the step that failed
// (the packer's, the cipher's, the assembly's), as "エラー(%d)" shows it.
enum EncryptionResult {
  ENCRYPTION_OK = 0,
  // The job's own: no selection to pack (the number the packer gives when it
  // has no memory for one, with the same message).
  ENCRYPTION_NOTHING_TO_PACK = PACK_NO_MEMORY,
};

// The body of the encryption job (see job_control.h).
void runEncryptionJob();

// The message for a non-zero result code of the job's steps.
const char* encryptionResultMessage(int code, char* buffer, size_t cap);
// The message format (one "%s" for the item, two for a clash) of a packing
// failure that names the item concerned; null for other codes.
const char* packProblemMessage(int code);
