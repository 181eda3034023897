// The extractor: reads an archive strictly forward and recreates its folders
// and files under the output folder.
//
// The archive comes from outside: every entry's names are checked before
// anything is created, so nothing lands outside the output folder. No file
// carries its real name before its data is complete and its checksum
// matched: a stop, a read error or bad data removes the incomplete file, and
// an existing file is replaced only by a complete, verified one, and only
// when the caller's question says so.
//
// Where a file goes first: a top-level folder of the archive that the output
// folder does not hold yet is built under a temporary name ("staged") and
// takes its real name when the archive moves past it (or ends, or fails, once
// the incomplete file is gone), so that its files need no rename of their
// own. Any other file is written to a temporary name beside its target and
// renamed over it when complete. A staged folder is hidden and held open
// while it is built; one that nobody holds any more was left by a restore
// that was killed, and the next restore into that folder removes it. A staged
// folder that cannot take its name (another restore made one of that name
// meanwhile) is removed, and the extraction says so. Runs on the worker thread, while a thread
// of its own reads and inflates the archive ahead (entry_stream.h).
//
// The archive's length is known, so a header that fails its check while a
// whole header's worth of bytes remains is damage, not the end of the
// archive; and an archive whose very first header fails is no archive at all
// (a wrong password that passed the container's short check decrypts to
// noise).
#include "manager/archive/extractor.h"

#include <windows.h>
#include <string.h>
#include <wchar.h>

#include "common/command_line.h"
#include "common/file_util.h"
#include "common/fresh_file.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/entry_check.h"
#include "manager/archive/entry_stream.h"
#include "manager/archive/option_parser.h"
#include "manager/archive/target_path.h"
#include "manager/archive/utf8_text.h"
#include "manager/archive/zone_mark.h"

