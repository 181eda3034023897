// Archives, containers and results on a disk for the tests, made and read
// only through what the jobs themselves run: the packer, the container
// streams and the parts of a result (the program image, the trailer). Paths
// are ANSI texts; the steps report to the job record, as in a job.
#pragma once
#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "manager/archive/packer.h"
#include "manager/cipher/container.h"
#include "manager/base/job_state.h"

// A packing run's archive as a file of its own (a job packs into the result
// instead): created, or emptied, at its first byte; a held entry's header is
// written where it goes and again once it is final.
class ArchiveFileSink final : public ArchiveSink {
 public:
  explicit ArchiveFileSink(const std::string& path) : path_(path) {}
  bool write(const void* data, size_t size) override;
  bool holdEntry(const unsigned char* provisionalHeader) override;
  bool completeEntry(const unsigned char* header) override;

 private:
  bool opened();
  std::string path_;
  UniqueFile file_;
  LARGE_INTEGER entryStart_ = {};
};

// Packs the selection as the encryption job does (packForJob: the job's
// source list, progress and stop request), the archive into the file archive.
int packForJob(const std::string& selection, const std::string& archive, PackProblem* problem = nullptr);

// The container of archive, in the given format, as the whole file path:
// 0, or the writer's code of the first failure.
int writeContainerFile(const std::string& path, const std::string& archive, const char* password,
                       int format = CONTAINER_FORMAT_1, const Progress& progress = jobProgress);
// The archive of the container that fills the file: the reader's code.
int readContainerFile(const std::string& path, const char* password, std::string* archive,
                      const Progress& progress = jobProgress);

// A result at path: the image of program (without its own payload), the
// container of archive and the trailer.
int writeResultFile(const std::string& path, const std::string& program, const std::string& archive,
                    const char* password, int format = CONTAINER_FORMAT_1);
// The container a result carries (empty when it carries none).
std::string containerOfResult(const std::string& path);
// The archive a result carries, its container checked as a restore checks it.
int archiveOfResult(const std::string& path, const char* password, std::string* archive);
