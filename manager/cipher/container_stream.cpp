#include "manager/cipher/container_stream.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "common/file_util.h"
#include "common/unique_handle.h"
#include "manager/cipher/container_header.h"
#include "manager/cipher/random_fill.h"

static_assert(static_cast<int>(CONTAINER_BAD_HEADER) == FORMAT2_BAD_HEADER &&
                  static_cast<int>(CONTAINER_DAMAGED) == FORMAT2_DAMAGED &&
                  static_cast<int>(CONTAINER_NO_CIPHER) == FORMAT2_NO_CIPHER &&
                  static_cast<int>(CONTAINER_STOPPED) == FORMAT2_STOPPED,
              "the two formats share their codes");
static_assert(static_cast<int>(CONTAINER_PIECE) == static_cast<int>(FORMAT2_CHUNK_SIZE), "a piece of the archive is one chunk of the second format");
static_assert(CONTAINER_PIECE % CIPHER_BLOCK == 0, "only the last piece of the first format is padded");

namespace {

enum { SEALED_PIECE = CONTAINER_PIECE + FORMAT2_TAG_SIZE };

const Format2WriterSettings kDefaultSettings = {FORMAT2_ITERATIONS, strongRandom};
Format2WriterSettings writerSettings = kDefaultSettings;

bool positionOf(HANDLE file, uint64_t* at) {
  LARGE_INTEGER zero = {}, position;
  if (!SetFilePointerEx(file, zero, &position, FILE_CURRENT) || position.QuadPart < 0) return false;
  *at = static_cast<uint64_t>(position.QuadPart);
  return true;
}

bool seekTo(HANDLE file, uint64_t at) {
  if (at > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER where;
  where.QuadPart = static_cast<LONGLONG>(at);
  return SetFilePointerEx(file, where, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

void setFormat2WriterSettings(const Format2WriterSettings* settings) {
  writerSettings = settings ? *settings : kDefaultSettings;
  if (writerSettings.fillSalt == nullptr) writerSettings.fillSalt = strongRandom;
}

ContainerStream::~ContainerStream() { wipeKey(&key_); }

bool ContainerStream::allocatePieces() { return plain_.allocate(CONTAINER_PIECE) && sealed_.allocate(SEALED_PIECE); }

ContainerWriter::~ContainerWriter() { wipeFormat2Keys(&keys_); }

ContainerResult ContainerWriter::prepare(int format, const char* password, const Progress& progress) {
  format_ = format == CONTAINER_FORMAT_2 ? CONTAINER_FORMAT_2 : CONTAINER_FORMAT_1;
  if (!passwordAcceptable(password)) return CONTAINER_BAD_PASSWORD;
  progress.phase(PHASE_ENCRYPTING);
  if (format_ == CONTAINER_FORMAT_2) {
    iterations_ = writerSettings.iterations;
    if (!writerSettings.fillSalt(salt_, sizeof salt_)) return CONTAINER_NO_RANDOM;
  }
  if (!allocatePieces()) return CONTAINER_NO_MEMORY;
  if (format_ == CONTAINER_FORMAT_2) {
    Format2Result derived = deriveFormat2Keys(password, salt_, iterations_, &keys_, progress.stopRequested);
    if (derived != FORMAT2_OK) return static_cast<ContainerResult>(derived);
    if (!chunks_.setKey(keys_.encryption)) return CONTAINER_NO_CIPHER;
  } else if (!deriveKey(password, &key_)) {
    return CONTAINER_NO_CIPHER;
  }
  return CONTAINER_OK;
}

ContainerResult ContainerWriter::start(HANDLE file) {
  if (!plain_ || !sealed_) return CONTAINER_NO_MEMORY;
  if (!positionOf(file, &start_)) return CONTAINER_WRITE_FAILED;
  file_ = file;
  // The header's room, zeros until finish() writes the header there.
  size_t room = format_ == CONTAINER_FORMAT_2 ? size_t{FORMAT2_HEADER_SIZE} : size_t{HEADER_BLOCK_SIZE};
  if (!writeAll(file, sealed_, room)) return CONTAINER_WRITE_FAILED;
  return CONTAINER_OK;
}

bool ContainerWriter::put(const void* data, size_t size) {
  if (failed_ || file_ == INVALID_HANDLE_VALUE) return false;
  const unsigned char* in = static_cast<const unsigned char*>(data);
  while (size > 0) {
    size_t n = CONTAINER_PIECE - used_ < size ? CONTAINER_PIECE - used_ : size;
    memcpy(plain_ + used_, in, n);
    used_ += n;
    in += n;
    size -= n;
    archiveBytes_ += n;
    // A full piece is never the last chunk of the second format: the last
    // one is always shorter than a chunk.
    if (used_ == CONTAINER_PIECE && !writePiece(false)) {
      failed_ = true;
      return false;
    }
  }
  return true;
}

bool ContainerWriter::writePiece(bool last) {
  size_t length = used_, out = 0;
  used_ = 0;
  bool sealed = false;
  if (format_ == CONTAINER_FORMAT_2) {
    sealed = chunks_.seal(chunkIndex_++, last, plain_, length, sealed_);
    out = length + FORMAT2_TAG_SIZE;
  } else {
    sealed = encryptChunk(&key_, iv_, plain_, length, sealed_, &out);  // the last one padded with zeros
  }
  if (!sealed) {
    cipherFailed_ = true;
    SetLastError(ERROR_INVALID_FUNCTION);  // not a disk's failure: finish() and cipherFailed() tell
    return false;
  }
  return out == 0 || writeAll(file_, sealed_, out);
}

ContainerResult ContainerWriter::finish(uint64_t* length) {
  if (cipherFailed_) return CONTAINER_NO_CIPHER;
  if (failed_ || file_ == INVALID_HANDLE_VALUE) return CONTAINER_WRITE_FAILED;
  uint64_t end = 0;
  if (!writePiece(true)) return cipherFailed_ ? CONTAINER_NO_CIPHER : CONTAINER_WRITE_FAILED;
  if (!positionOf(file_, &end)) return CONTAINER_WRITE_FAILED;
  size_t headerSize = 0;
  if (format_ == CONTAINER_FORMAT_2) {
    encodeFormat2Header(newFormat2Header(salt_, iterations_, archiveBytes_), sealed_);
    if (!sealFormat2Header(sealed_, keys_)) return CONTAINER_NO_CIPHER;
    headerSize = FORMAT2_HEADER_SIZE;
  } else {
    // The header block is a chain of its own, from a zero IV.
    if (!fillRandom(plain_)) return CONTAINER_NO_RANDOM;
    sealHeaderBlock(plain_, statLocOf(key_.sha2sum), archiveBytes_);
    unsigned char iv[CIPHER_BLOCK] = {};
    bool sealed = cbcEncrypt(&key_, iv, plain_, sealed_, HEADER_BLOCK_SIZE);
    SecureZeroMemory(plain_, HEADER_BLOCK_SIZE);
    if (!sealed) return CONTAINER_NO_CIPHER;
    headerSize = HEADER_BLOCK_SIZE;
  }
  if (!seekTo(file_, start_) || !writeAll(file_, sealed_, headerSize) || !seekTo(file_, end))
    return CONTAINER_WRITE_FAILED;
  *length = end - start_;
  return CONTAINER_OK;
}

ContainerResult ContainerReader::open(HANDLE file, uint64_t start, uint64_t length, const char* password,
                                      const Progress& progress) {
  file_ = file;
  result_ = CONTAINER_BAD_PASSWORD;
  if (!passwordAcceptable(password)) return result_;
  result_ = CONTAINER_NO_MEMORY;
  if (!allocatePieces()) return result_;
  size_t got = 0;
  result_ = CONTAINER_SOURCE_UNREADABLE;
  size_t head = length < HEADER_BLOCK_SIZE ? static_cast<size_t>(length) : size_t{HEADER_BLOCK_SIZE};
  if (!seekTo(file, start) || !readUpTo(file, sealed_, head, &got)) return result_;
  result_ = hasFormat2Magic(sealed_, got) ? openSecondFormat(sealed_, got, start, length, password, progress)
                                          : openFirstFormat(sealed_, got, start, length, password);
  if (result_ == CONTAINER_OK && !seekTo(file, bodyStart_)) result_ = CONTAINER_SOURCE_UNREADABLE;
  return result_;
}

ContainerResult ContainerReader::openFirstFormat(const unsigned char* head, size_t got, uint64_t start,
                                                 uint64_t length, const char* password) {
  format_ = CONTAINER_FORMAT_1;
  if (got == 0) return CONTAINER_EMPTY;
  if (got < HEADER_BLOCK_SIZE) return CONTAINER_BAD_HEADER;
  if (!deriveKey(password, &key_)) return CONTAINER_NO_CIPHER;
  unsigned char iv[CIPHER_BLOCK] = {};
  bool turned = cbcDecrypt(&key_, iv, head, plain_, HEADER_BLOCK_SIZE);
  HeaderSizeRecord record;
  bool matches = turned && openHeaderBlock(plain_, statLocOf(key_.sha2sum), &record);
  SecureZeroMemory(plain_, HEADER_BLOCK_SIZE);
  if (!turned) return CONTAINER_NO_CIPHER;
  if (!matches) return CONTAINER_BAD_HEADER;
  // The body must be the recorded size rounded up to 16: one cut after an
  // archive entry, or added to, would otherwise restore what is left of it
  // as if it were whole.
  if (!archiveSizeOfBody(length - HEADER_BLOCK_SIZE, record, &archiveSize_)) return CONTAINER_DAMAGED;
  bodyStart_ = start + HEADER_BLOCK_SIZE;
  return CONTAINER_OK;
}

ContainerResult ContainerReader::openSecondFormat(const unsigned char* head, size_t got, uint64_t start,
                                                  uint64_t length, const char* password, const Progress& progress) {
  format_ = CONTAINER_FORMAT_2;
  progress.phase(PHASE_DECRYPTING);
  progress.countOnly(false);
  Format2Header fields;
  if (parseFormat2Header(head, got, &fields) != FORMAT2_OK) return CONTAINER_DAMAGED;
  Format2Keys keys;
  Format2Result derived = deriveFormat2Keys(password, fields.salt, fields.iterations, &keys, progress.stopRequested);
  if (derived != FORMAT2_OK) return static_cast<ContainerResult>(derived);
  // The keys stay for the check of every tag, and go after it.
  ContainerResult result = checkSecondFormat(head, fields, keys, start, length, progress);
  wipeFormat2Keys(&keys);
  return result;
}

ContainerResult ContainerReader::checkSecondFormat(const unsigned char* head, const Format2Header& fields,
                                                   const Format2Keys& keys, uint64_t start, uint64_t length,
                                                   const Progress& progress) {
  int verified = verifyFormat2Header(head, keys);
  if (verified != FORMAT2_OK) return static_cast<ContainerResult>(verified);
  if (!chunks_.setKey(keys.encryption)) return CONTAINER_NO_CIPHER;
  // Chunks removed or added change the size; those reordered or changed
  // fail their tags.
  uint64_t size = 0;
  if (!format2ContainerSize(fields.archiveSize, &size) || size != length) return CONTAINER_DAMAGED;
  archiveSize_ = fields.archiveSize;
  bodyStart_ = start + FORMAT2_HEADER_SIZE;
  return verifyChunks(keys.encryption, progress);
}

namespace {

enum { VERIFY_TOGETHER_FROM = 32 };  // chunks; fewer are checked by one thread

// A run of chunks whose tags one thread checks: read at their offsets, each
// opened under a cipher of the run's own (so two runs share nothing but the
// file), the plaintext wiped after.
struct ChunkRun {
  HANDLE file;
  uint64_t bodyStart, archiveSize, first, end;  // chunks [first, end)
  const unsigned char* key;
  const Progress* progress;      // the calling thread's run only: it reports both
  volatile LONG* stop;           // set by either run to end both
  volatile LONG64* checked;      // archive bytes checked so far, by both
  ContainerResult result;
};

// CONTAINER_OK, 201 when the read failed, 81 when the body ends early.
ContainerResult readChunkAt(HANDLE file, uint64_t at, unsigned char* out, size_t size) {
  OVERLAPPED where = {};
  where.Offset = static_cast<DWORD>(at);
  where.OffsetHigh = static_cast<DWORD>(at >> 32);
  DWORD got = 0;
  if (!ReadFile(file, out, static_cast<DWORD>(size), &got, &where)) return CONTAINER_SOURCE_UNREADABLE;
  return got == size ? CONTAINER_OK : CONTAINER_DAMAGED;
}

ContainerResult checkRun(ChunkRun* run) {
  Format2ChunkCipher chunks;
  WipedBlock plain, sealed;
  if (!chunks.setKey(run->key)) return CONTAINER_NO_CIPHER;
  if (!plain.allocate(CONTAINER_PIECE) || !sealed.allocate(SEALED_PIECE)) return CONTAINER_NO_MEMORY;
  const uint64_t last = format2LastChunk(run->archiveSize);
  for (uint64_t index = run->first; index < run->end; ++index) {
    if (*run->stop) return CONTAINER_OK;  // the other run ended both
    size_t length = format2ChunkLength(run->archiveSize, index);
    uint64_t at = run->bodyStart + index * static_cast<uint64_t>(SEALED_PIECE);
    ContainerResult read = readChunkAt(run->file, at, sealed, length + FORMAT2_TAG_SIZE);
    if (read != CONTAINER_OK) return read;
    if (chunks.open(index, index == last, sealed, length, plain) != FORMAT2_OK) return CONTAINER_DAMAGED;
    LONG64 checked = InterlockedExchangeAdd64(run->checked, static_cast<LONG64>(length)) + static_cast<LONG64>(length);
    if (!run->progress) continue;
    run->progress->done(checked);
    if (run->progress->stopRequested()) return CONTAINER_STOPPED;
  }
  return CONTAINER_OK;
}

DWORD WINAPI checkRunThread(void* context) {
  ChunkRun* run = static_cast<ChunkRun*>(context);
  run->result = checkRun(run);
  if (run->result != CONTAINER_OK) InterlockedExchange(run->stop, 1);
  return 0;
}

}  // namespace

// Nothing of a damaged container may be restored: every tag is checked
// before the first byte is given out, and the chunks are opened again as
// they are read. The chunks are independent (each has its tag and its
// index), so a container of many is checked in two halves at once, the
// second on a thread of its own.
ContainerResult ContainerReader::verifyChunks(const unsigned char* key, const Progress& progress) {
  progress.total(archiveSize_ > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(archiveSize_));
  progress.done(0);
  const uint64_t chunkCount = format2LastChunk(archiveSize_) + 1;
  volatile LONG stop = 0;
  volatile LONG64 checked = 0;
  const uint64_t split = chunkCount >= VERIFY_TOGETHER_FROM ? chunkCount / 2 : chunkCount;
  ChunkRun mine = {file_, bodyStart_, archiveSize_, 0, split, key, &progress, &stop, &checked, CONTAINER_OK};
  ChunkRun other = {file_, bodyStart_, archiveSize_, split, chunkCount, key, nullptr, &stop, &checked, CONTAINER_OK};
  UniqueKernelHandle thread;
  if (split < chunkCount) thread.reset(CreateThread(nullptr, 0, checkRunThread, &other, 0, nullptr));
  mine.result = checkRun(&mine);
  if (mine.result != CONTAINER_OK) InterlockedExchange(&stop, 1);
  if (thread) {
    WaitForSingleObject(thread.get(), INFINITE);
  } else if (split < chunkCount && mine.result == CONTAINER_OK) {  // no thread to spare: this one checks the rest
    other.progress = &progress;
    other.result = checkRun(&other);
  }
  progress.done(checked);
  // A failed read before damage, damage before a stop.
  static const ContainerResult kFirst[] = {CONTAINER_SOURCE_UNREADABLE, CONTAINER_NO_MEMORY, CONTAINER_NO_CIPHER,
                                           CONTAINER_DAMAGED};
  for (ContainerResult code : kFirst)
    if (mine.result == code || other.result == code) return code;
  return mine.result != CONTAINER_OK ? mine.result : other.result;
}

bool ContainerReader::read(void* out, size_t size, size_t* got) {
  *got = 0;
  if (result_ != CONTAINER_OK) return false;
  unsigned char* to = static_cast<unsigned char*>(out);
  while (*got < size) {
    if (begin_ == end_) {
      if (given_ == archiveSize_) break;
      if (!fill()) return false;
    }
    size_t n = end_ - begin_ < size - *got ? end_ - begin_ : size - *got;
    memcpy(to + *got, plain_ + begin_, n);
    begin_ += n;
    *got += n;
  }
  return true;
}

bool ContainerReader::fill() {
  begin_ = end_ = 0;
  const uint64_t left = archiveSize_ - given_;
  size_t got = 0;
  if (format_ == CONTAINER_FORMAT_2) {
    size_t length = format2ChunkLength(archiveSize_, chunkIndex_);
    bool last = chunkIndex_ == format2LastChunk(archiveSize_);
    if (!readUpTo(file_, sealed_, length + FORMAT2_TAG_SIZE, &got) || got < length + FORMAT2_TAG_SIZE) {
      result_ = CONTAINER_SOURCE_UNREADABLE;
      return false;
    }
    if (chunks_.open(chunkIndex_, last, sealed_, length, plain_) != FORMAT2_OK) {
      result_ = CONTAINER_DAMAGED;
      return false;
    }
    ++chunkIndex_;
    end_ = length;
  } else {
    // Whole blocks, the last of them with the pad behind the archive's end.
    size_t count = left < CONTAINER_PIECE ? static_cast<size_t>(left) : size_t{CONTAINER_PIECE};
    size_t blocks = roundUpToBlock(count);
    if (!readUpTo(file_, sealed_, blocks, &got) || got < blocks) {
      result_ = CONTAINER_SOURCE_UNREADABLE;
      return false;
    }
    if (!cbcDecrypt(&key_, iv_, sealed_, plain_, blocks)) {
      result_ = CONTAINER_NO_CIPHER;
      return false;
    }
    end_ = count;
  }
  given_ += end_;
  return true;
}
