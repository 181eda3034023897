// The packer's selection checks: every selected item is looked up before
// anything is packed, and a selection that cannot be packed whole is refused
// with the item and the reason.
#include <windows.h>
#include <wchar.h>

#include "common/text_util.h"
#include "manager/archive/packing_run.h"

namespace {

// A drive ("C:", "C:\\") or a network share ("\\\\server\\share") as a whole.
bool isRootPath(const wchar_t* path) {
  wchar_t copy[SOURCE_PATH_LIMIT + 1];
  copyText(copy, countOf(copy), path);
  removeTrailingBackslash(copy);
  size_t length = textLength(copy);
  if (length == 2 && copy[1] == L':') return true;
  if (copy[0] != L'\\' || copy[1] != L'\\') return false;
  const wchar_t* share = wcschr(copy + 2, L'\\');
  return share != nullptr && wcschr(share + 1, L'\\') == nullptr;
}

// Two names the file system takes for one (regardless of case).
bool sameName(const wchar_t* a, const wchar_t* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

}  // namespace

size_t selectionTokenCount(const wchar_t* sourceText) {
  size_t count = 0;
  WideTextToken token;
  while (nextToken(&sourceText, &token)) ++count;
  return count;
}

PackResult lookUpSelection(const wchar_t* sourceText, SourceItem* items, size_t* count) {
  static wchar_t path[OPTION_SLOT_SIZE];
  size_t found = 0;
  *count = 0;
  WideTextToken token;
  while (nextToken(&sourceText, &token)) {
    if (!trimmedToken(token, path)) {
      // Too long for any path: it can only fail, and is never dropped.
      copyTextN(path, countOf(path), token.start, token.length);
      return notePackProblem(PACK_SOURCE_FAILED, path);
    }
    if (path[0] == 0) continue;
    if (textLength(path) >= SOURCE_PATH_LIMIT) return notePackProblem(PACK_SOURCE_FAILED, path);
    // A drive root names no folder the archive could hold under a name of
    // its own; any other folder may be given with a separator at its end.
    if (isRootPath(path)) return notePackProblem(PACK_DRIVE_ROOT, path);
    removeTrailingBackslash(path);
    // Wildcards would make the lookup match some other file.
    WIN32_FIND_DATAW data;
    bool exists = wcspbrk(path, L"*?") == nullptr;
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (exists) {
      UniqueFind lookup(FindFirstFileExW(path, FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
      exists = lookup.valid();
      if (!exists) error = GetLastError();
    }
    if (!exists) {
      bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
      return notePackProblem(missing ? PACK_NOT_FOUND : PACK_UNREADABLE, path);
    }
    SourceItem& item = items[found];
    copyText(item.path, countOf(item.path), path);
    copyText(item.name, countOf(item.name), data.cFileName);
    item.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.task = nullptr;
    // Two items of one name would land on one target when restored.
    for (size_t i = 0; i < found; ++i) {
      if (!sameName(items[i].name, item.name)) continue;
      notePackProblem(PACK_NAME_CLASH, items[i].path);
      copyText(packRun.problem.otherItem, countOf(packRun.problem.otherItem), item.path);
      return PACK_NAME_CLASH;
    }
    *count = ++found;
  }
  return PACK_OK;
}
