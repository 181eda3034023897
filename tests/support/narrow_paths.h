// The program takes its paths as UTF-16; most tests name their files with
// ANSI texts of code page 932 (their literals are compiled to it). These
// overloads hand such paths on converted, so that a test reads as the call it
// makes. Tests of names the code page cannot hold call the wide functions.
// The engines report to the job record, as in a job, and a test stops them
// through it.
#pragma once
#include <wchar.h>

#include <string>

#include "manager/archive/extractor.h"
#include "manager/archive/packer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/encryption/mail_attachment.h"
#include "manager/encryption/source_list.h"
#include "manager/base/job_state.h"
#include "support/archive_file.h"
#include "support/job_files.h"
#include "support/test_files.h"

namespace viaWide {
// A converted path that lives as long as the call it is made for; null stays null.
struct P {
  P(const char* ansi) : null(ansi == nullptr), text(ansi ? W(ansi) : std::wstring()) {}
  P(const std::string& ansi) : null(false), text(W(ansi)) {}
  operator const wchar_t*() const { return null ? nullptr : text.c_str(); }
  bool null;
  std::wstring text;
};
}  // namespace viaWide

inline int SplitSelfMeltFile(const char* file) { return SplitSelfMeltFile(viaWide::P(file)); }
inline bool programImageLength(const char* program, uint64_t* length) {
  return programImageLength(viaWide::P(program), length);
}
// The walk of one folder as in an encryption job's packing run, its entries
// into the file archive.
inline int addFolderTree(const std::string& archive, const char* folder, const char* relative) {
  SourceListWriter list(jobState.sourceListPath);
  ArchiveFileSink sink(archive);
  return addFolderTree(list.packSetup(jobProgress, &sink), viaWide::P(folder), viaWide::P(relative));
}
inline int extractArchiveFile(const std::string& archive, const std::string& output,
                              const Progress& progress = jobProgress) {
  return extractArchiveFile(viaWide::P(archive), viaWide::P(output), progress);
}
inline int makeDirectoryPath(const char* path, int includeLast) {
  return makeDirectoryPath(viaWide::P(path), includeLast);
}

inline int attachToMail(const char* path) { return attachToMail(viaWide::P(path)); }

// Sets a path field of the job record from an ANSI text.
template <size_t N>
void setPath(wchar_t (&field)[N], const std::string& ansi) {
  std::wstring wide = W(ansi);
  wcsncpy(field, wide.c_str(), N - 1);
  field[N - 1] = 0;
}
