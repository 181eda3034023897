// The extractor: reads an archive strictly forward and recreates its folders
// and files under the output folder (its parts: see extraction.h).
//
// The archive comes from outside: every entry's names are checked before
// anything is created, so nothing lands outside the output folder. No file
// carries its real name before its data is complete and its checksum
// matched: a stop, a read error or bad data lets the incomplete file go, and
// an existing file is replaced only by a complete, verified one, and only
// when the caller's question says so.
//
// Where a file goes first: into a top-level folder being staged
// (extract_staging.cpp) under its own name, or else beside its target under
// a working name, moved over it when complete (extract_commit.cpp). Runs on
// the worker thread, while a thread of its own reads and inflates the
// archive ahead (entry_stream.h).
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

#include "common/file_util.h"
#include "common/text_util.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/entry_check.h"
#include "manager/archive/entry_stream.h"
#include "manager/archive/extraction.h"

namespace {

unsigned char headerBytes[ARCHIVE_HEADER_SIZE];

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

// An entry that fails before anything of it is made, named as it is stored.
int refuseEntry(Extraction* x, const ArchiveEntryHeader& header, bool hasData) {
  static wchar_t shown[ARCHIVE_FOLDER_SIZE + ARCHIVE_NAME_SIZE];
  visibleEntryPath(header, shown, countOf(shown));
  noteFailedPath(x, shown);
  return failEntry(x, UNPACK_FAILED, hasData, header.storedLength);
}

// The top-level folder an entry belongs to: the first component of its
// folder path, or a top-level folder entry's own name; its files go into it
// while it is staged. A top-level file goes in place. *where is the path the
// entry is made at; EXTRACT_OK, or the code that ends the extraction.
int placeEntry(Extraction* x, const wchar_t* folderPath, const wchar_t* name, bool folder, const wchar_t* target,
               size_t folderPartLength, wchar_t staged[TARGET_PATH_SIZE], const wchar_t** where,
               size_t* whereFolderPart) {
  *where = target;
  *whereFolderPart = folderPartLength;
  const wchar_t* top = folderPath[0] ? folderPath : (folder ? name : L"");
  size_t topLength = wcscspn(top, L"\\");
  size_t prefix = textLength(x->outputFolder);
  while (target[prefix] == L'\\') ++prefix;  // the separator the target path put after it
  Staging& s = x->staging;
  if (topLength == 0) {
    int finished = finishStaging(x, true);
    s.component[0] = 0;
    return finished;
  }
  if (!(textLength(s.component) == topLength &&
        CompareStringOrdinal(s.component, static_cast<int>(topLength), top, static_cast<int>(topLength), TRUE) ==
            CSTR_EQUAL)) {
    int finished = finishStaging(x, true);
    if (finished != EXTRACT_OK) return finished;
    beginStaging(x, top, topLength, target, prefix + topLength);
  }
  if (!s.active) return EXTRACT_OK;
  if (stagedPathOf(x, target, prefix + topLength, folderPartLength, staged, whereFolderPart)) {
    *where = staged;
    return EXTRACT_OK;
  }
  *whereFolderPart = folderPartLength;
  return finishStaging(x, true);  // too long under the temporary name: the rest goes in place
}

int extractEntry(Extraction* x, const ArchiveEntryHeader& header) {
  bool folder = header.folderFlag == 1;
  bool utf8 = header.nameEncoding == ARCHIVE_NAMES_UTF8;
  // A name encoding no writer makes is damage: the entry is refused like an
  // unsafe name.
  if ((header.nameEncoding != ARCHIVE_NAMES_ANSI && !utf8) || !isSafeFolderPath(header.folderPath, utf8) ||
      !isSafeEntryName(header.name, folder, utf8))
    return refuseEntry(x, header, !folder);
  static wchar_t name[ARCHIVE_NAME_SIZE], folderPath[ARCHIVE_FOLDER_SIZE];
  if (!entryTextAsWide(header.name, utf8, name, countOf(name)) ||
      !entryTextAsWide(header.folderPath, utf8, folderPath, countOf(folderPath)))
    return refuseEntry(x, header, !folder);
  x->progress->status(name);
  wchar_t target[TARGET_PATH_SIZE];
  size_t folderPartLength = 0;
  if (buildTargetPath(x->outputFolder, folderPath, name, target, &folderPartLength) != TARGET_OK)
    return EXTRACT_PATH_TOO_LONG;
  if (!liesBelowOutput(x, target) || passesThroughLink(x, target, folderPartLength, folder))
    return refuseEntry(x, header, !folder);

  wchar_t staged[TARGET_PATH_SIZE];
  const wchar_t* where = target;
  size_t whereFolderPart = folderPartLength;
  int placed = placeEntry(x, folderPath, name, folder, target, folderPartLength, staged, &where, &whereFolderPart);
  if (placed != EXTRACT_OK) return placed;
  // Something that is no folder where a folder must go: the entries below
  // it fail, and the message names it; the rest of the archive comes back.
  wchar_t blocked[TARGET_PATH_SIZE];
  FoldersResult folders = ensureFolders(x, where, whereFolderPart, blocked);
  if (folders == FOLDERS_OK && folder) {
    DWORD attributes = GetFileAttributesW(where);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      copyText(blocked, countOf(blocked), where);
      folders = FOLDERS_BLOCKED;
    }
  }
  if (folders == FOLDERS_BLOCKED) {
    noteFailedPath(x, where == target ? blocked : target);
    return failEntry(x, UNPACK_FAILED, !folder, header.storedLength);
  }
  if (folders == FOLDERS_FAILED) return EXTRACT_FOLDER_LEVEL;
  if (folder) return makeDirectoryPath(where, 1) != 0 ? EXTRACT_FOLDER_ENTRY : EXTRACT_OK;
  int result = where == staged ? extractStagedFile(x, header, where) : extractFile(x, header, where);
  if (result == ENTRY_FAILED) noteFailedPath(x, target);
  // A file that did not come back leaves no folder made only for it.
  if (result != EXTRACT_OK && result != EXTRACT_FILE_TIMES && where == target)
    removeLevelsMade(x, where, whereFolderPart);
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

// The first file that could not be restored, for the caller's message.
void noteFailedPath(Extraction* x, const wchar_t* path) {
  const ExtractSetup& setup = *x->setup;
  if (setup.failedPath && setup.failedPathCap > 0 && setup.failedPath[0] == 0)
    copyText(setup.failedPath, setup.failedPathCap, path);
}

unsigned failureOf(DWORD error) { return error == ERROR_DISK_FULL ? DISK_FULL : UNPACK_FAILED; }

// An entry that is skipped with its data: counts as a failed entry.
int failEntry(Extraction* x, unsigned failure, bool hasData, uint64_t storedLength) {
  x->failureSet |= failure;
  if (hasData) {
    int skipped = skipData(storedLength);
    if (skipped != EXTRACT_OK) return skipped;
  }
  return ENTRY_FAILED;
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
  int result = extractAll(&x);
  closeEntryStream();
  // What was completed takes its real name, whatever ended the extraction.
  int finished = finishStaging(&x, result == EXTRACT_OK);
  if (result == EXTRACT_OK) result = finished;
  if (result == EXTRACT_OK && x.folderKept) result = EXTRACT_FOLDER_KEPT;
  if (result == EXTRACT_OK && x.anyEntryFailed) result = partialResultOf(x.failureSet);
  // The buffers and the inflate state held the archive's plaintext.
  SecureZeroMemory(headerBytes, sizeof headerBytes);
  releaseBlockCodecs();
  progress.countOnly(false);
  return static_cast<ExtractResult>(result);
}
