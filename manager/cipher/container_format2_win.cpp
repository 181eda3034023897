#include "manager/cipher/container_format2_win.h"

#include <windows.h>
#include <stdlib.h>

#include "common/file_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/container_stream.h"
#include "manager/cipher/key_material.h"
#include "manager/cipher/random_fill.h"

namespace {

const Format2WriterSettings kDefaultSettings = {FORMAT2_ITERATIONS, strongRandom};
Format2WriterSettings writerSettings = kDefaultSettings;

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openForReading(const wchar_t* path) {
  if (path == nullptr) return INVALID_HANDLE_VALUE;
  return CreateFileW(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE createForWriting(const wchar_t* path) {
  if (path == nullptr) return INVALID_HANDLE_VALUE;
  return CreateFileW(path, GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}


// Cuts a destination back to nothing, so that a failed call leaves none of
// the bytes it wrote.
void discardOutput(HANDLE file) {
  LARGE_INTEGER zero = {};
  if (SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) SetEndOfFile(file);
}

void startProgress(const Progress& progress) {
  progress.total(0);
  progress.done(0);
  reportStatus(progress, "");
}

void progressTotalOf(const Progress& progress, uint64_t n) {
  progress.total(n > INT64_MAX ? INT64_MAX : static_cast<int64_t>(n));
}

}  // namespace

void setFormat2WriterSettings(const Format2WriterSettings* settings) {
  writerSettings = settings ? *settings : kDefaultSettings;
  if (writerSettings.fillSalt == nullptr) writerSettings.fillSalt = strongRandom;
}

const Format2WriterSettings& format2WriterSettings() { return writerSettings; }

bool isFormat2Container(const wchar_t* containerPath) {
  UniqueFile file(openForReading(containerPath));
  unsigned char magic[FORMAT2_MAGIC_SIZE];
  size_t got = 0;
  return file && readUpTo(file.get(), magic, sizeof magic, &got) && hasFormat2Magic(magic, got);
}

Format2Result encryptArchiveFormat2(const wchar_t* archivePath, const wchar_t* containerPath, const char* password,
                          const Progress& progress) {
  startProgress(progress);
  if (!passwordAcceptable(password)) return FORMAT2_BAD_PASSWORD;
  UniqueFile archive(openForReading(archivePath));
  LARGE_INTEGER size;
  if (!archive || !GetFileSizeEx(archive.get(), &size) || size.QuadPart < 0) return FORMAT2_ARCHIVE_MISSING;
  const uint64_t n = static_cast<uint64_t>(size.QuadPart);
  reportStatus(progress, uiText(TEXT_STATUS_ENCRYPTING));
  progressTotalOf(progress, n);
  progress.countOnly(false);

  ContainerWriter writer;
  ContainerResult code = writer.prepare(CONTAINER_FORMAT_2, password, progress);
  if (code != CONTAINER_OK) return static_cast<Format2Result>(code);
  UniqueFile container(createForWriting(containerPath));
  if (!container) return FORMAT2_CANNOT_CREATE;
  code = writer.start(container.get());
  unsigned char piece[16384];
  for (uint64_t left = n; code == CONTAINER_OK && left > 0;) {
    size_t want = left < sizeof piece ? static_cast<size_t>(left) : sizeof piece, got = 0;
    // A short read means the archive shrank since it was measured.
    if (!readUpTo(archive.get(), piece, want, &got) || got < want) code = CONTAINER_SOURCE_UNREADABLE;
    else if (!writer.put(piece, got)) code = CONTAINER_WRITE_FAILED;
    left -= got;
    progress.advance(static_cast<int64_t>(got));
    if (code == CONTAINER_OK && progress.stopRequested()) code = CONTAINER_STOPPED;
  }
  SecureZeroMemory(piece, sizeof piece);
  uint64_t length = 0;
  if (code == CONTAINER_OK) code = writer.finish(&length);
  if (code != CONTAINER_OK) discardOutput(container.get());
  return static_cast<Format2Result>(code);
}

Format2Result decryptArchiveFormat2(const wchar_t* containerPath, const wchar_t* archivePath, const char* password,
                          const Progress& progress) {
  startProgress(progress);
  if (!passwordAcceptable(password)) return FORMAT2_BAD_PASSWORD;
  UniqueFile container(openForReading(containerPath));
  LARGE_INTEGER size;
  if (!container || !GetFileSizeEx(container.get(), &size) || size.QuadPart < 0) return FORMAT2_UNREADABLE;
  unsigned char magic[FORMAT2_MAGIC_SIZE];
  size_t got = 0;
  if (!readUpTo(container.get(), magic, sizeof magic, &got)) return FORMAT2_UNREADABLE;
  reportStatus(progress, uiText(TEXT_STATUS_DECRYPTING));
  if (!hasFormat2Magic(magic, got)) return FORMAT2_DAMAGED;
  // Every chunk is checked before the archive file is made.
  ContainerReader reader;
  ContainerResult code = reader.open(container.get(), 0, static_cast<uint64_t>(size.QuadPart), password, progress);
  if (code != CONTAINER_OK) return static_cast<Format2Result>(code);
  UniqueFile archive(createForWriting(archivePath));
  if (!archive) return FORMAT2_CANNOT_CREATE;
  unsigned char piece[16384];
  for (;;) {
    if (!reader.read(piece, sizeof piece, &got)) code = reader.result();
    else if (got > 0 && !writeAll(archive.get(), piece, got)) code = CONTAINER_WRITE_FAILED;
    if (code != CONTAINER_OK || got == 0) break;
  }
  SecureZeroMemory(piece, sizeof piece);
  if (code != CONTAINER_OK) discardOutput(archive.get());
  return static_cast<Format2Result>(code);
}
