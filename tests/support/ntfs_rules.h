// NTFS's rules where Wine is laxer, held up through the file layer's seam:
// a file marked to go (delete pending) can't be opened again, its streams
// included; and a rename may fail for a moment because another program
// (a scanner, the indexer) holds a file. While a NtfsRules object lives,
// the working files' calls go through it.
#pragma once
#include <windows.h>

#include <set>
#include <string>

#include "common/working_file.h"

class NtfsRules {
 public:
  NtfsRules();
  ~NtfsRules();
  NtfsRules(const NtfsRules&) = delete;
  NtfsRules& operator=(const NtfsRules&) = delete;

  // Renames of folders (or of files) that fail with a sharing violation
  // before one goes through; -1: every one fails.
  int folderRenameFailures = 0;
  int fileRenameFailures = 0;

  // Whether an open of path by name would succeed: not while it is marked.
  bool opens(const std::wstring& path) const;
  // Every file that was marked to go at some time, and those marked now.
  std::set<std::wstring> everMarked, marked;
  int refusedZoneMarks = 0;  // zone marks written while their file was marked to go

  // Writes a zone mark as the file system would (through the seam's
  // replacement given, which records it): not while the file is marked.
  static bool markZone(const wchar_t* path, int zone, bool (*write)(const wchar_t* path, int zone));
};
