// The folders on the way to an entry: every missing level is made; and the
// removal of a folder tree that was being restored.
#include <windows.h>
#include <string.h>
#include <wchar.h>

#include "common/command_line.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/archive/extractor.h"
#include "manager/archive/option_parser.h"

namespace {

enum { WALK_LIMIT = 1025 };  // folder parts this long or longer are not walked

bool isDirectory(const wchar_t* path) {
  DWORD a = GetFileAttributesW(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int makeDirectoryPath(const wchar_t* path, int includeLast) {
  if (textLengthUpTo(path, OPTION_SLOT_SIZE) >= OPTION_SLOT_SIZE) return 1;
  static wchar_t trimmed[OPTION_SLOT_SIZE];  // large; only the worker thread creates folders
  trimCommandLinePath(trimmed, countOf(trimmed), path);
  static WidePathParts parts;
  splitPath(trimmed, &parts);
  static wchar_t folder[OPTION_SLOT_SIZE];
  copyText(folder, countOf(folder), parts.dir);
  if (includeLast) {
    appendText(folder, countOf(folder), parts.name);
    appendText(folder, countOf(folder), parts.ext);
  }
  // The verdict is whether the whole folder exists in the end, not how the
  // single calls went (some report an existing drive root as access denied).
  // A folder that exists already has every level above it, so the walk is
  // left out: entries mostly land in a folder made for an earlier one.
  static wchar_t whole[OPTION_SLOT_SIZE];
  copyText(whole, countOf(whole), parts.drive);
  appendText(whole, countOf(whole), folder);
  if (whole[0] == 0) return 0;  // the current folder
  size_t wholeLength = textLength(whole);
  if (wholeLength > 3 && endsWithSeparator(whole)) whole[wholeLength - 1] = 0;
  if (isDirectory(whole)) return 0;
  size_t length = textLength(folder);
  if (length < WALK_LIMIT) {
    // One level at a time from the left; the first component of a path with
    // a drive is empty, so the drive itself is tried first, and an empty last
    // component after a trailing backslash retries the whole path.
    static wchar_t soFar[OPTION_SLOT_SIZE];
    copyText(soFar, countOf(soFar), parts.drive);
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
      if (i < length && isLeadUnit(folder[i]) && isTrailUnit(folder[i + 1])) {
        ++i;  // the second unit of a pair does not split
        continue;
      }
      if (i < length && folder[i] != L'\\') continue;
      size_t used = textLength(soFar);
      copyTextN(soFar + used, countOf(soFar) - used, folder + start, i - start);
      CreateDirectoryW(soFar, nullptr);
      if (i < length) appendText(soFar, countOf(soFar), L"\\");
      start = i + 1;
    }
  }
  return isDirectory(whole) ? 0 : 1;
}

bool removeFolderTree(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {  // a link goes by itself
    size_t length = textLength(path);
    UniqueWideText child(allocateWideText(length + MAX_PATH + 2));
    if (!child) return false;
    wchar_t* name = child.get() + length + 1;
    memcpy(child.get(), path, length * sizeof(wchar_t));
    child.get()[length] = L'\\';
    copyText(name, MAX_PATH + 1, L"*");
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileW(child.get(), &data));
    for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &data) != FALSE) {
      if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
      copyText(name, MAX_PATH + 1, data.cFileName);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeFolderTree(child.get());
      } else {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(child.get(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.get());
      }
    }
  }
  return RemoveDirectoryW(path) != FALSE;
}
