#include "manager/cipher/container_format2_win.h"

#include <windows.h>
#include <stdlib.h>

#include <mbedtls/platform_util.h>

#include "common/file_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "manager/cipher/container_format2.h"
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

// Reads until size bytes are in or the file ends. False when a read fails.
bool readUpTo(HANDLE file, unsigned char* buffer, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    DWORD part = 0;
    if (!ReadFile(file, buffer + *got, static_cast<DWORD>(size - *got), &part, nullptr)) return false;
    if (part == 0) break;
    *got += part;
  }
  return true;
}

// Cuts a destination back to nothing, so that a failed call leaves none of
// the bytes it wrote.
void discardOutput(HANDLE file) {
  LARGE_INTEGER zero = {};
  if (SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) SetEndOfFile(file);
}

// One sealed chunk (ciphertext and tag) and one plain chunk. The plain one
// holds archive bytes, so it is wiped before it is freed.
class ChunkBuffers {
 public:
  ChunkBuffers()
      : sealed_(static_cast<unsigned char*>(malloc(FORMAT2_CHUNK_SIZE + FORMAT2_TAG_SIZE))),
        plain_(static_cast<unsigned char*>(malloc(FORMAT2_CHUNK_SIZE))) {}
  ~ChunkBuffers() {
    free(sealed_);
    if (plain_) mbedtls_platform_zeroize(plain_, FORMAT2_CHUNK_SIZE);
    free(plain_);
  }
  ChunkBuffers(const ChunkBuffers&) = delete;
  ChunkBuffers& operator=(const ChunkBuffers&) = delete;
  bool ok() const { return sealed_ && plain_; }
  unsigned char* sealed() { return sealed_; }
  unsigned char* plain() { return plain_; }

 private:
  unsigned char* sealed_;
  unsigned char* plain_;
};

// The keys of one container, wiped whatever way the call ends. The
// derivation takes a while: a stop request ends it (result() is then
// FORMAT2_STOPPED).
class ContainerKeys {
 public:
  ContainerKeys(const char* password, const unsigned char salt[FORMAT2_SALT_SIZE], uint32_t iterations,
                const Progress& progress)
      : result_(deriveFormat2Keys(password, salt, iterations, &keys_, progress.stopRequested)) {}
  ~ContainerKeys() { wipeFormat2Keys(&keys_); }
  ContainerKeys(const ContainerKeys&) = delete;
  ContainerKeys& operator=(const ContainerKeys&) = delete;
  Format2Result result() const { return result_; }
  const Format2Keys& get() const { return keys_; }

 private:
  Format2Keys keys_;
  Format2Result result_;
};

void startProgress(const Progress& progress) {
  progress.total(0);
  progress.done(0);
  reportStatus(progress, "");
}

void progressTotalOf(const Progress& progress, uint64_t n) {
  progress.total(n > INT64_MAX ? INT64_MAX : static_cast<int64_t>(n));
}

// Header and chunks of an archive of n bytes, from its current position.
Format2Result writeContainer(HANDLE archive, HANDLE container, uint64_t n, const unsigned char salt[FORMAT2_SALT_SIZE],
                   const char* password, ChunkBuffers* buffers, const Progress& progress) {
  const uint32_t iterations = writerSettings.iterations;
  unsigned char header[FORMAT2_HEADER_SIZE];
  encodeFormat2Header(newFormat2Header(salt, iterations, n), header);
  ContainerKeys keys(password, salt, iterations, progress);
  if (keys.result() != FORMAT2_OK) return keys.result();
  sealFormat2Header(header, keys.get());
  Format2ChunkCipher cipher(keys.get().encryption);
  if (!cipher.ok()) return FORMAT2_NO_MEMORY;
  if (!writeAll(container, header, sizeof header)) return FORMAT2_WRITE_FAILED;

  const uint64_t last = format2LastChunk(n);
  for (uint64_t index = 0;; ++index) {
    size_t length = format2ChunkLength(n, index);
    size_t got = 0;
    // A short read means the archive shrank since it was measured.
    if (!readUpTo(archive, buffers->plain(), length, &got) || got < length) return FORMAT2_UNREADABLE;
    // Sealing fails only without a key schedule, which ok() ruled out.
    if (!cipher.seal(index, index == last, buffers->plain(), length, buffers->sealed())) return FORMAT2_NO_MEMORY;
    if (!writeAll(container, buffers->sealed(), length + FORMAT2_TAG_SIZE)) return FORMAT2_WRITE_FAILED;
    progress.advance(static_cast<int64_t>(length));
    if (progress.stopRequested()) return FORMAT2_STOPPED;
    if (index == last) return FORMAT2_OK;
  }
}

