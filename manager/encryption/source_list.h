// The source list of an encryption job: one line per file the packer tried,
// "File=\"%s\";Type=%d;\r\n" (the path as packed, the drive type of its
// volume), which the operation log reads once the result is delivered.
#pragma once

#include "common/unique_handle.h"
#include "manager/archive/packer.h"

class SourceListWriter {
 public:
  // The list is opened (created if missing) at its first line and closed
  // with the object.
  explicit SourceListWriter(const wchar_t* listPath);
  SourceListWriter(const SourceListWriter&) = delete;
  SourceListWriter& operator=(const SourceListWriter&) = delete;

  // The setup of a packing run into sink that writes its lines here.
  PackSetup packSetup(const Progress& progress, ArchiveSink* sink);

 private:
  static void fileTried(void* context, const wchar_t* sourcePath);
  void writeLine(const wchar_t* sourcePath);
  int driveTypeOfSource(const wchar_t* path);

  const wchar_t* path_;
  UniqueFile file_;
  // Drive types already asked, by drive letter (0: not asked yet): a drive
  // keeps its type while one selection is packed, and asking costs far more
  // than the line it goes into.
  int knownDriveTypes_[26];
};

// Packs the selection as the encryption job does: the source list at the
// job's sourceListPath, the job's progress and stop request, the archive
// into sink; the job's own files (null-ended) left out.
PackResult packForJob(const wchar_t* selection, PackProblem* problem, ArchiveSink* sink,
                      const wchar_t* const* ownFiles = nullptr);
