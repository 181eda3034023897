// The packer's folder walk: depth first, each folder's listing read a few
// entries ahead and the files among them handed to the compression pool to
// be loaded meanwhile. A file's outcome counts only when the walk reaches
// it, so the archive and the first failure are those of a walk that does
// everything itself, in order.
#include <windows.h>
#include <stdlib.h>

#include "common/text_util.h"
#include "manager/archive/packing_run.h"

namespace {

// The folder path relative to the archive's top level for a sub-folder.
bool childRelativePath(wchar_t* out, size_t cap, const wchar_t* relativePath, const wchar_t* name) {
  if (relativePath[0] == 0) return copyText(out, cap, name);
  return copyText(out, cap, relativePath) && appendText(out, cap, L"\\") && appendText(out, cap, name);
}

bool isDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// An entry of a folder's listing, read ahead of the walk.
struct ListedEntry {
  wchar_t name[MAX_PATH];
  DWORD attributes;
  SourceTask* task;  // the file being loaded ahead, or null
};

// A folder's listing, read a few entries ahead of the walk, the files among
// them handed to the compression pool to be loaded meanwhile (as many as it
// has tasks for, the nearest first). What is still ahead when the walk
// leaves the folder is given back.
class Listing {
 public:
  Listing(HANDLE find, const WIN32_FIND_DATAW& first, const wchar_t* folder) : find_(find), folder_(folder) {
    ring_ = static_cast<ListedEntry*>(malloc(LOOKAHEAD * sizeof(ListedEntry)));
    capacity_ = ring_ ? LOOKAHEAD : 1;  // without memory for more: no look-ahead
    if (!ring_) ring_ = &single_;
    findOwnFiles();
    push(first);
  }
  ~Listing() {
    for (size_t i = 0; i < count_; ++i)
      if (at(i).task) releaseSource(at(i).task);
    if (ring_ != &single_) free(ring_);
  }
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;

  // The next entry in listing order, its task now the caller's; false at the
  // end, where broken() tells a listing that broke off.
  bool next(ListedEntry* entry) {
    fill();
    if (count_ == 0) return false;
    *entry = ring_[head_];
    head_ = (head_ + 1) % capacity_;
    --count_;
    return true;
  }
  bool broken() const { return broken_; }