// The chunks of an archive of n bytes, from the container's current position
// (just behind the header), each written once its tag matched.
Format2Result readBody(HANDLE container, HANDLE archive, uint64_t n, Format2ChunkCipher* cipher, ChunkBuffers* buffers,
             const Progress& progress) {
  const uint64_t last = format2LastChunk(n);
  for (uint64_t index = 0;; ++index) {
    size_t length = format2ChunkLength(n, index);
    size_t got = 0;
    if (!readUpTo(container, buffers->sealed(), length + FORMAT2_TAG_SIZE, &got)) return FORMAT2_UNREADABLE;
    if (got < length + FORMAT2_TAG_SIZE) return FORMAT2_DAMAGED;  // the body ends before its last chunk
    if (cipher->open(index, index == last, buffers->sealed(), length, buffers->plain()) != FORMAT2_OK)
      return FORMAT2_DAMAGED;
    if (!writeAll(archive, buffers->plain(), length)) return FORMAT2_WRITE_FAILED;
    progress.advance(static_cast<int64_t>(length));
    if (progress.stopRequested()) return FORMAT2_STOPPED;
    if (index == last) break;
  }
  // Nothing may follow the last chunk.
  unsigned char extra;
  size_t got = 0;
  if (!readUpTo(container, &extra, 1, &got)) return FORMAT2_UNREADABLE;
  return got == 0 ? FORMAT2_OK : FORMAT2_DAMAGED;
}

}  // namespace

void setFormat2WriterSettings(const Format2WriterSettings* settings) {
  writerSettings = settings ? *settings : kDefaultSettings;
  if (writerSettings.fillSalt == nullptr) writerSettings.fillSalt = strongRandom;
}

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

  unsigned char salt[FORMAT2_SALT_SIZE];
  if (!writerSettings.fillSalt(salt, sizeof salt)) return FORMAT2_NO_RANDOM;
  ChunkBuffers buffers;
  if (!buffers.ok()) return FORMAT2_NO_MEMORY;
  UniqueFile container(createForWriting(containerPath));
  if (!container) return FORMAT2_CANNOT_CREATE;
  Format2Result code = writeContainer(archive.get(), container.get(), n, salt, password, &buffers, progress);
  if (code != FORMAT2_OK) discardOutput(container.get());
  return code;
}

Format2Result decryptArchiveFormat2(const wchar_t* containerPath, const wchar_t* archivePath, const char* password,
                          const Progress& progress) {
  startProgress(progress);
  if (!passwordAcceptable(password)) return FORMAT2_BAD_PASSWORD;
  UniqueFile container(openForReading(containerPath));
  if (!container) return FORMAT2_UNREADABLE;
  reportStatus(progress, uiText(TEXT_STATUS_DECRYPTING));
  progress.countOnly(false);

  unsigned char header[FORMAT2_HEADER_SIZE];
  size_t got = 0;
  if (!readUpTo(container.get(), header, sizeof header, &got)) return FORMAT2_UNREADABLE;
  Format2Header fields;
  if (parseFormat2Header(header, got, &fields) != FORMAT2_OK) return FORMAT2_DAMAGED;
  ContainerKeys keys(password, fields.salt, fields.iterations, progress);
  if (keys.result() != FORMAT2_OK) return keys.result();
  if (verifyFormat2Header(header, keys.get()) != FORMAT2_OK) return FORMAT2_BAD_HEADER;

  ChunkBuffers buffers;
  Format2ChunkCipher cipher(keys.get().encryption);
  if (!buffers.ok() || !cipher.ok()) return FORMAT2_NO_MEMORY;
  UniqueFile archive(createForWriting(archivePath));
  if (!archive) return FORMAT2_CANNOT_CREATE;
  progressTotalOf(progress, fields.archiveSize);
  Format2Result code = readBody(container.get(), archive.get(), fields.archiveSize, &cipher, &buffers, progress);
  if (code != FORMAT2_OK) discardOutput(archive.get());
  return code;
}
