// Archive files restored as the decryption job restores a container's
// archive: the file is the extractor's source. The product itself never
// holds an archive as a file; tests and tools build archives that way.
#pragma once
#include <windows.h>

#include "common/file_util.h"
#include "common/unique_handle.h"
#include "manager/archive/entry_stream.h"
#include "manager/archive/extractor.h"

class ArchiveFileSource final : public ArchiveSource {
 public:
  explicit ArchiveFileSource(HANDLE file) : file_(file) {}
  bool read(void* buffer, size_t size, size_t* got) override { return readUpTo(file_, buffer, size, got); }

 private:
  HANDLE file_;
};

// EXTRACT_CANNOT_OPEN when the archive file can't be opened.
inline int extractArchiveFile(const wchar_t* archivePath, const wchar_t* outputFolder, const ExtractSetup& setup) {
  UniqueFile file(CreateFileW(archivePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return EXTRACT_CANNOT_OPEN;
  ArchiveFileSource source(file.get());
  return extractArchiveFrom(&source, outputFolder, setup);
}
inline int extractArchiveFile(const wchar_t* archivePath, const wchar_t* outputFolder, const Progress& progress) {
  ExtractSetup setup = {&progress, nullptr, nullptr, nullptr, 0, 0};
  return extractArchiveFile(archivePath, outputFolder, setup);
}
