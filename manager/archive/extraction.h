// What the parts of the extractor share while an extraction lasts: the
// extraction record and the steps one part hands to another. Only the
// extractor's own files include this: extractor.cpp (the entries in order),
// extract_paths.cpp (where an entry may go), extract_commit.cpp (a restored
// file takes its name) and extract_staging.cpp (top-level folders built
// under a temporary name, and those a killed restore left).
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "common/unique_handle.h"
#include "common/working_file.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/extractor.h"
#include "manager/archive/target_path.h"

enum {
  ENTRY_FAILED = -1,  // this entry failed, the archive position is right: go on
};

// A top-level folder being built under a temporary name.
struct Staging {
  bool active;
  UniqueFile hold;  // open without sharing its deletion: the folder is in use
  wchar_t component[ARCHIVE_NAME_SIZE];  // its name in the archive; empty when none is known
  wchar_t finalPath[TARGET_PATH_SIZE];   // where it goes
  wchar_t stagedPath[TARGET_PATH_SIZE];  // where it is built
  unsigned completeFiles;                // files restored whole into it
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
  size_t levelsMadeFrom;  // where the folder levels made for the current entry begin (0: none)
  Staging staging;
  unsigned failureSet;
  bool anyEntryFailed;
  bool folderKept;        // a staged folder stays under its temporary name
};

// extractor.cpp
void noteFailedPath(Extraction* x, const wchar_t* path);
unsigned failureOf(DWORD error);
int failEntry(Extraction* x, unsigned failure, bool hasData, uint64_t storedLength);
int writeEntryData(Extraction* x, const ArchiveEntryHeader& header, HANDLE output);

// extract_paths.cpp: the output folder as the file system resolves it, the
// guards against an entry that would land elsewhere, the folders on the way
// and an entry's texts.
void resolveOutputRoot(Extraction* x);
bool liesBelowOutput(const Extraction* x, const wchar_t* target);
bool passesThroughLink(Extraction* x, const wchar_t* target, size_t folderPartLength, bool folderEntry);
enum FoldersResult { FOLDERS_OK, FOLDERS_BLOCKED, FOLDERS_FAILED };
// The folder part of a path exists (made when missing). FOLDERS_BLOCKED,
// with the path of the level that is in the way in blocked, when something
// that is no folder stands where a level must go.
FoldersResult ensureFolders(Extraction* x, const wchar_t* path, size_t folderPartLength,
                            wchar_t blocked[TARGET_PATH_SIZE]);
// Removes the levels made for the current entry again, as far as they are
// empty.
void removeLevelsMade(Extraction* x, const wchar_t* path, size_t folderPartLength);
bool entryTextAsWide(const char* text, bool utf8, wchar_t* out, size_t cap);
// An entry's folder path and name as stored, for a message: characters that
// are controls, and bytes that are no text of the entry's encoding, as
// "\xNN".
void visibleEntryPath(const ArchiveEntryHeader& header, wchar_t* out, size_t cap);

// extract_commit.cpp
int extractFile(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* target, bool ownFile = false);
int extractStagedFile(Extraction* x, const ArchiveEntryHeader& header, const wchar_t* path);

// extract_staging.cpp
int finishStaging(Extraction* x, bool complete);
void beginStaging(Extraction* x, const wchar_t* component, size_t componentLength, const wchar_t* target,
                  size_t finalLength);
bool stagedPathOf(const Extraction* x, const wchar_t* target, size_t finalLength, size_t folderPartLength,
                  wchar_t staged[TARGET_PATH_SIZE], size_t* stagedFolderPart);
void removeAbandonedStaging(const Extraction* x);
