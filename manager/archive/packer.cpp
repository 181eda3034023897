// The packer: walks the selected files and folders and appends one entry per
// file and folder to the archive, each file's data compressed block by block.
// The archive and the source list stay open while a packing run lasts (an
// open costs more than a small file's entry). Runs on the worker thread only:
// it alone writes the archive and reports progress, while the threads of the
// compression pool (compress_pool.h) compress the chunks of a larger file and
// load the files the walk comes to next. A file's outcome counts only when
// the walk reaches it, so the archive and the first failure are those of a
// walk that does everything itself, in order.
//
// Nothing is left out in silence: an item that does not exist, a folder that
// cannot be listed, a file that cannot be opened or read, a name the archive
// cannot hold, all stop the run, and the run's problem names the item and the
// reason.
#include "manager/archive/packer.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/option_parser.h"
#include "manager/archive/target_path.h"
#include "manager/archive/utf8_text.h"
#include "manager/startup/job_state.h"

namespace {

enum { SOURCE_PATH_LIMIT = SOURCE_TASK_PATH };  // every source path must be shorter (UTF-16 units)

unsigned char headerBytes[ARCHIVE_HEADER_SIZE];

// The compression threads serve one packing run: they are started for its
// first file of more than one chunk and ended when the outermost call into
// the packer returns, so none is left running between jobs.
int runDepth = 0;

// Drive types already asked in this run, by drive letter (0: not asked yet):
// a drive keeps its type while one selection is packed, and asking costs far
// more than the line it goes into.
int knownDriveTypes[26];

// The first failure of the run, for buildArchive's caller.
PackProblem runProblem;

// The archive and the source list while a run lasts, opened on first use.
UniqueFile runArchive, runList;
wchar_t runArchivePath[OPTION_SLOT_SIZE];

class PackingRun {
 public:
  PackingRun() {
    if (runDepth++ == 0) {
      memset(knownDriveTypes, 0, sizeof knownDriveTypes);
      runProblem.code = PACK_OK;
      runProblem.item[0] = runProblem.otherItem[0] = 0;
    }
  }
  ~PackingRun() {
    if (--runDepth > 0) return;
    runArchive.reset();
    runList.reset();
    stopCompressThreads();
    // What the run held of the sources goes: the slots, the deflate states,
    // the last header.
    wipeCompressSlots();
    releaseBlockCodecs();
    SecureZeroMemory(headerBytes, sizeof headerBytes);
  }
  PackingRun(const PackingRun&) = delete;
  PackingRun& operator=(const PackingRun&) = delete;
};

// Notes the first failure of the run; the step's own code is passed on.
int noteProblem(int entryCode, int packCode, const wchar_t* item) {
  if (runProblem.code == PACK_OK) {
    runProblem.code = packCode;
    copyText(runProblem.item, countOf(runProblem.item), item);
  }
  return entryCode;
}

// What a failed open or read of a source says to the user.
int sourceProblemOf(DWORD error) {
  switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return PACK_IN_USE;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return PACK_NOT_FOUND;
    default:
      return PACK_UNREADABLE;
  }
}

HANDLE openForAppend(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, WORKING_FILE_SHARE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// The run's archive, positioned at its end; 0, or openCode when it cannot be
// opened and endCode when its end cannot be found.
int archiveOfRun(const wchar_t* archivePath, int openCode, int endCode, HANDLE* archive) {
  if (!runArchive || wcscmp(runArchivePath, archivePath) != 0) {
    runArchive.reset(openForAppend(archivePath));
    runArchivePath[0] = 0;
    if (!runArchive) return openCode;
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(runArchive.get(), zero, nullptr, FILE_END)) {
      runArchive.reset();
      return endCode;
    }
    copyText(runArchivePath, countOf(runArchivePath), archivePath);
  }
  *archive = runArchive.get();
  return 0;
}