namespace {

enum {
  ENTRY_FAILED = -1,  // this entry failed, the archive position is right: go on
};

unsigned char headerBytes[ARCHIVE_HEADER_SIZE];

// A top-level folder being built under a temporary name.
struct Staging {
  bool active;
  UniqueFile hold;  // open without sharing its deletion: the folder is in use
  wchar_t component[ARCHIVE_NAME_SIZE];  // its name in the archive; empty when none is known
  wchar_t finalPath[TARGET_PATH_SIZE];   // where it goes
  wchar_t stagedPath[TARGET_PATH_SIZE];  // where it is built
};

struct Extraction {
  const wchar_t* outputFolder;
  const Progress* progress;
  const ExtractSetup* setup;
  bool standing;                 // an answer for all existing files was given
  ReplaceAnswer standingAnswer;  // ANSWER_REPLACE or ANSWER_KEEP
  wchar_t outputRoot[MAX_PATH];  // the output folder as the file system resolves it
  wchar_t checkedFolder[TARGET_PATH_SIZE];  // the folder part last found free of links
  wchar_t madeFolder[TARGET_PATH_SIZE];     // the folder part last found to exist
  Staging staging;
  unsigned failureSet;
  bool anyEntryFailed;
};

// The first file that could not be restored, for the caller's message.
void noteFailedPath(Extraction* x, const wchar_t* path) {
  const ExtractSetup& setup = *x->setup;
  if (setup.failedPath && setup.failedPathCap > 0 && setup.failedPath[0] == 0)
    copyText(setup.failedPath, setup.failedPathCap, path);
}

uint64_t toValue(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

// Whether a restored file replaces the existing one: the caller's answer, or
// its standing answer for all.
ReplaceAnswer decideReplace(Extraction* x, const ReplaceFacts& facts) {
  if (!x->setup->askReplace) return ANSWER_REPLACE;
  if (x->standing) return x->standingAnswer;
  ReplaceAnswer answer = x->setup->askReplace(x->setup->context, facts);
  if (answer == ANSWER_REPLACE_ALL || answer == ANSWER_KEEP_ALL) {
    x->standing = true;
    x->standingAnswer = answer == ANSWER_REPLACE_ALL ? ANSWER_REPLACE : ANSWER_KEEP;
    return x->standingAnswer;
  }
  return answer;
}

// A restored file, whole, takes the mark of the zone its archive came from
// before its times are set (writing a stream changes them) and before it
// takes its name. A drive that keeps no marks takes the file without one,
// as it would take it from the file manager.
void markRestoredFile(const Extraction* x, const wchar_t* path) {
  if (zonePassesOn(x->setup->zone)) markFileZone(path, x->setup->zone);
}

unsigned failureOf(DWORD error) { return error == ERROR_DISK_FULL ? DISK_FULL : UNPACK_FAILED; }

// Passes over an entry's data area: its events are dropped. A data area
// that reaches past the end of the archive ends at its end.
int skipData(uint64_t storedLength) {
  for (uint64_t remaining = storedLength; remaining > 0;) {
    const EntryEvent* event = nextEntryEvent();
    if (event->type == EVENT_DATA_FAILED) return event->skipFailed ? EXTRACT_DATA_READ : EXTRACT_OK;
    remaining = event->remaining;
  }
  return EXTRACT_OK;
}

// An entry that is skipped with its data: counts as a failed entry.
int failEntry(Extraction* x, unsigned failure, bool hasData, uint64_t storedLength) {
  x->failureSet |= failure;
  if (hasData) {
    int skipped = skipData(storedLength);
    if (skipped != EXTRACT_OK) return skipped;
  }
  return ENTRY_FAILED;
}

// Second line of defence behind the name checks: the file system's own
// reading of the target must lie below the output folder.
bool liesBelowOutput(const Extraction* x, const wchar_t* target) {
  if (x->outputRoot[0] == 0) return false;
  wchar_t full[MAX_PATH];
  DWORD n = GetFullPathNameW(target, countOf(full), full, nullptr);
  if (n == 0 || n >= countOf(full)) return false;
  size_t rootLength = textLength(x->outputRoot);
  return wcsncmp(full, x->outputRoot, rootLength) == 0 && full[rootLength] == L'\\';
}

// Each folder on the way from the output folder to the target that exists
// already must be a plain folder: a junction or a symbolic link would carry
// the entry to another place on the disk, whatever its names say. Folders the
// extraction made itself are plain, and entries come folder by folder, so the
// folder part checked last is remembered.
bool passesThroughLink(Extraction* x, const wchar_t* target, size_t folderPartLength, bool folderEntry) {
  size_t at = textLength(x->outputFolder);
  while (target[at] == L'\\') ++at;  // the separator the target path put after it
  // A file's folders end at the separator before its name; a folder entry's
  // own folder counts too.
  size_t end = folderEntry ? textLength(target) : (folderPartLength > 0 ? folderPartLength - 1 : 0);
  bool folderKnown = wcsncmp(x->checkedFolder, target, folderPartLength) == 0 &&
                     x->checkedFolder[folderPartLength] == 0;
  if (folderKnown) at = folderPartLength;
  static wchar_t prefix[TARGET_PATH_SIZE];
  for (size_t i = at; i <= end && i < TARGET_PATH_SIZE; ++i) {
    if (i < end && target[i] != L'\\') continue;
    if (i == at) continue;  // an empty component: nothing to look at
    copyTextN(prefix, countOf(prefix), target, i);
    DWORD attributes = GetFileAttributesW(prefix);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  }
  copyTextN(x->checkedFolder, countOf(x->checkedFolder), target, folderPartLength);
  return false;
}

void resolveOutputRoot(Extraction* x) {
  x->outputRoot[0] = 0;
  // Resolved with its separator, as target paths are formed: "C:" alone
  // would name the current folder of drive C:, not its root.
  wchar_t folder[MAX_PATH];
  const wchar_t* given = x->outputFolder[0] != 0 ? x->outputFolder : L".";
  if (!copyText(folder, countOf(folder) - 1, given)) return;
  if (!endsWithSeparator(folder)) appendText(folder, countOf(folder), L"\\");
  DWORD n = GetFullPathNameW(folder, countOf(x->outputRoot), x->outputRoot, nullptr);
  if (n == 0 || n >= countOf(x->outputRoot)) {
    x->outputRoot[0] = 0;
    return;
  }
  removeTrailingBackslash(x->outputRoot);
}

FILETIME toFileTime(uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

// Where a fresh name for a target goes: beside it, in its folder part.
struct TemporaryPlace {
  const wchar_t* target;
  size_t folderPartLength;
};

bool formTemporaryName(const void* context, unsigned long value, wchar_t* out, size_t cap) {
  const TemporaryPlace* place = static_cast<const TemporaryPlace*>(context);
  return cap >= TARGET_PATH_SIZE && formTemporaryPath(place->target, place->folderPartLength, value, out);
}

// Creates the file an entry is written to, under a fresh name beside the
// target. Sets the error of the last attempt when none could be created.
HANDLE createTemporary(const wchar_t* target, size_t folderPartLength, DWORD attributes, wchar_t* temporary) {
  TemporaryPlace place = {target, folderPartLength};
  return createFreshFile(formTemporaryName, &place, attributes, temporary, TARGET_PATH_SIZE);
}

// Puts the written file under the target name. false when it had to be
// deleted instead.
bool installTemporary(const wchar_t* temporary, const wchar_t* target) {
  if (MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileW(temporary);
  return false;
}

// Streams an entry's data into output (a file being made) and verifies it.
// EXTRACT_OK when the data is whole and its checksum matched; ENTRY_FAILED
// when the entry failed (its failure noted) with the archive position right;
// otherwise the code that ends the extraction.
int writeEntryData(Extraction* x, const ArchiveEntryHeader& header, HANDLE output) {
  uint64_t remaining = header.storedLength;
  uint32_t checksum = 0;
  x->progress->done(static_cast<int64_t>(remaining));
  bool writeFailed = false;
  int stopped = EXTRACT_OK;
  while (remaining > 0) {
    const EntryEvent* event = nextEntryEvent();
    if (event->type != EVENT_BLOCK) {  // 6, 10 or 17: the extraction ends
      stopped = event->type == EVENT_DATA_FAILED ? event->code : static_cast<int>(EXTRACT_DATA_READ);
      break;
    }
    remaining = event->remaining;
    checksum = event->checksum;
    // After a failed write the rest of the entry is still read, so that the
    // archive position stays right.
    if (!writeFailed && event->size > 0 && !writeAll(output, event->bytes, event->size)) {
      writeFailed = true;
      x->failureSet |= failureOf(GetLastError());
    }
    if (remaining == 0) break;
    x->progress->done(static_cast<int64_t>(remaining));
    if (x->progress->stopRequested()) {
      stopped = EXTRACT_STOPPED;
      break;
    }
  }
  if (!writeFailed && stopped == EXTRACT_OK && checksum == header.dataChecksum) return EXTRACT_OK;
  if (stopped != EXTRACT_OK) return stopped;
  if (!writeFailed) x->failureSet |= UNPACK_FAILED;  // the failed write noted its own
  return ENTRY_FAILED;
}

bool setEntryTimes(HANDLE output, const ArchiveEntryHeader& header) {
  FILETIME created = toFileTime(header.creationTime);
  FILETIME accessed = toFileTime(header.lastAccessTime);
  FILETIME written = toFileTime(header.lastWriteTime);
  return SetFileTime(output, &created, &accessed, &written) != FALSE;
}

// A file that goes in place: written under a temporary name beside its
// target, and renamed over it only when whole and verified, and, where a
// file of its name exists (one this extraction did not make itself), only
// when the caller agrees. A file kept is no failure.
int extractFile(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* target, size_t folderPartLength,
                bool ownFile = false) {
  WIN32_FILE_ATTRIBUTE_DATA existing;
  bool existed = GetFileAttributesExW(target, GetFileExInfoStandard, &existing) != FALSE;
  // A read-only file cannot be replaced, and a folder is no file.
  if (existed && (existing.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return failEntry(x, UNPACK_FAILED, true, header.storedLength);
  // An existing hidden file stays hidden: the new one is created so.
  DWORD attributes = (existed && (existing.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) ? FILE_ATTRIBUTE_HIDDEN
                                                                                     : FILE_ATTRIBUTE_NORMAL;
  wchar_t temporary[TARGET_PATH_SIZE];
  UniqueFile output(createTemporary(target, folderPartLength, attributes, temporary));
  if (!output) return failEntry(x, failureOf(GetLastError()), true, header.storedLength);
  // Until it is whole it goes with its handle, even when the process is killed.
  setDeletedOnClose(output.get(), true);
  int result = writeEntryData(x, header, output.get());
  if (result != EXTRACT_OK) {
    // Not whole: it never takes the name, and an old file stays as it was.
    output.reset();
    DeleteFileW(temporary);
    return result;
  }
  markRestoredFile(x, temporary);
  bool timesSet = setEntryTimes(output.get(), header);
  if (existed && !ownFile) {
    LARGE_INTEGER size = {};
    GetFileSizeEx(output.get(), &size);
    ReplaceFacts facts = {target, toValue(existing.nFileSizeHigh, existing.nFileSizeLow),
                          static_cast<uint64_t>(size.QuadPart),
                          toValue(existing.ftLastWriteTime.dwHighDateTime, existing.ftLastWriteTime.dwLowDateTime),
                          header.lastWriteTime};
    ReplaceAnswer answer = decideReplace(x, facts);
    if (answer == ANSWER_KEEP || answer == ANSWER_STOP) {
      output.reset();
      DeleteFileW(temporary);
      return answer == ANSWER_STOP ? static_cast<int>(EXTRACT_STOPPED) : static_cast<int>(EXTRACT_OK);
    }
  }
  setDeletedOnClose(output.get(), false);
  output.reset();
  if (!installTemporary(temporary, target)) {
    x->failureSet |= UNPACK_FAILED;
    return timesSet ? static_cast<int>(ENTRY_FAILED) : static_cast<int>(EXTRACT_FILE_TIMES);
  }
  return timesSet ? EXTRACT_OK : EXTRACT_FILE_TIMES;
}

// A file of a staged folder: nothing of its name can be there, so it is
// made under its own name (deleted again when not whole).
int extractStagedFile(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* path, size_t folderPartLength) {
  UniqueFile output(CreateFileW(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output) {
    DWORD error = GetLastError();
    // A second entry of one name: it replaces the first, as anywhere else.
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
      return extractFile(x, header, path, folderPartLength, true);
    return failEntry(x, failureOf(error), true, header.storedLength);
  }
  // Until it is whole it goes with its handle, even when the process is
  // killed. A file of one block is written at once: the mark, two more
  // calls for each of many small files, is left to longer ones.
  bool marked = header.storedLength > ARCHIVE_CHUNK_SIZE && setDeletedOnClose(output.get(), true);
  int result = writeEntryData(x, header, output.get());
  if (result != EXTRACT_OK) {
    output.reset();
    DeleteFileW(path);
    return result;
  }
  markRestoredFile(x, path);
  bool timesSet = setEntryTimes(output.get(), header);
  if (marked) setDeletedOnClose(output.get(), false);
  return timesSet ? EXTRACT_OK : EXTRACT_FILE_TIMES;
}

// Gives the staged folder its real name, and shows it. A folder that cannot
// take it (another restore made one of that name meanwhile) is removed with
// what it holds: false, and the extraction ends with the clash.
bool finishStaging(Extraction* x) {
  Staging& s = x->staging;
  if (!s.active) return true;
  s.active = false;
  s.hold.reset();
  x->madeFolder[0] = 0;
  x->checkedFolder[0] = 0;
  if (MoveFileExW(s.stagedPath, s.finalPath, 0)) {
    SetFileAttributesW(s.finalPath, FILE_ATTRIBUTE_NORMAL);
    return true;
  }
  removeFolderTree(s.stagedPath);
  if (x->setup->failedPath) x->setup->failedPath[0] = 0;
  noteFailedPath(x, s.finalPath);
  return false;
}

// Starts a new top-level folder: staged when the output folder holds
// nothing of its name, else its entries go in place.
void beginStaging(Extraction* x, const wchar_t* component, size_t componentLength, const wchar_t* target,
                  size_t finalLength) {
  Staging& s = x->staging;
  copyTextN(s.component, countOf(s.component), component, componentLength);
  copyTextN(s.finalPath, countOf(s.finalPath), target, finalLength);
  if (pathExists(s.finalPath)) return;
  // Without one, its entries go in place and meet the failure there.
  TemporaryPlace place = {target, finalLength - componentLength};
  s.active = createFreshFolder(formTemporaryName, &place, s.stagedPath, countOf(s.stagedPath));
  if (!s.active) return;
  SetFileAttributesW(s.stagedPath, FILE_ATTRIBUTE_HIDDEN);
  s.hold.reset(CreateFileW(s.stagedPath, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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
        !isTemporaryName(data.cFileName))
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

// The folder part of a path exists (made when missing): remembered, since
// entries come folder by folder.
bool ensureFolders(Extraction* x, const wchar_t* path, size_t folderPartLength) {
  if (wcsncmp(x->madeFolder, path, folderPartLength) == 0 && x->madeFolder[folderPartLength] == 0) return true;
  if (makeDirectoryPath(path, 0) != 0) return false;
  copyTextN(x->madeFolder, countOf(x->madeFolder), path, folderPartLength);
  return true;
}

// An entry's text as UTF-16: UTF-8 in a Unicode entry, else code page 932,
// which every ordinary entry holds whatever system made it. false when its
// bytes are no text of that encoding.
bool entryTextAsWide(const char* text, bool utf8, wchar_t* out, size_t cap) {
  out[0] = 0;
  if (text[0] == '\0') return true;
  if (utf8) return wideFromUtf8(text, out, cap);
  int n = MultiByteToWideChar(kProgramCodePage, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(cap));
  return n > 0;
}

int extractEntry(Extraction* x, const ArchiveEntryHeader& header) {
  bool folder = header.folderFlag == 1;
  bool utf8 = header.nameEncoding == ARCHIVE_NAMES_UTF8;
  // A name encoding no writer makes is damage: the entry is refused like an
  // unsafe name.
  if ((header.nameEncoding != ARCHIVE_NAMES_ANSI && !utf8) || !isSafeFolderPath(header.folderPath, utf8) ||
      !isSafeEntryName(header.name, folder, utf8))
    return failEntry(x, UNPACK_FAILED, !folder, header.storedLength);
  static wchar_t name[ARCHIVE_NAME_SIZE], folderPath[ARCHIVE_FOLDER_SIZE];
  if (!entryTextAsWide(header.name, utf8, name, countOf(name)) ||
      !entryTextAsWide(header.folderPath, utf8, folderPath, countOf(folderPath)))
    return failEntry(x, UNPACK_FAILED, !folder, header.storedLength);
  x->progress->status(name);
  wchar_t target[TARGET_PATH_SIZE];
  size_t folderPartLength = 0;
  if (buildTargetPath(x->outputFolder, folderPath, name, target, &folderPartLength) != TARGET_OK)
    return EXTRACT_PATH_TOO_LONG;
  if (!liesBelowOutput(x, target) || passesThroughLink(x, target, folderPartLength, folder))
    return failEntry(x, UNPACK_FAILED, !folder, header.storedLength);

  // The top-level folder the entry belongs to: the first component of its
  // folder path, or a top-level folder entry's own name. A top-level file
  // goes in place.
  const wchar_t* top = folderPath[0] ? folderPath : (folder ? name : L"");
  size_t topLength = wcscspn(top, L"\\");
  size_t prefix = textLength(x->outputFolder);
  while (target[prefix] == L'\\') ++prefix;  // the separator the target path put after it
  wchar_t staged[TARGET_PATH_SIZE];
  const wchar_t* where = target;
  size_t whereFolderPart = folderPartLength;
  if (topLength == 0) {
    if (!finishStaging(x)) return EXTRACT_FOLDER_CLASH;
    x->staging.component[0] = 0;
  } else {
    Staging& s = x->staging;
    if (!(textLength(s.component) == topLength &&
          CompareStringOrdinal(s.component, static_cast<int>(topLength), top, static_cast<int>(topLength), TRUE) ==
              CSTR_EQUAL)) {
      if (!finishStaging(x)) return EXTRACT_FOLDER_CLASH;
      beginStaging(x, top, topLength, target, prefix + topLength);
    }
    if (s.active) {
      if (stagedPathOf(x, target, prefix + topLength, folderPartLength, staged, &whereFolderPart))
        where = staged;
      else if (!finishStaging(x))  // too long under the temporary name: the rest goes in place
        return EXTRACT_FOLDER_CLASH;
    }
  }
  if (!ensureFolders(x, where, whereFolderPart)) return EXTRACT_FOLDER_LEVEL;
  if (folder) return makeDirectoryPath(where, 1) != 0 ? EXTRACT_FOLDER_ENTRY : EXTRACT_OK;
  int result = where == staged ? extractStagedFile(x, header, where, whereFolderPart)
                               : extractFile(x, header, where, whereFolderPart);
  if (result == ENTRY_FAILED) noteFailedPath(x, target);
  return result;
}

int extractAll(Extraction* x) {
  ArchiveEntryHeader header;
  for (bool first = true;; first = false) {
    const EntryEvent* event = nextEntryEvent();
    if (event->type != EVENT_HEADER) return EXTRACT_HEADER_READ;
    size_t got = event->size;
    memcpy(headerBytes, event->bytes, got);
    bool valid = got == ARCHIVE_HEADER_SIZE && isValidArchiveHeader(headerBytes);
    if (!valid && first) return EXTRACT_NO_FIRST_ENTRY;
    // The end of the file, or a cut header at its end: the archive ends. A
    // whole header that fails its check is damage.
    if (got < ARCHIVE_HEADER_SIZE) return EXTRACT_OK;
    if (!valid) return EXTRACT_DAMAGED;
    // A stop is also noticed between entries, not only between blocks.
    if (x->progress->stopRequested()) return EXTRACT_STOPPED;
    decodeArchiveHeader(headerBytes, &header);
    int result = extractEntry(x, header);
    if (result == ENTRY_FAILED) {
      x->anyEntryFailed = true;
      continue;
    }
    if (result != EXTRACT_OK) return result;
  }
}

// An archive read to its end whose entries failed so.
ExtractResult partialResultOf(unsigned failureSet) {
  switch (failureSet) {
    case 0: return EXTRACT_OK;
    case UNPACK_FAILED: return EXTRACT_PARTIAL_UNPACK;
    case DISK_FULL: return EXTRACT_PARTIAL_DISK_FULL;
    default: return EXTRACT_PARTIAL_BOTH;
  }
}

}  // namespace

ExtractResult extractArchiveFrom(ArchiveSource* archive, const wchar_t* outputFolder, const ExtractSetup& setup) {
  const Progress& progress = *setup.progress;
  progress.countOnly(true);
  if (setup.failedPath && setup.failedPathCap > 0) setup.failedPath[0] = 0;
  openEntryStream(archive);
  Extraction x = {};
  x.outputFolder = outputFolder;
  x.progress = &progress;
  x.setup = &setup;
  resolveOutputRoot(&x);
  removeAbandonedStaging(&x);
  ExtractResult result = static_cast<ExtractResult>(extractAll(&x));
  closeEntryStream();
  // What was completed takes its real name, whatever ended the extraction.
  if (!finishStaging(&x) && result == EXTRACT_OK) result = EXTRACT_FOLDER_CLASH;
  if (result == EXTRACT_OK && x.anyEntryFailed) result = partialResultOf(x.failureSet);
  // The buffers and the inflate state held the archive's plaintext.
  SecureZeroMemory(headerBytes, sizeof headerBytes);
  releaseBlockCodecs();
  progress.countOnly(false);
  return result;
}

ExtractResult extractArchive(const wchar_t* archivePath, const wchar_t* outputFolder, const ExtractSetup& setup) {
  UniqueFile archive(CreateFileW(archivePath, GENERIC_READ, WORKING_FILE_SHARE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!archive) {
    if (setup.failedPath && setup.failedPathCap > 0) setup.failedPath[0] = 0;
    return EXTRACT_CANNOT_OPEN;
  }
  FileArchiveSource source(archive.get());
  return extractArchiveFrom(&source, outputFolder, setup);
}

ExtractResult runExtraction(const wchar_t* commandText, const wchar_t* baseFolder, const ExtractSetup& setup) {
  static wchar_t archiveValue[OPTION_SLOT_SIZE], outputValue[OPTION_SLOT_SIZE];
  parseExtractionOptions(commandText, archiveValue, outputValue);
  static wchar_t archivePath[OPTION_SLOT_SIZE], outputFolder[OPTION_SLOT_SIZE];
  makeAbsolutePathFrom(archivePath, archiveValue, baseFolder);
  makeAbsolutePathFrom(outputFolder, outputValue, baseFolder);
  return extractArchive(archivePath, outputFolder, setup);
}
