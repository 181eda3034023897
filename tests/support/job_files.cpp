#include "support/job_files.h"

#include <windows.h>

#include "common/file_util.h"
#include "common/unique_handle.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/payload_trailer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container_stream.h"
#include "manager/encryption/source_list.h"
#include "support/test_files.h"

namespace {

HANDLE createFile(const std::string& path) {
  return CreateFileW(W(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

int writeContainer(HANDLE file, const std::string& archive, const char* password, int format,
                   const Progress& progress, uint64_t* length) {
  ContainerWriter writer;
  int code = writer.prepare(format, password, progress);
  if (code == 0) code = writer.start(file);
  if (code == 0 && !writer.put(archive.data(), archive.size()))
    code = writer.cipherFailed() ? CONTAINER_NO_CIPHER : CONTAINER_WRITE_FAILED;
  if (code == 0) code = writer.finish(length);
  return code;
}

int readContainer(HANDLE file, uint64_t start, uint64_t length, const char* password, std::string* archive,
                  const Progress& progress) {
  archive->clear();
  ContainerReader reader;
  int code = reader.open(file, start, length, password, progress);
  static char piece[CONTAINER_PIECE];
  for (size_t got = 0; code == 0;) {
    if (!reader.read(piece, sizeof piece, &got)) code = reader.result();
    else if (got == 0) break;
    else archive->append(piece, got);
  }
  return code;
}

}  // namespace

bool ArchiveFileSink::opened() {
  if (!file_) file_.reset(CreateFileW(W(path_).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  return file_.valid();
}

bool ArchiveFileSink::write(const void* data, size_t size) { return opened() && writeAll(file_.get(), data, size); }

bool ArchiveFileSink::holdEntry(const unsigned char* provisionalHeader) {
  LARGE_INTEGER zero = {};
  return opened() && SetFilePointerEx(file_.get(), zero, &entryStart_, FILE_CURRENT) &&
         writeAll(file_.get(), provisionalHeader, ARCHIVE_HEADER_SIZE);
}

bool ArchiveFileSink::completeEntry(const unsigned char* header) {
  LARGE_INTEGER zero = {};
  return opened() && SetFilePointerEx(file_.get(), entryStart_, nullptr, FILE_BEGIN) &&
         writeAll(file_.get(), header, ARCHIVE_HEADER_SIZE) && SetFilePointerEx(file_.get(), zero, nullptr, FILE_END);
}

int packForJob(const std::string& selection, const std::string& archive, PackProblem* problem) {
  ArchiveFileSink sink(archive);
  return packForJob(W(selection).c_str(), problem, &sink);
}

int writeContainerFile(const std::string& path, const std::string& archive, const char* password, int format,
                       const Progress& progress) {
  UniqueFile file(createFile(path));
  uint64_t length = 0;
  return file ? writeContainer(file.get(), archive, password, format, progress, &length) : CONTAINER_WRITE_FAILED;
}

int readContainerFile(const std::string& path, const char* password, std::string* archive, const Progress& progress) {
  UniqueFile file(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size)) return CONTAINER_SOURCE_UNREADABLE;
  return readContainer(file.get(), 0, static_cast<uint64_t>(size.QuadPart), password, archive, progress);
}

int writeResultFile(const std::string& path, const std::string& program, const std::string& archive,
                    const char* password, int format) {
  UniqueFile file(createFile(path));
  if (!file) return ASSEMBLY_OPEN_OUTPUT;
  int code = appendProgramImage(file.get(), W(program).c_str(), quietProgress);
  uint64_t length = 0;
  if (code == 0) code = writeContainer(file.get(), archive, password, format, quietProgress, &length);
  return code == 0 ? appendPayloadTrailer(file.get(), length) : code;
}

std::string containerOfResult(const std::string& path) {
  const std::string bytes = readFile(path);
  uint64_t start = 0, length = 0;
  if (bytes.size() < PAYLOAD_TRAILER_SIZE ||
      locatePayload(bytes.size(), reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size() -
                                      PAYLOAD_TRAILER_SIZE, &start, &length) != PAYLOAD_FOUND)
    return "";
  return bytes.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

int archiveOfResult(const std::string& path, const char* password, std::string* archive) {
  UniqueFile result(openResultForReading(W(path).c_str()));
  if (!result) return SPLIT_CANNOT_OPEN;
  uint64_t start = 0, length = 0;
  int code = findPayload(result.get(), &start, &length);
  return code != SPLIT_OK ? code : readContainer(result.get(), start, length, password, archive, quietProgress);
}