uint64_t fileTimeValue(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

int driveTypeOfSource(const wchar_t* path) {
  wchar_t letter = path[0];
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  if (letter < L'A' || letter > L'Z' || path[1] != L':') return driveTypeOfPath(path, nullptr, 0);
  int& known = knownDriveTypes[letter - L'A'];
  if (known == 0) known = driveTypeOfPath(path, nullptr, 0) + 1;
  return known - 1;
}

// The source list is read by the operation log, which stays in the ANSI code
// page: a character the code page lacks is written as "?".
void writeSourceListLine(const wchar_t* sourcePath) {
  char path[SOURCE_PATH_LIMIT * 2 + 1];
  wideToAnsiMarked(sourcePath, path, sizeof path);
  char line[sizeof path + 64];
  int type = driveTypeOfSource(sourcePath);
  if (!formatText(line, sizeof line, "File=\"%s\";Type=%d;\r\n", path, type)) return;
  if (!runList) {
    runList.reset(openForAppend(jobState.sourceListPath));
    LARGE_INTEGER zero = {};
    if (runList && !SetFilePointerEx(runList.get(), zero, nullptr, FILE_END)) runList.reset();
  }
  if (runList) writeAll(runList.get(), line, strlen(line));  // a failed line is ignored
}

// Puts an entry's name and folder path into its header as the archive holds
// them. Names that the ANSI code page holds exactly (never by a look-alike)
// are written in it, as every archive before Unicode entries was; any other
// entry is a Unicode entry, its name and folder path in UTF-8. 0, 9 when a
// field would be too long (a name is never cut), 15 when the name holds half
// a surrogate pair, which names no character.
int putEntryNames(ArchiveEntryHeader* header, const wchar_t* name, const wchar_t* folderPath) {
  // Room for any name and folder path the walk can produce (below 260 units
  // each, at most three bytes a unit), so that a text too long for its field
  // is told apart from one that does not convert.
  enum { ROOM = SOURCE_PATH_LIMIT * 3 + 8 };
  char encodedName[ROOM], encodedFolder[ROOM];
  if (textLength(name) >= SOURCE_PATH_LIMIT || textLength(folderPath) >= SOURCE_PATH_LIMIT) return 9;
  header->nameEncoding = ARCHIVE_NAMES_ANSI;
  if (!wideToAnsiExact(name, encodedName, ROOM) || !wideToAnsiExact(folderPath, encodedFolder, ROOM)) {
    header->nameEncoding = ARCHIVE_NAMES_UTF8;
    if (!utf8FromWide(name, encodedName, ROOM) || !utf8FromWide(folderPath, encodedFolder, ROOM))
      return PACK_NOT_STORABLE;
  }
  if (strlen(encodedName) >= ARCHIVE_NAME_SIZE || strlen(encodedFolder) >= ARCHIVE_FOLDER_SIZE) return 9;
  copyText(header->name, sizeof header->name, encodedName);
  copyText(header->folderPath, sizeof header->folderPath, encodedFolder);
  return 0;
}

// What has been written of one entry's data area.
struct EntryData {
  uint64_t stored;    // bytes of the blocks written
  uint32_t checksum;  // unsigned-byte sum of those bytes
};

// Writes one compressed chunk as a block and counts it in the entry and in
// the progress; the stop request is looked at after every block.
int writeBlock(HANDLE archive, const CompressSlot* block, EntryData* data) {
  if (block->result != BLOCK_OK) return 16;
  data->checksum = addDataChecksum(data->checksum, block->frame, block->frameSize);
  if (!writeAll(archive, block->frame, block->frameSize)) return 7;
  data->stored += block->frameSize;
  progressAdd(&jobState.progressDone, static_cast<int64_t>(block->frameSize));
  if (stopRequested()) return 99;
  return 0;
}

// Reads the source in chunks until a read returns no bytes and writes one
// block per chunk. While earlier chunks are being compressed the next ones
// are read ahead into free slots, but the blocks are written strictly in the
// order of their chunks, and a failed read counts only once every block
// before it is written: the archive and the result are those of a plain
// read, compress, write loop. Whatever the outcome, no chunk is left being
// compressed on return. *readError receives the error of a failed read.
int writeBlocks(HANDLE source, HANDLE archive, bool threaded, EntryData* data, DWORD* readError) {
  beginFileChunks(threaded);
  bool sourceEnded = false, readFailed = false;
  int result = 0;
  while (result == 0) {
    CompressSlot* slot;
    while (!sourceEnded && (slot = freeChunkSlot()) != nullptr) {
      DWORD got = 0;
      readFailed = !readSourceChunk(source, slot->chunk, &got);
      if (readFailed) *readError = GetLastError();
      if (readFailed || got == 0) sourceEnded = true;
      else submitChunk(slot, got);
    }
    CompressSlot* block = nextCompressedChunk();
    if (!block) {
      if (readFailed) result = 6;
      break;
    }
    result = writeBlock(archive, block, data);
    releaseChunkSlot(block);
  }
  endFileChunks();
  return result;
}

// Every job starts a fresh archive: one that exists is emptied (not deleted,
// as the job may hold it open to have it deleted when the process ends).
void startFreshArchive(const wchar_t* archivePath) {
  if (archivePath[0] == 0) return;
  UniqueFile archive(CreateFileW(archivePath, GENERIC_WRITE, WORKING_FILE_SHARE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (archive) SetEndOfFile(archive.get());
}

// Notes an archive that could not be written and passes the step's code on.
int archiveFailure(int code, const wchar_t* archivePath) {
  return noteProblem(code, PACK_ARCHIVE_UNWRITABLE, archivePath);
}

// Steps 2 to 10 of one file entry, from its loaded source (which it takes);
// the caller writes the source-list line. A file that ended within its first
// chunk is written with its final header at once; a longer one gets a
// provisional header, completed once its blocks are written.
int packFile(const wchar_t* archivePath, const wchar_t* sourcePath, const wchar_t* name, const wchar_t* folderPath,
             SourceTask* loaded) {
  if (loaded->openError != 0) return noteProblem(11, sourceProblemOf(loaded->openError), sourcePath);
  UniqueFile source(loaded->file);
  loaded->file = INVALID_HANDLE_VALUE;
  ArchiveEntryHeader header;
  clearArchiveHeader(&header);
  header.compressedFlag = 1;
  header.creationTime = fileTimeValue(loaded->created);
  header.lastAccessTime = fileTimeValue(loaded->accessed);
  header.lastWriteTime = fileTimeValue(loaded->written);
  header.formatTag = ARCHIVE_FILE_FORMAT_TAG;
  header.storedLength = loaded->size;
  header.entrySpan = loaded->size + ARCHIVE_HEADER_SIZE;
  int named = putEntryNames(&header, name, folderPath);
  if (named != 0) return noteProblem(named, named, sourcePath);

  HANDLE archive = INVALID_HANDLE_VALUE;
  int opened = archiveOfRun(archivePath, 2, 3, &archive);
  if (opened != 0) return archiveFailure(opened, archivePath);
  const CompressSlot& first = loaded->first;
  bool whole = loaded->ended && !loaded->readFailed && first.result == BLOCK_OK;
  EntryData data = {0, 0};
  if (whole && first.chunkSize > 0) {
    data.stored = first.frameSize;
    data.checksum = addDataChecksum(0, first.frame, first.frameSize);
  }
  header.storedLength = whole ? data.stored : loaded->size;
  header.dataChecksum = data.checksum;
  encodeArchiveHeader(&header, headerBytes);  // unless whole, provisional: header checksum 0
  if (whole) sealArchiveHeader(headerBytes);
  LARGE_INTEGER zero = {}, entryStart = {};
  if (!whole && !SetFilePointerEx(archive, zero, &entryStart, FILE_CURRENT)) return archiveFailure(3, archivePath);
  if (!writeAll(archive, headerBytes, ARCHIVE_HEADER_SIZE)) return archiveFailure(4, archivePath);

  setStatusText(name);
  progressStore(&jobState.progressTotal, static_cast<int64_t>(loaded->size));
  progressStore(&jobState.progressDone, 0);
  EntryData written = {0, 0};
  DWORD readError = loaded->readError;
  int result = loaded->readFailed ? 6 : 0;
  if (result == 0 && first.chunkSize > 0) result = writeBlock(archive, &first, &written);
  if (result == 0 && !loaded->ended)
    result = writeBlocks(source.get(), archive, loaded->size > ARCHIVE_CHUNK_SIZE, &written, &readError);
  switch (result) {
    case 0: break;
    case 6: return noteProblem(6, readError == ERROR_LOCK_VIOLATION ? PACK_IN_USE : PACK_UNREADABLE, sourcePath);
    case 7: return archiveFailure(7, archivePath);
    case 16: return noteProblem(16, PACK_COMPRESS_FAILED, sourcePath);
    default: return noteProblem(result, PACK_STOPPED, sourcePath);
  }
  if (whole) return 0;

  header.storedLength = written.stored;
  header.dataChecksum = written.checksum;
  encodeArchiveHeader(&header, headerBytes);
  sealArchiveHeader(headerBytes);
  if (!SetFilePointerEx(archive, entryStart, nullptr, FILE_BEGIN)) return archiveFailure(8, archivePath);
  if (!writeAll(archive, headerBytes, ARCHIVE_HEADER_SIZE)) return archiveFailure(10, archivePath);
  if (!SetFilePointerEx(archive, zero, nullptr, FILE_END)) return archiveFailure(8, archivePath);
  return 0;
}

// One file of the walk: its task when it was loaded ahead, else it is loaded
// here. The source-list line follows whatever the outcome.
int packSourceFile(const wchar_t* archivePath, const wchar_t* sourcePath, const wchar_t* name,
                   const wchar_t* folderPath, SourceTask* task) {
  if (task) awaitSource(task);
  else task = loadSource(sourcePath);
  int result = packFile(archivePath, sourcePath, name, folderPath, task);
  releaseSource(task);
  writeSourceListLine(sourcePath);
  return result;
}

// The folder path relative to the archive's top level for a sub-folder.
bool childRelativePath(wchar_t* out, size_t cap, const wchar_t* relativePath, const wchar_t* name) {
  if (relativePath[0] == 0) return copyText(out, cap, name);
  return copyText(out, cap, relativePath) && appendText(out, cap, L"\\") && appendText(out, cap, name);
}

bool isDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// Two names the file system takes for one (regardless of case).
bool sameName(const wchar_t* a, const wchar_t* b) { return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL; }

enum { LOOKAHEAD = 16 };  // entries of a listing read ahead of the walk

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
  void push(const WIN32_FIND_DATAW& found) {
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
  ListedEntry single_;
  ListedEntry* ring_;
  size_t capacity_, head_ = 0, count_ = 0;
  bool ended_ = false, broken_ = false;
};

}  // namespace

int makeAbsolutePath(wchar_t* out, const wchar_t* path) {
  return makeAbsolutePathFrom(out, path, jobState.moduleDir);
}

int addFileEntry(const wchar_t* archivePath, const wchar_t* sourcePath, const wchar_t* name,
                 const wchar_t* folderPath) {
  if (textLengthUpTo(sourcePath, SOURCE_PATH_LIMIT) >= SOURCE_PATH_LIMIT)
    return noteProblem(9, PACK_SOURCE_FAILED, sourcePath);
  PackingRun run;
  return packSourceFile(archivePath, sourcePath, name, folderPath, nullptr);
}

int addFolderEntry(const wchar_t* archivePath, const wchar_t* name, const wchar_t* folderPath) {
  ArchiveEntryHeader header;
  clearArchiveHeader(&header);
  header.folderFlag = 1;
  int named = putEntryNames(&header, name, folderPath);
  if (named != 0) return named;  // the caller names the folder
  encodeArchiveHeader(&header, headerBytes);
  sealArchiveHeader(headerBytes);
  PackingRun run;
  HANDLE archive = INVALID_HANDLE_VALUE;
  int opened = archiveOfRun(archivePath, 20, 21, &archive);
  if (opened != 0) return archiveFailure(opened, archivePath);
  if (!writeAll(archive, headerBytes, ARCHIVE_HEADER_SIZE)) return archiveFailure(22, archivePath);
  return 0;
}

int addFolderTree(const wchar_t* archivePath, const wchar_t* folderPath, const wchar_t* relativePath) {
  size_t length = textLengthUpTo(folderPath, SOURCE_PATH_LIMIT);
  if (length >= SOURCE_PATH_LIMIT) return noteProblem(9, PACK_SOURCE_FAILED, folderPath);
  PackingRun run;
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
      return noteProblem(9, PACK_UNREADABLE, folderPath);
    int ended = addFolderEntry(archivePath, L"", relativePath);
    return ended == 0 ? 0 : noteProblem(ended, ended, folderPath);
  }

  Listing listing(find, found, folder);
  size_t folderLength = textLength(folder);
  int result = 0;
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
          result = noteProblem(9, PACK_SOURCE_FAILED, folder);
        } else {
          formatText(path, countOf(path), L"%ls%ls", folder, name);
          result = addFolderEntry(archivePath, name, relativePath);
          if (result != 0) noteProblem(result, result < 20 ? result : PACK_ARCHIVE_UNWRITABLE, path);
          else result = addFolderTree(archivePath, path, child);
        }
      }
    } else if (full >= SOURCE_PATH_LIMIT) {
      result = noteProblem(9, PACK_SOURCE_FAILED, folder);
    } else {
      formatText(path, countOf(path), L"%ls%ls", folder, name);
      result = packSourceFile(archivePath, path, name, relativePath, entry.task);
    }
    if (result == 0 && stopRequested()) result = noteProblem(99, PACK_STOPPED, folder);
    if (result != 0) break;
  }
  // The end of the listing, or a listing that broke off: its rest is unknown.
  if (result == 0 && listing.broken()) result = noteProblem(9, PACK_UNREADABLE, folderPath);

  // A folder without sub-folders gets a folder-end entry, so that it is
  // recreated even when it holds nothing (also after a listing that ended
  // early: the run has failed then, and only its first failure counts).
  if (!sawFolder) {
    int ended = addFolderEntry(archivePath, L"", relativePath);
    if (result == 0 && ended != 0) result = noteProblem(ended, ended, folderPath);
  }
  return result;
}

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

