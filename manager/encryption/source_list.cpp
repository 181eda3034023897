#include "manager/encryption/source_list.h"

#include <windows.h>
#include <string.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/wide_text.h"
#include "manager/base/job_state.h"

SourceListWriter::SourceListWriter(const wchar_t* listPath) : path_(listPath), knownDriveTypes_() {}

PackSetup SourceListWriter::packSetup(const Progress& progress, ArchiveSink* sink) {
  PackSetup setup = {&progress, fileTried, this, sink, nullptr};
  return setup;
}

void SourceListWriter::fileTried(void* context, const wchar_t* sourcePath) {
  static_cast<SourceListWriter*>(context)->writeLine(sourcePath);
}

int SourceListWriter::driveTypeOfSource(const wchar_t* path) {
  wchar_t letter = path[0];
  if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - L'a' + L'A');
  if (letter < L'A' || letter > L'Z' || path[1] != L':') return driveTypeOfPath(path, nullptr, 0);
  int& known = knownDriveTypes_[letter - L'A'];
  if (known == 0) known = driveTypeOfPath(path, nullptr, 0) + 1;
  return known - 1;
}

// The operation log stays in the ANSI code page: a character the code page
// lacks is written as "?". A line that cannot be written is left out.
void SourceListWriter::writeLine(const wchar_t* sourcePath) {
  char path[MAX_PATH * 2 + 1];
  wideToAnsiMarked(sourcePath, path, sizeof path);
  char line[sizeof path + 64];
  int type = driveTypeOfSource(sourcePath);
  if (!formatText(line, sizeof line, "File=\"%s\";Type=%d;\r\n", path, type)) return;
  if (!file_) {
    file_.reset(CreateFileW(path_, GENERIC_WRITE, WORKING_FILE_SHARE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    LARGE_INTEGER zero = {};
    if (file_ && !SetFilePointerEx(file_.get(), zero, nullptr, FILE_END)) file_.reset();
  }
  if (file_) writeAll(file_.get(), line, strlen(line));
}

PackResult packForJob(const wchar_t* selection, PackProblem* problem, ArchiveSink* sink,
                      const wchar_t* const* ownFiles) {
  SourceListWriter list(jobState.sourceListPath);
  PackSetup setup = list.packSetup(jobProgress, sink);
  setup.ownFiles = ownFiles;
  return buildArchive(selection, setup, problem);
}
