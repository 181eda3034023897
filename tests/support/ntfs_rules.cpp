#include "support/ntfs_rules.h"

#include <algorithm>

namespace {

NtfsRules* active = nullptr;

std::wstring folded(const wchar_t* path) {
  std::wstring text = path;
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return towlower(c); });
  return text;
}

bool setDeleted(HANDLE file, const wchar_t* path, bool deleted) {
  if (!systemFileCalls.setDeleted(file, path, deleted)) return false;
  if (deleted) {
    active->marked.insert(folded(path));
    active->everMarked.insert(folded(path));
  } else {
    active->marked.erase(folded(path));
  }
  return true;
}

bool failing(int* failures) {
  if (*failures == 0) return false;
  if (*failures > 0) --*failures;
  SetLastError(ERROR_SHARING_VIOLATION);
  return true;
}

bool renameFile(HANDLE file, const wchar_t* target, bool replace) {
  return !failing(&active->fileRenameFailures) && systemFileCalls.renameFile(file, target, replace);
}

bool renameFolder(const wchar_t* from, const wchar_t* to) {
  return !failing(&active->folderRenameFailures) && systemFileCalls.renameFolder(from, to);
}

const FileSystemCalls kCalls = {setDeleted, renameFile, renameFolder};

}  // namespace

NtfsRules::NtfsRules() {
  active = this;
  setFileSystemCalls(&kCalls);
}

NtfsRules::~NtfsRules() {
  setFileSystemCalls(nullptr);
  active = nullptr;
}

bool NtfsRules::opens(const std::wstring& path) const { return marked.count(folded(path.c_str())) == 0; }

bool NtfsRules::markZone(const wchar_t* path, int zone, bool (*write)(const wchar_t* path, int zone)) {
  // The stream is opened by the file's name: refused while it is marked.
  if (active && !active->opens(path)) {
    ++active->refusedZoneMarks;
    return false;
  }
  return write(path, zone);
}