// One selected item, looked up before anything is packed.
struct SourceItem {
  wchar_t path[SOURCE_PATH_LIMIT];
  wchar_t name[MAX_PATH];
  bool folder;
  SourceTask* task;  // a file being loaded ahead, or null
};

// The selected items in packing order, the files a few items ahead handed to
// the compression pool to be loaded meanwhile; what was not packed is given
// back.
class SelectedItems {
 public:
  SelectedItems(SourceItem* items, size_t count) : items_(items), count_(count) {}
  ~SelectedItems() {
    for (size_t i = next_; i < count_; ++i)
      if (items_[i].task) releaseSource(items_[i].task);
  }
  SelectedItems(const SelectedItems&) = delete;
  SelectedItems& operator=(const SelectedItems&) = delete;

  // The next item, its task now the caller's; null after the last.
  SourceItem* next() {
    if (next_ == count_) return nullptr;
    for (size_t i = next_; i < count_ && i < next_ + LOOKAHEAD; ++i) {
      SourceItem& item = items_[i];
      if (item.folder || item.task) continue;
      item.task = prefetchSource(item.path);
      if (!item.task) break;
    }
    return &items_[next_++];
  }

 private:
  SourceItem* items_;
  size_t count_, next_ = 0;
};

// Looks up every selected item, then packs them in order. Nothing is packed
// unless every item exists and the top-level names are distinct.
int packSources(const wchar_t* sourceText, const wchar_t* archivePath) {
  if (stopRequested()) return PACK_STOPPED;
  size_t count = 0;
  const wchar_t* cursor = sourceText;
  WideTextToken token;
  while (nextToken(&cursor, &token)) ++count;
  UniqueHeapBlock<SourceItem> items(static_cast<SourceItem*>(malloc((count ? count : 1) * sizeof(SourceItem))));
  if (!items) return PACK_NO_MEMORY;

  static wchar_t path[OPTION_SLOT_SIZE];
  size_t found = 0;
  cursor = sourceText;
  while (nextToken(&cursor, &token)) {
    if (!trimmedToken(token, path)) {
      // Too long for any path: it can only fail, and is never dropped.
      copyTextN(path, countOf(path), token.start, token.length);
      return noteProblem(PACK_SOURCE_FAILED, PACK_SOURCE_FAILED, path);
    }
    if (path[0] == 0) continue;
    if (textLength(path) >= SOURCE_PATH_LIMIT) return noteProblem(PACK_SOURCE_FAILED, PACK_SOURCE_FAILED, path);
    // A drive root names no folder the archive could hold under a name of
    // its own; any other folder may be given with a separator at its end.
    if (isRootPath(path)) return noteProblem(PACK_DRIVE_ROOT, PACK_DRIVE_ROOT, path);
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
      int code = missing ? PACK_NOT_FOUND : PACK_UNREADABLE;
      return noteProblem(code, code, path);
    }
    SourceItem& item = items.get()[found];
    copyText(item.path, countOf(item.path), path);
    copyText(item.name, countOf(item.name), data.cFileName);
    item.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.task = nullptr;
    // Two items of one name would land on one target when restored.
    for (size_t i = 0; i < found; ++i) {
      if (!sameName(items.get()[i].name, item.name)) continue;
      noteProblem(0, PACK_NAME_CLASH, items.get()[i].path);
      copyText(runProblem.otherItem, countOf(runProblem.otherItem), item.path);
      return PACK_NAME_CLASH;
    }
    ++found;
  }

  SelectedItems selected(items.get(), found);
  while (SourceItem* item = selected.next()) {
    int result = item->folder ? addFolderTree(archivePath, item->path, item->name)
                              : packSourceFile(archivePath, item->path, item->name, L"", item->task);
    if (result != 0) return runProblem.code != PACK_OK ? runProblem.code : PACK_SOURCE_FAILED;
    if (stopRequested()) return PACK_STOPPED;
  }
  return PACK_OK;
}

}  // namespace

int buildArchive(const wchar_t* commandText, PackProblem* problem) {
  PackingRun run;
  size_t length = textLength(commandText);
  UniqueWideText sources(static_cast<wchar_t*>(malloc((length + 2) * sizeof(wchar_t))));
  int result = PACK_OK;
  if (!sources) {
    result = PACK_NO_MEMORY;
  } else {
    static const wchar_t* const kOptions[] = {L"S-i", L"S-o", L"N-x"};
    static wchar_t archiveValue[OPTION_SLOT_SIZE];
    archiveValue[0] = 0;
    wchar_t* const values[] = {nullptr, archiveValue, nullptr};  // "-i" has no effect
    parseOptionText(commandText, kOptions, 3, values, sources.get(), length + 2);

    static wchar_t archivePath[OPTION_SLOT_SIZE];
    makeAbsolutePath(archivePath, archiveValue);
    startFreshArchive(archivePath);
    result = packSources(sources.get(), archivePath);
  }
  if (problem) {
    *problem = runProblem;
    problem->code = result;
    if (result == PACK_OK || result == PACK_NO_MEMORY) problem->item[0] = problem->otherItem[0] = 0;
  }
  return result;
}
