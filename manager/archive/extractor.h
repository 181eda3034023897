// Restores the files and folders of an archive under an output folder.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/progress.h"

enum ExtractResult {
  EXTRACT_OK = 0,
  EXTRACT_CANNOT_OPEN = 1, EXTRACT_HEADER_READ = 2,  // the archive cannot be opened, or a header read
  EXTRACT_NO_FIRST_ENTRY = 3,  // the archive does not begin with a valid entry: not an archive at all
  EXTRACT_FOLDER_LEVEL = 4,    // a folder on the way to an entry cannot be made
  EXTRACT_DATA_READ = 6, EXTRACT_FILE_TIMES = 8,
  EXTRACT_PATH_TOO_LONG = 9,
  // One number for two things, both "the archive could not be restored": a
  // folder entry's folder cannot be made, or the archive is damaged (an entry
  // header fails its check before the end, or a data area is cut).
  EXTRACT_FOLDER_ENTRY = 10,
  EXTRACT_DAMAGED = EXTRACT_FOLDER_ENTRY,
  // A top-level folder being restored could not take its name because
  // another restore made a folder of that name meanwhile: it is removed and
  // the extraction ends there.
  EXTRACT_FOLDER_CLASH = 11,
  // The archive was read to its end, but a top-level folder could not take
  // its name for another reason (a program held a file in it): it stays,
  // visible, under its temporary name, which failedPath gives.
  EXTRACT_FOLDER_KEPT = 12,
  EXTRACT_DECOMPRESS = 17,
  EXTRACT_STOPPED = RESULT_STOPPED,
  // The archive was read to its end, but entries failed (0x10000 plus the
  // failures below).
  EXTRACT_PARTIAL_UNPACK = 0x10001,     // an entry could not be restored
  EXTRACT_PARTIAL_DISK_FULL = 0x10002,  // a disk filled up
  EXTRACT_PARTIAL_BOTH = 0x10003,
};
enum ExtractFailure { UNPACK_FAILED = 1, DISK_FULL = 2 };

// An existing file that a restored one would replace (times as FILETIME
// values).
struct ReplaceFacts {
  const wchar_t* path;
  uint64_t existingSize, incomingSize;
  uint64_t existingTime, incomingTime;
};
enum ReplaceAnswer { ANSWER_REPLACE, ANSWER_KEEP, ANSWER_REPLACE_ALL, ANSWER_KEEP_ALL, ANSWER_STOP };
typedef ReplaceAnswer (*AskReplace)(void* context, const ReplaceFacts& facts);

// What an extraction reports and asks besides the archive itself. Status
// line (each entry's name), the bytes left of the current file (count only)
// and the stop request go through progress. askReplace decides each existing
// file that a restored one would replace (keeping it skips the entry; null:
// replaced without a question). failedPath, when set, receives the first
// file that could not be restored (an entry refused for its name as it is
// stored; for entries that could not be made because something else stands
// where their folder must go, that place). Each restored file gets the
// mark of zone when that zone passes on (zone_identifier.h); 0, the local
// zone, gives none.
struct ExtractSetup {
  const Progress* progress;
  AskReplace askReplace;
  void* context;
  wchar_t* failedPath;
  size_t failedPathCap;
  int zone;
};

// Restores the archive that a source of the caller's gives (entry_stream.h),
// read by the extraction's reading thread, under outputFolder (a full path).
class ArchiveSource;
ExtractResult extractArchiveFrom(ArchiveSource* archive, const wchar_t* outputFolder, const ExtractSetup& setup);
// Creates every missing folder level of path; with includeLast 0 the last
// component (a file name) is left out. 0 when the levels exist.
int makeDirectoryPath(const wchar_t* path, int includeLast);
// Removes a folder with everything below it; a link inside goes, never what
// it names. false when something stayed.
bool removeFolderTree(const wchar_t* path);
