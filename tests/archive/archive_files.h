// Helpers of the packer and extractor tests on real files.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

#include "archive/archive_bytes.h"

struct FileTimes {
  uint64_t creation = 0, lastAccess = 0, lastWrite = 0;
};
FileTimes timesOf(const std::string& path);
bool setTimes(const std::string& path, const FileTimes& times);
// Distinct, fixed times in the past for test sources (seed varies them).
FileTimes sampleTimes(unsigned seed);

DWORD attributesOf(const std::string& path);

// Entries of an archive file.
std::vector<ReadEntry> readArchiveFile(const std::string& path);

// Relative paths of every file and folder below root (folders end with
// '\\'), sorted, without sizes.
std::vector<std::string> namesBelow(const std::string& root);

// Every file below root whose name marks it as a temporary extraction file.
std::vector<std::string> temporaryFilesBelow(const std::string& root);

// Sets jobState.stopCode to 999 once the status line shows the text; unlike
// StopWhen it does not wait for progress, so it also fires for empty files.
class StopOnStatus {
 public:
  // With prefix, any status that begins with the text will do.
  explicit StopOnStatus(const std::string& status, bool prefix = false);
  ~StopOnStatus();
  StopOnStatus(const StopOnStatus&) = delete;
  StopOnStatus& operator=(const StopOnStatus&) = delete;
  bool fired() const { return fired_; }
  LONG countOnlyWhenFired() const { return countOnly_; }

 private:
  static DWORD WINAPI run(void* self);
  std::wstring status_;
  bool prefix_;
  HANDLE thread_ = nullptr;
  volatile bool done_ = false;
  volatile bool fired_ = false;
  volatile LONG countOnly_ = -1;
};
