// Top-level folders built under a temporary name: a folder of the archive
// that the output folder does not hold yet is built hidden under a fresh
// name ("staged") and takes its real name when the archive moves past it,
// so that its files need no rename of their own. A staged folder is held
// open while it is built; one that nobody holds any more was left by a
// restore that was killed, and the next restore into that folder removes it.
#include <windows.h>
#include <wchar.h>

#include "common/file_util.h"
#include "common/fresh_file.h"
#include "common/text_util.h"
#include "manager/archive/extraction.h"

// Gives the staged folder its real name, and shows it. complete: the
// archive moved past the folder (or ended); else the extraction stopped or
// failed in it, and a folder that holds no file restored whole is removed
// instead, so that no folder under a real name is left empty. A folder that
// cannot take its name because another restore made one of that name
// meanwhile is removed with what it holds: EXTRACT_FOLDER_CLASH. One that
// cannot take it for any other reason (a program holding a file in it, even
// after retrying) stays visible under its temporary name, and the
// extraction names it at its end: nothing restored is deleted because a
// rename failed.
int finishStaging(Extraction* x, bool complete) {
  Staging& s = x->staging;
  if (!s.active) return EXTRACT_OK;
  s.active = false;
  s.hold.reset();
  x->madeFolder[0] = 0;
  x->checkedFolder[0] = 0;
  if (!complete && s.completeFiles == 0) {
    removeFolderTree(s.stagedPath);
    return EXTRACT_OK;
  }
  switch (renameFolder(s.stagedPath, s.finalPath)) {
    case COMMIT_DONE:
      SetFileAttributesW(s.finalPath, FILE_ATTRIBUTE_NORMAL);
      return EXTRACT_OK;
    case COMMIT_CLASH:
      removeFolderTree(s.stagedPath);
      if (x->setup->failedPath) x->setup->failedPath[0] = 0;
      noteFailedPath(x, s.finalPath);
      return EXTRACT_FOLDER_CLASH;
    default:
      SetFileAttributesW(s.stagedPath, FILE_ATTRIBUTE_NORMAL);
      if (!x->folderKept && x->setup->failedPath) x->setup->failedPath[0] = 0;
      noteFailedPath(x, s.stagedPath);
      x->folderKept = true;
      return EXTRACT_OK;
  }
}

// Starts a new top-level folder: staged when the output folder holds
// nothing of its name, else its entries go in place.
void beginStaging(Extraction* x, const wchar_t* component, size_t componentLength, const wchar_t* target,
                  size_t finalLength) {
  Staging& s = x->staging;
  copyTextN(s.component, countOf(s.component), component, componentLength);
  copyTextN(s.finalPath, countOf(s.finalPath), target, finalLength);
  s.completeFiles = 0;
  if (pathExists(s.finalPath)) return;
  // Without one, its entries go in place and meet the failure there.
  FreshPlace place = {target, finalLength - componentLength};
  s.active = createFreshFolder(formFreshName, &place, s.stagedPath, countOf(s.stagedPath));
  if (!s.active) return;
  SetFileAttributesW(s.stagedPath, FILE_ATTRIBUTE_HIDDEN);
  s.hold.reset(CreateFileW(s.stagedPath, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The path of an entry below the staged folder; false when it is too long
// under the temporary name.
bool stagedPathOf(const Extraction* x, const wchar_t* target, size_t finalLength, size_t folderPartLength,
                  wchar_t staged[TARGET_PATH_SIZE], size_t* stagedFolderPart) {
  const Staging& s = x->staging;
  size_t stagedLength = textLength(s.stagedPath);
  if (!copyText(staged, TARGET_PATH_SIZE, s.stagedPath) || !appendText(staged, TARGET_PATH_SIZE, target + finalLength))
    return false;
  *stagedFolderPart = folderPartLength >= finalLength ? folderPartLength - finalLength + stagedLength : stagedLength;
  return true;
}

// Removes the staged folders of the output folder that no restore holds any
// more: hidden, of a staging name, and open to deletion.
void removeAbandonedStaging(const Extraction* x) {
  if (x->outputRoot[0] == 0) return;
  wchar_t path[MAX_PATH + 20];
  if (!formatText(path, countOf(path), L"%ls\\~kyv*.tmp", x->outputRoot)) return;
  size_t nameAt = textLength(x->outputRoot) + 1;
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(path, &data));
  for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &data) != FALSE) {
    DWORD a = data.dwFileAttributes;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY) || !(a & FILE_ATTRIBUTE_HIDDEN) || (a & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !isFreshName(data.cFileName))
      continue;
    copyText(path + nameAt, countOf(path) - nameAt, data.cFileName);
    // A restore that is still running holds its folder against deletion.
    UniqueFile probe(CreateFileW(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!probe) continue;
    probe.reset();
    removeFolderTree(path);
  }
}
