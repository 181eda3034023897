// A result restored in this process as the decryption job restores it: the
// container read in place and deciphered into the extractor. 0, or the code
// of the step that failed.
#pragma once
#include <string>

#include "common/unique_handle.h"
#include "manager/archive/extractor.h"
#include "manager/archive/self_decrypting.h"
#include "manager/decryption/decryption_job.h"
#include "support/test_files.h"

inline int restoreResult(const std::string& result, const std::string& outputFolder, const char* password) {
  UniqueFile file(openResultForReading(W(result).c_str()));
  if (!file) return SPLIT_CANNOT_OPEN;
  uint64_t start = 0, length = 0;
  int code = findPayload(file.get(), &start, &length);
  if (code != SPLIT_OK) return code;
  ContainerReader reader;
  code = reader.open(file.get(), start, length, password, quietProgress);
  if (code != CONTAINER_OK) return code;
  ContainerSource archive(&reader);
  ExtractSetup setup = {&quietProgress, nullptr, nullptr, nullptr, 0, 0};
  code = extractArchiveFrom(&archive, W(outputFolder).c_str(), setup);
  return reader.result() != CONTAINER_OK ? reader.result() : code;
}
