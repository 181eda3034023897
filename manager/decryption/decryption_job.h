#pragma once
#include <stddef.h>

#include "manager/archive/entry_stream.h"
#include "manager/cipher/container_stream.h"

// What a decryption job ends with: 0, the code of the step that failed (the
// split's, the cipher's, the extractor's, the folder check's), or one of the
// job's own below, which stand for what the extractor reports in detail.
enum DecryptionResult {
  DECRYPTION_OK = 0,
  DECRYPTION_CANNOT_WRITE = 7,    // restored files could not be written (the disk was full)
  DECRYPTION_NOT_RESTORED = 10,   // entries of the archive could not be restored
  DECRYPTION_WRONG_PASSWORD = 80, // no archive behind the container: a wrong password that passed its check
};

// The archive as the extraction's reading thread takes it: deciphered from
// the result by the container's reader, piece by piece.
class ContainerSource final : public ArchiveSource {
 public:
  explicit ContainerSource(ContainerReader* reader) : reader_(reader) {}
  bool read(void* buffer, size_t size, size_t* got) override { return reader_->read(buffer, size, got); }

 private:
  ContainerReader* reader_;
};

// The body of the decryption job (see job_control.h).
void runDecryptionJob();

// Turns an extraction result into the job's result: partial failures become
// DECRYPTION_CANNOT_WRITE (the disk was full) or DECRYPTION_NOT_RESTORED, an
// archive without a first entry DECRYPTION_WRONG_PASSWORD; other codes pass
// unchanged.
int mapExtractionResult(int code);

// The message for a non-zero result of the decryption job; path, when
// given, names the file that could not be restored or the folder that
// clashed.
const char* decryptionResultMessage(int code, char* buffer, size_t cap, const wchar_t* path = nullptr);