 private:
  ListedEntry& at(size_t i) { return ring_[(head_ + i) % capacity_]; }
  // The names of the job's own files that lie in this folder.
  void findOwnFiles() {
    const wchar_t* const* own = packRun.setup.ownFiles;
    int folderLength = static_cast<int>(textLength(folder_));
    for (; own && *own && ownCount_ < countOf(ownNames_); ++own) {
      long separator = lastSeparatorIndex(*own);
      if (separator + 1 == folderLength &&
          CompareStringOrdinal(*own, folderLength, folder_, folderLength, TRUE) == CSTR_EQUAL)
        ownNames_[ownCount_++] = *own + folderLength;
    }
  }
  bool isOwnFile(const WIN32_FIND_DATAW& found) const {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    for (size_t i = 0; i < ownCount_; ++i)
      if (CompareStringOrdinal(ownNames_[i], -1, found.cFileName, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
  }
  void push(const WIN32_FIND_DATAW& found) {
    if (isOwnFile(found)) return;
    ListedEntry& entry = at(count_++);
    copyText(entry.name, countOf(entry.name), found.cFileName);
    entry.attributes = found.dwFileAttributes;
    entry.task = nullptr;
  }
  void fill() {
    WIN32_FIND_DATAW found;
    while (!ended_ && count_ < capacity_) {
      if (FindNextFileW(find_.get(), &found)) {
        push(found);
      } else {
        ended_ = true;
        broken_ = GetLastError() != ERROR_NO_MORE_FILES;
      }
    }
    for (size_t i = 0; i < count_; ++i) {
      ListedEntry& entry = at(i);
      if (entry.task || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      wchar_t path[SOURCE_PATH_LIMIT];
      if (textLength(folder_) + textLength(entry.name) >= SOURCE_PATH_LIMIT) continue;
      formatText(path, countOf(path), L"%ls%ls", folder_, entry.name);
      entry.task = prefetchSource(path);
      if (!entry.task) break;
    }
  }

  UniqueFind find_;
  const wchar_t* folder_;
  const wchar_t* ownNames_[8];
  size_t ownCount_ = 0;
  ListedEntry single_;
  ListedEntry* ring_;
  size_t capacity_, head_ = 0, count_ = 0;
  bool ended_ = false, broken_ = false;
};

}  // namespace

EntryResult addFolderTree(const PackSetup& setup, const wchar_t* folderPath, const wchar_t* relativePath) {
  PackingRun run(setup);
  size_t length = textLengthUpTo(folderPath, SOURCE_PATH_LIMIT);
  if (length >= SOURCE_PATH_LIMIT) return noteProblem(ENTRY_PATH_TOO_LONG, PACK_SOURCE_FAILED, folderPath);
  wchar_t folder[SOURCE_PATH_LIMIT + 1];
  copyText(folder, countOf(folder), folderPath);
  if (length > 0 && !endsWithSeparator(folder)) appendText(folder, countOf(folder), L"\\");
  wchar_t pattern[SOURCE_PATH_LIMIT + 8];
  formatText(pattern, countOf(pattern), L"%ls*", folder);

  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    // A folder with nothing in it at all (a drive's root may lack even "."
    // and "..") is empty; any other failure leaves its content unknown: the
    // folder was seen, but cannot be read.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
      return noteProblem(ENTRY_PATH_TOO_LONG, PACK_UNREADABLE, folderPath);
    EntryResult ended = addFolderEntry(setup, L"", relativePath);
    return ended == ENTRY_OK ? ENTRY_OK : noteProblem(ended, packProblemOf(ended), folderPath);
  }

  Listing listing(find, found, folder);
  size_t folderLength = textLength(folder);
  EntryResult result = ENTRY_OK;
  bool sawFolder = false;
  ListedEntry entry;
  while (listing.next(&entry)) {
    const wchar_t* name = entry.name;
    size_t full = folderLength + textLength(name);
    wchar_t path[SOURCE_PATH_LIMIT];
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!isDotEntry(name)) {
        sawFolder = true;
        wchar_t child[SOURCE_PATH_LIMIT];  // below the full path in length
        if (full >= SOURCE_PATH_LIMIT || !childRelativePath(child, countOf(child), relativePath, name)) {
          result = noteProblem(ENTRY_PATH_TOO_LONG, PACK_SOURCE_FAILED, folder);
        } else {
          formatText(path, countOf(path), L"%ls%ls", folder, name);
          result = addFolderEntry(setup, name, relativePath);
          if (result != ENTRY_OK) noteProblem(result, packProblemOf(result), path);
          else result = addFolderTree(setup, path, child);
        }
      }
    } else if (full >= SOURCE_PATH_LIMIT) {
      result = noteProblem(ENTRY_PATH_TOO_LONG, PACK_SOURCE_FAILED, folder);
    } else {
      formatText(path, countOf(path), L"%ls%ls", folder, name);
      result = packSourceFile(path, name, relativePath, entry.task);
    }
    if (result == ENTRY_OK && runProgress().stopRequested()) result = noteProblem(ENTRY_STOPPED, PACK_STOPPED, folder);
    if (result != ENTRY_OK) break;
  }
  // The end of the listing, or a listing that broke off: its rest is unknown.
  if (result == ENTRY_OK && listing.broken()) result = noteProblem(ENTRY_PATH_TOO_LONG, PACK_UNREADABLE, folderPath);

  // A folder without sub-folders gets a folder-end entry, so that it is
  // recreated even when it holds nothing (also after a listing that ended
  // early: the run has failed then, and only its first failure counts).
  if (!sawFolder) {
    EntryResult ended = addFolderEntry(setup, L"", relativePath);
    if (result == ENTRY_OK && ended != ENTRY_OK) result = noteProblem(ended, packProblemOf(ended), folderPath);
  }
  return result;
}
