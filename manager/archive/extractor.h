// Restores the files and folders of an archive under an output folder.
#pragma once

#include "common/progress.h"

enum ExtractResult {
  EXTRACT_OK = 0,
  EXTRACT_CANNOT_OPEN = 1,
  EXTRACT_HEADER_READ = 2,
  EXTRACT_NO_FIRST_ENTRY = 3,  // the archive does not begin with a valid entry: not an archive at all
  EXTRACT_FOLDER_LEVEL = 4,
  EXTRACT_DATA_READ = 6,
  EXTRACT_FILE_TIMES = 8,
  EXTRACT_PATH_TOO_LONG = 9,
  EXTRACT_FOLDER_ENTRY = 10,
  EXTRACT_DAMAGED = 10,  // an entry header fails its check before the end, or a data area is cut
  EXTRACT_DECOMPRESS = 17,
  EXTRACT_STOPPED = 99,
  EXTRACT_PARTIAL = 0x10000,  // plus the failure set below
};
enum ExtractFailure { UNPACK_FAILED = 1, DISK_FULL = 2 };

// Parses "-i \"<archive>\" -o \"<folder>\"", completes drive-less paths from
// baseFolder (which ends with a backslash) and calls extractArchive.
int runExtraction(const wchar_t* commandText, const wchar_t* baseFolder, const Progress& progress);
// Status line (each entry's name), the bytes left of the current file
// (count only) and the stop request go through progress.
int extractArchive(const wchar_t* archivePath, const wchar_t* outputFolder, const Progress& progress);
// Creates every missing folder level of path; with includeLast 0 the last
// component (a file name) is left out. 0 when the levels exist.
int makeDirectoryPath(const wchar_t* path, int includeLast);
