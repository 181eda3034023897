#include "common/working_file.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "common/text_util.h"

namespace {

enum { RETRY_FOR_MS = 2000, RETRY_PAUSE_MS = 100 };

bool systemSetDeleted(HANDLE file, const wchar_t*, bool deleted) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(deleted ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool systemRenameFile(HANDLE file, const wchar_t* target, bool replace) {
  size_t length = textLength(target);
  size_t size = offsetof(FILE_RENAME_INFO, FileName) + (length + 1) * sizeof(wchar_t);
  FILE_RENAME_INFO* info = static_cast<FILE_RENAME_INFO*>(calloc(1, size));
  if (!info) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
  memcpy(info->FileName, target, length * sizeof(wchar_t));
  bool renamed = SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(size)) != FALSE;
  DWORD error = GetLastError();
  free(info);
  SetLastError(error);
  return renamed;
}

bool systemRenameFolder(const wchar_t* from, const wchar_t* to) { return MoveFileExW(from, to, 0) != FALSE; }

FileSystemCalls calls = {systemSetDeleted, systemRenameFile, systemRenameFolder};

bool isClash(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

// A rename that fails for another reason than the name being taken may
// succeed a moment later: a virus scanner, the indexer or a sync client
// holds a file just written for a moment, without sharing its deletion.
template <typename Rename>
CommitResult renameRetrying(Rename rename) {
  DWORD start = GetTickCount();
  for (;;) {
    if (rename()) return COMMIT_DONE;
    DWORD error = GetLastError();
    if (isClash(error)) return COMMIT_CLASH;
    if (GetTickCount() - start >= RETRY_FOR_MS) {
      SetLastError(error);
      return COMMIT_FAILED;
    }
    Sleep(RETRY_PAUSE_MS);
  }
}

}  // namespace

const FileSystemCalls systemFileCalls = {systemSetDeleted, systemRenameFile, systemRenameFolder};

void setFileSystemCalls(const FileSystemCalls* replacement) { calls = replacement ? *replacement : systemFileCalls; }

bool WorkingFile::created(HANDLE file) {
  file_ = file;
  if (file_ == INVALID_HANDLE_VALUE) {
    path_[0] = 0;
    return false;
  }
  kept_ = false;
  marked_ = calls.setDeleted(file_, path_, true);
  return true;
}

bool WorkingFile::createBeside(const wchar_t* target, DWORD attributes) {
  reset();
  FreshPlace place = placeBeside(target);
  return created(createFreshFile(formFreshName, &place, attributes, path_, countOf(path_)));
}

bool WorkingFile::createInTemporaryFolder() {
  reset();
  wchar_t folder[MAX_PATH + 1];
  DWORD length = GetTempPathW(countOf(folder), folder);
  if (length == 0 || length >= countOf(folder)) return false;
  FreshPlace place = {folder, length};
  return created(createFreshFile(formFreshName, &place, FILE_ATTRIBUTE_TEMPORARY, path_, countOf(path_)));
}

bool WorkingFile::create(FreshNameForm form, const void* context) {
  reset();
  return created(createFreshFile(form, context, FILE_ATTRIBUTE_NORMAL, path_, countOf(path_)));
}

bool WorkingFile::createAt(const wchar_t* path) {
  reset();
  if (!copyText(path_, countOf(path_), path)) {
    path_[0] = 0;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return created(CreateFileW(path_, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WorkingFile::keep() {
  if (file_ == INVALID_HANDLE_VALUE) return false;
  if (marked_ && !calls.setDeleted(file_, path_, false)) return false;
  marked_ = false;
  kept_ = true;
  return true;
}

CommitResult WorkingFile::commit(const wchar_t* target, bool replace) {
  if (!keep()) return COMMIT_FAILED;
  HANDLE file = file_;
  CommitResult result = renameRetrying([&] { return calls.renameFile(file, target, replace); });
  if (result == COMMIT_DONE) {
    copyText(path_, countOf(path_), target);
  } else {
    // Not committed: marked to go again, as before.
    DWORD error = GetLastError();
    kept_ = false;
    marked_ = calls.setDeleted(file_, path_, true);
    SetLastError(error);
  }
  return result;
}

CommitResult WorkingFile::commitAs(const wchar_t* target) { return commit(target, false); }

CommitResult WorkingFile::commitOver(const wchar_t* target) { return commit(target, true); }

void WorkingFile::reset() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  // A file whose mark could not be set goes by its name.
  if (!kept_ && !marked_) DeleteFileW(path_);
  marked_ = kept_ = false;
  path_[0] = 0;
}

CommitResult renameFolder(const wchar_t* from, const wchar_t* to) {
  return renameRetrying([&] { return calls.renameFolder(from, to); });
}
