#include "manager/cipher/container.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>


#include "common/file_util.h"
#include "common/unique_handle.h"
#include "manager/cipher/container_format2_win.h"
#include "manager/cipher/container_header.h"
#include "manager/cipher/crypt_stream.h"
#include "common/wipe.h"
#include "manager/cipher/key_material.h"
#include "manager/cipher/random_fill.h"

static_assert(static_cast<int>(CONTAINER_DAMAGED) == FORMAT2_DAMAGED && static_cast<int>(CONTAINER_NO_RANDOM) == FORMAT2_NO_RANDOM &&
                  static_cast<int>(CONTAINER_NO_CIPHER) == FORMAT2_NO_CIPHER &&
                  static_cast<int>(CONTAINER_STOPPED) == FORMAT2_STOPPED &&
                  static_cast<int>(CONTAINER_WRITE_FAILED) == FORMAT2_WRITE_FAILED,
              "the two formats share their codes");

namespace {

enum { kContainerChunk = 1024 };

// Size of a file, or false when it can't be opened or measured.
bool sizeOfFile(const wchar_t* path, uint64_t* size) {
  UniqueFile file(CreateFileW(path, GENERIC_READ, WORKING_FILE_SHARE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER value;
  if (!file || !GetFileSizeEx(file.get(), &value) || value.QuadPart < 0) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

ContainerResult engineResult(const EntryPrm& prm) {
  switch (prm.resultCode) {
    case STREAM_OK: return CONTAINER_OK;
    case STREAM_SOURCE_UNREADABLE: return CONTAINER_SOURCE_UNREADABLE;
    case STREAM_BAD_MEMORY: return CONTAINER_BAD_MEMORY;
    case STREAM_CANNOT_CREATE: return CONTAINER_CANNOT_CREATE;
    case STREAM_CANNOT_APPEND: return CONTAINER_CANNOT_APPEND;
    case STREAM_NO_MEMORY: return CONTAINER_NO_MEMORY;
    case STREAM_BAD_CHUNK_SIZE: return CONTAINER_BAD_CHUNK_SIZE;
    case STREAM_WRITE_FAILED: return CONTAINER_WRITE_FAILED;
    case STREAM_CANNOT_GROW: return CONTAINER_CANNOT_GROW;
    case STREAM_BAD_PASSWORD: return CONTAINER_BAD_PASSWORD;
    case STREAM_NO_CIPHER: return CONTAINER_NO_CIPHER;
    case STREAM_STOPPED: return CONTAINER_STOPPED;
    default: return CONTAINER_BAD_KIND;
  }
}

// A second-format code as the container's (the numbers are the same).
ContainerResult format2Result(int code) { return static_cast<ContainerResult>(code); }

// A record for one pass of the engine over the container's chunks.
EntryPrm containerPass(int sourceKind, int destKind, const char* password, int decrypting,
                       const Progress& progress) {
  EntryPrm prm;
  resetEntryPrm(&prm);
  prm.sourceKind = sourceKind;
  prm.destKind = destKind;
  prm.passwordText = password;
  prm.chunkSize = kContainerChunk;
  prm.decrypting = decrypting;
  prm.progress = &progress;
  return prm;
}

// StatLoc of a password; the digest is wiped at once. False when the digest
// could not be made.
bool statLocOfPassword(const char* password, int* StatLoc) {
  unsigned char sha2sum[SHA2SUM_SIZE];
  bool made = passwordDigest(password, sha2sum);
  *StatLoc = statLocOf(sha2sum);
  wipeBytes(sha2sum, sizeof sha2sum);
  return made;
}

}  // namespace

ContainerResult encryptArchive(const wchar_t* archivePath, const wchar_t* containerPath, const char* password,
                   const Progress& progress) {
  unsigned char header[HEADER_BLOCK_SIZE];
  // A missing or overlong password is not hashed: the header stream refuses
  // it (209) before anything is written.
  int StatLoc = 0;
  if (passwordAcceptable(password) && !statLocOfPassword(password, &StatLoc)) return CONTAINER_NO_CIPHER;
  uint64_t n = 0;
  if (!sizeOfFile(archivePath, &n) || n == 0) return CONTAINER_EMPTY_ARCHIVE;
  if (!fillRandom(header)) return CONTAINER_NO_RANDOM;
  sealHeaderBlock(header, StatLoc, n);

  EntryPrm prm = containerPass(SRC_MEMORY, DST_NEW_FILE, password, 0, progress);
  prm.sourceData = header;
  prm.Soulen = HEADER_BLOCK_SIZE;
  prm.destPath = containerPath;
  cryptStream(&prm);
  wipeBytes(header, sizeof header);
  if (prm.resultCode != 0) return engineResult(prm);

  prm = containerPass(SRC_FILE, DST_APPEND_FILE, password, 0, progress);
  prm.sourcePath = archivePath;
  prm.destPath = containerPath;
  cryptStream(&prm);
  return engineResult(prm);
}

ContainerResult encryptArchiveAs(const wchar_t* archivePath, const wchar_t* containerPath, const char* password, int format,
                     const Progress& progress) {
  if (format != CONTAINER_FORMAT_2) return encryptArchive(archivePath, containerPath, password, progress);
  uint64_t n = 0;
  if (!sizeOfFile(archivePath, &n) || n == 0) return CONTAINER_EMPTY_ARCHIVE;
  return format2Result(encryptArchiveFormat2(archivePath, containerPath, password, progress));
}

ContainerResult decryptArchive(const wchar_t* containerPath, const wchar_t* archivePath, const char* password,
                   const Progress& progress) {
  if (isFormat2Container(containerPath))
    return format2Result(decryptArchiveFormat2(containerPath, archivePath, password, progress));
  EntryPrm prm = containerPass(SRC_FILE_HEAD, DST_MEMORY, password, 1, progress);
  prm.sourcePath = containerPath;
  prm.Soulen = HEADER_BLOCK_SIZE;
  prm.outLimit = HEADER_BLOCK_SIZE + 1;
  cryptStream(&prm);
  if (prm.resultCode != 0) {
    free(prm.outData);
    return engineResult(prm);
  }
  if (prm.outData == nullptr) return CONTAINER_EMPTY;
  if (prm.outLength < HEADER_BLOCK_SIZE) {
    wipeBytes(prm.outData, static_cast<size_t>(prm.outLength));
    free(prm.outData);
    return CONTAINER_BAD_HEADER;
  }
  unsigned char header[HEADER_BLOCK_SIZE];
  memcpy(header, prm.outData, HEADER_BLOCK_SIZE);
  wipeBytes(prm.outData, static_cast<size_t>(prm.outLength));
  free(prm.outData);
  prm.outData = nullptr;

  int StatLoc = 0;
  if (!statLocOfPassword(password, &StatLoc)) {
    wipeBytes(header, sizeof header);
    return CONTAINER_NO_CIPHER;
  }
  HeaderSizeRecord record;
  bool matches = openHeaderBlock(header, StatLoc, &record);
  wipeBytes(header, sizeof header);
  if (!matches) return CONTAINER_BAD_HEADER;

  // The body must be the recorded size rounded up to 16: one cut after an
  // archive entry, or added to, would otherwise restore what is left of it
  // as if it were whole. Checked before the archive file is created, so that
  // nothing of such a body reaches the extractor. Exactly the archive's bytes
  // are written, without the pad.
  uint64_t containerSize = 0, n = 0;
  if (!sizeOfFile(containerPath, &containerSize)) return CONTAINER_SOURCE_UNREADABLE;
  if (containerSize < HEADER_BLOCK_SIZE || !archiveSizeOfBody(containerSize - HEADER_BLOCK_SIZE, record, &n))
    return CONTAINER_DAMAGED;

  prm = containerPass(SRC_FILE_RANGE, DST_NEW_FILE, password, 1, progress);
  prm.sourcePath = containerPath;
  prm.startOffset = HEADER_BLOCK_SIZE;
  prm.Soulen = n;
  prm.destPath = archivePath;
  cryptStream(&prm);
  return engineResult(prm);
}
