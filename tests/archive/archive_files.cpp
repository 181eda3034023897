#include "archive/archive_files.h"

#include "manager/archive/extractor.h"
#include "manager/base/job_state.h"
#include "support/test_files.h"

namespace {
uint64_t value(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }
FILETIME fileTime(uint64_t v) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(v);
  t.dwHighDateTime = static_cast<DWORD>(v >> 32);
  return t;
}
}  // namespace

FileTimes timesOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  FileTimes t;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return t;
  t.creation = value(data.ftCreationTime);
  t.lastAccess = value(data.ftLastAccessTime);
  t.lastWrite = value(data.ftLastWriteTime);
  return t;
}

bool setTimes(const std::string& path, const FileTimes& times) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME c = fileTime(times.creation), a = fileTime(times.lastAccess), w = fileTime(times.lastWrite);
  bool ok = SetFileTime(file, &c, &a, &w) != FALSE;
  CloseHandle(file);
  return ok;
}

FileTimes sampleTimes(unsigned seed) {
  // 2009-02-13 plus whole seconds; the last-access time lies after the
  // last-write time, as it does for a file read after it was written.
  const uint64_t base = 128790000000000000ull;
  FileTimes t;
  t.creation = base + seed * 1000000000ull;
  t.lastWrite = t.creation + 30000000ull + seed * 10000000ull;
  t.lastAccess = t.lastWrite + 70000000ull;
  return t;
}

DWORD attributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

std::vector<ReadEntry> readArchiveFile(const std::string& path) { return readArchiveBytes(readFile(path)); }

std::vector<std::string> namesBelow(const std::string& root) {
  std::vector<std::string> out;
  for (const std::string& entry : listTree(root))
    out.push_back(entry.back() == '\\' ? entry : entry.substr(0, entry.rfind(':')));
  return out;
}

std::vector<std::string> temporaryFilesBelow(const std::string& root) {
  std::vector<std::string> out;
  for (const std::string& entry : namesBelow(root)) {
    if (entry.back() == '\\') continue;
    size_t cut = entry.find_last_of('\\', entry.size() - 2);
    std::string name = cut == std::string::npos ? entry : entry.substr(cut + 1);
    if (name.compare(0, 4, "~kyv") == 0 || (name.size() <= 9 && name[0] == '~')) out.push_back(entry);
  }
  return out;
}

StopOnStatus::StopOnStatus(const std::string& status, bool prefix) : status_(W(status)), prefix_(prefix) {
  thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

StopOnStatus::~StopOnStatus() {
  done_ = true;
  WaitForSingleObject(thread_, 10000);
  CloseHandle(thread_);
}

DWORD WINAPI StopOnStatus::run(void* p) {
  StopOnStatus* self = static_cast<StopOnStatus*>(p);
  while (!self->done_) {
    std::wstring now = jobState.statusText;
    if (self->prefix_ ? now.compare(0, self->status_.size(), self->status_) == 0 : now == self->status_) {
      self->countOnly_ = jobState.countOnly;
      jobState.stopCode = STOP_REQUESTED;
      self->fired_ = true;
      return 0;
    }
    Sleep(0);
  }
  return 0;
}
