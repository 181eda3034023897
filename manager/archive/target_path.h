// Paths of the archive steps (ANSI or UTF-16 text, lengths in units of it):
// the target path of an extracted entry and the completion of drive-less
// paths.
#pragma once
#include <stddef.h>

enum {
  TARGET_PATH_SIZE = 260,       // a target path is shorter than 260 bytes
  TARGET_FOLDER_PART_MAX = 260,  // output folder, folder path and separators
  TARGET_OK = 0,
  TARGET_TOO_LONG = 9,
};

// Builds the target path of an entry: the output folder, a backslash (unless
// the output folder is empty or already ends with one, Shift-JIS rule), the
// folder path and a backslash when the folder path is not empty, then the
// name. TARGET_TOO_LONG, with nothing written, when the part before the name
// is empty or longer than 260 bytes, or when the whole path would be 260
// bytes or longer. target holds TARGET_PATH_SIZE bytes; *folderPartLength
// receives the length of the part before the name.
int buildTargetPath(const char* outputFolder, const char* folderPath, const char* name,
                    char target[TARGET_PATH_SIZE], size_t* folderPartLength);
int buildTargetPath(const wchar_t* outputFolder, const wchar_t* folderPath, const wchar_t* name,
                    wchar_t target[TARGET_PATH_SIZE], size_t* folderPartLength);

// Completes a drive-less path from baseDir (which ends with a backslash):
// quotes trimmed; a path with a drive or one beginning with two backslashes is
// copied unchanged; one beginning with a single backslash gets the drive of
// baseDir in front; any other path gets baseDir in front. Returns 1, with out
// empty, when the path is longer than 2048 bytes or the completed path does
// not fit in out (2049 bytes); else 0.
int makeAbsolutePathFrom(char* out, const char* path, const char* baseDir);
int makeAbsolutePathFrom(wchar_t* out, const wchar_t* path, const wchar_t* baseDir);
