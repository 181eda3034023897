#include "manager/cipher/crypt_stream.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>


#include "common/file_util.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "common/wipe.h"
#include "manager/cipher/key_material.h"

namespace {

const Progress& progressOf(const EntryPrm* prm) { return prm->progress ? *prm->progress : quietProgress; }

// Files are read and written in pieces this large under the chunk loop: a
// system call per 1024-byte chunk would cost more than the cipher.
enum { FILE_PIECE = 64 * 1024 };

// The buffers of one call: the two chunk buffers, each twice the chunk size
// plus one block, and the pieces of the source and destination files. They
// hold plaintext, so they are wiped before they are freed.
class ChunkBuffers {
 public:
  explicit ChunkBuffers(size_t chunkSize) : size_(2 * chunkSize + CIPHER_BLOCK) {
    input_ = static_cast<unsigned char*>(calloc(1, size_));
    output_ = static_cast<unsigned char*>(calloc(1, size_));
    pieces_ = static_cast<unsigned char*>(calloc(2, FILE_PIECE));
  }
  ~ChunkBuffers() {
    release(input_, size_);
    release(output_, size_);
    release(pieces_, 2 * FILE_PIECE);
  }
  ChunkBuffers(const ChunkBuffers&) = delete;
  ChunkBuffers& operator=(const ChunkBuffers&) = delete;
  bool ok() const { return input_ && output_ && pieces_; }
  unsigned char* input() { return input_; }
  unsigned char* output() { return output_; }
  unsigned char* readPiece() { return pieces_; }
  unsigned char* writePiece() { return pieces_ + FILE_PIECE; }

 private:
  void release(unsigned char* p, size_t size) {
    if (!p) return;
    wipeBytes(p, size);
    free(p);
  }
  size_t size_;
  unsigned char* input_;
  unsigned char* output_;
  unsigned char* pieces_;
};

// The source file read a piece at a time. A read gives what ReadFile gives
// on a disk file: fewer bytes than asked only at the end.
class PieceReader {
 public:
  PieceReader(HANDLE file, unsigned char* piece) : file_(file), piece_(piece) {}
  // false on a failed read (nothing of this read counts then).
  bool read(unsigned char* out, size_t want, size_t* got) {
    *got = 0;
    while (*got < want) {
      if (begin_ == end_) {
        if (ended_) break;
        DWORD n = 0;
        if (!ReadFile(file_, piece_, FILE_PIECE, &n, nullptr)) return false;
        begin_ = 0;
        end_ = n;
        ended_ = n == 0;
        continue;
      }
      size_t n = end_ - begin_ < want - *got ? end_ - begin_ : want - *got;
      memcpy(out + *got, piece_ + begin_, n);
      begin_ += n;
      *got += n;
    }
    return true;
  }

 private:
  HANDLE file_;
  unsigned char* piece_;
  size_t begin_ = 0, end_ = 0;
  bool ended_ = false;
};

// The destination file written a piece at a time; what was put reaches the
// file once the piece is full or at flush.
class PieceWriter {
 public:
  PieceWriter(HANDLE file, unsigned char* piece) : file_(file), piece_(piece) {}
  bool put(const unsigned char* data, size_t size) {
    if (used_ + size > FILE_PIECE && !flush()) return false;
    if (size > FILE_PIECE) return writeAll(file_, data, size);
    memcpy(piece_ + used_, data, size);
    used_ += size;
    return true;
  }
  bool flush() {
    size_t size = used_;
    used_ = 0;
    return size == 0 || writeAll(file_, piece_, size);
  }

 private:
  HANDLE file_;
  unsigned char* piece_;
  size_t used_ = 0;
};

// The key of one call, destroyed whatever way the call ends.
class StreamKey {
 public:
  explicit StreamKey(const char* password) : key_(), made_(deriveKey(password, &key_)) {}
  ~StreamKey() { wipeKey(&key_); }
  StreamKey(const StreamKey&) = delete;
  StreamKey& operator=(const StreamKey&) = delete;
  bool made() const { return made_; }
  CipherKey* get() { return &key_; }

 private:
  CipherKey key_;
  bool made_;
};

bool isFileSource(int32_t kind) { return kind == SRC_FILE || kind == SRC_FILE_HEAD || kind == SRC_FILE_RANGE; }

// A memory block of length bytes at data fits the address space.
bool plausibleBlock(const void* data, uint64_t length) {
  if (length == 0) return true;
  if (data == nullptr || length > SIZE_MAX) return false;
  return reinterpret_cast<uintptr_t>(data) <= UINTPTR_MAX - static_cast<uintptr_t>(length) + 1;
}

// Everything that can be checked before a file is touched. Returns the
// result code, or 0. The memory arguments are validated instead of probed:
// a null block with a length, or a length beyond the address space, is a bad
// caller block.
int checkArguments(EntryPrm* prm) {
  if (!isFileSource(prm->sourceKind) && prm->sourceKind != SRC_MEMORY) return STREAM_BAD_KIND;
  if (prm->destKind != DST_NEW_FILE && prm->destKind != DST_APPEND_FILE && prm->destKind != DST_MEMORY)
    return STREAM_BAD_KIND;
  if (prm->sourceKind == SRC_MEMORY && !plausibleBlock(prm->sourceData, prm->Soulen)) return STREAM_BAD_MEMORY;
  if (prm->destKind == DST_MEMORY) {
    if (prm->outData != nullptr && prm->outLimit != 0) {
      if (prm->outLimit > SIZE_MAX) return STREAM_BAD_MEMORY;
    } else if (prm->outData == nullptr ? prm->outLength != 0 : prm->outLength > SIZE_MAX) {
      return STREAM_BAD_MEMORY;
    }
  }
  if (prm->chunkSize < CHUNK_SIZE_MIN || prm->chunkSize > CHUNK_SIZE_MAX) return STREAM_BAD_CHUNK_SIZE;
  return STREAM_OK;
}

// Opens and positions the source, and reports its size and the status line.
int openSource(const EntryPrm* prm, UniqueFile* source) {
  if (prm->sourceKind == SRC_MEMORY) {
    char status[32];
    formatText(status, sizeof status, "MEM -> %d", static_cast<int>(prm->destKind));
    reportStatus(progressOf(prm), status);
    progressOf(prm).total(static_cast<int64_t>(prm->Soulen));
    return STREAM_OK;
  }
  if (prm->sourcePath == nullptr) return STREAM_SOURCE_UNREADABLE;
  source->reset(CreateFileW(prm->sourcePath, GENERIC_READ, WORKING_FILE_SHARE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!*source) return STREAM_SOURCE_UNREADABLE;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(source->get(), &size)) size.QuadPart = 0;
  progressOf(prm).total(size.QuadPart);
  reportStatus(progressOf(prm), prm->decrypting ? uiText(TEXT_STATUS_DECRYPTING) : uiText(TEXT_STATUS_ENCRYPTING));
  progressOf(prm).countOnly(false);
  if (prm->sourceKind == SRC_FILE_RANGE) {
    LARGE_INTEGER at;
    if (prm->startOffset > static_cast<uint64_t>(INT64_MAX)) return STREAM_SOURCE_UNREADABLE;
    at.QuadPart = static_cast<LONGLONG>(prm->startOffset);
    if (!SetFilePointerEx(source->get(), at, nullptr, FILE_BEGIN)) return STREAM_SOURCE_UNREADABLE;
  }
  return STREAM_OK;
}

int openDestination(EntryPrm* prm, UniqueFile* dest) {
  if (prm->destKind == DST_MEMORY) {
    if (prm->outData != nullptr && prm->outLimit != 0) prm->outLength = 0;
    return STREAM_OK;
  }
  bool append = prm->destKind == DST_APPEND_FILE;
  int failure = append ? STREAM_CANNOT_APPEND : STREAM_CANNOT_CREATE;
  if (prm->destPath == nullptr) return failure;
  dest->reset(CreateFileW(prm->destPath, GENERIC_WRITE, WORKING_FILE_SHARE, nullptr,
                          append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!*dest) return failure;
  if (append) {
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(dest->get(), zero, nullptr, FILE_END)) return failure;
  }
  return STREAM_OK;
}

// Appends a chunk to the memory destination. Returns false when the block
// can't grow (it then stays as it was, with the caller).
bool appendToBlock(EntryPrm* prm, const unsigned char* data, size_t count) {
  uint64_t grown = prm->outLength + count;
  if (grown > SIZE_MAX) return false;
  unsigned char* block = static_cast<unsigned char*>(realloc(prm->outData, static_cast<size_t>(grown)));
  if (!block) return false;
  memcpy(block + prm->outLength, data, count);
  prm->outData = block;
  prm->outLength = grown;
  return true;
}

// The chunk loop. Returns the result code.
int runChunks(EntryPrm* prm, HANDLE source, HANDLE dest, CipherKey* key, ChunkBuffers* buffers) {
  unsigned char iv[CIPHER_BLOCK] = {};
  const size_t chunk = static_cast<size_t>(prm->chunkSize);
  uint64_t remaining = prm->Soulen;
  const unsigned char* cursor = prm->sourceData;
  unsigned char* in = buffers->input();
  unsigned char* out = buffers->output();
  PieceReader reader(source, buffers->readPiece());
  PieceWriter writer(dest, buffers->writePiece());
  int code = STREAM_OK;
  for (;;) {
    size_t count = 0;
    bool last = false;
    if (prm->sourceKind == SRC_MEMORY) {
      count = remaining <= chunk ? static_cast<size_t>(remaining) : chunk;
      if (count > 0) memcpy(in, cursor, count);
      cursor += count;
      remaining -= count;
      last = remaining == 0;
    } else {
      size_t got = 0;
      if (!reader.read(in, chunk, &got)) {
        // A read error must not pass for the end of the file.
        code = STREAM_SOURCE_UNREADABLE;
        got = 0;
        last = true;
      }
      if (prm->sourceKind == SRC_FILE) {
        count = got;
        last = last || got < chunk;
      } else {
        count = got < remaining ? got : static_cast<size_t>(remaining);
        remaining -= count;
        last = last || got < chunk || remaining == 0;
      }
    }

    bool turned = prm->decrypting ? decryptChunk(key, iv, in, count, out, &count)
                                  : encryptChunk(key, iv, in, count, out, &count);
    if (!turned) {
      // Nothing the cipher did not turn reaches the destination.
      code = STREAM_NO_CIPHER;
      count = 0;
      last = true;
    }

    if (count > 0) {
      if (prm->destKind == DST_MEMORY) {
        if (prm->outLimit != 0 && prm->outLength + count >= prm->outLimit) {
          last = true;
        } else if (!appendToBlock(prm, out, count)) {
          code = STREAM_CANNOT_GROW;
          last = true;
        }
      } else if (!writer.put(out, count)) {
        code = STREAM_WRITE_FAILED;
        last = true;
      }
    }

    progressOf(prm).advance(static_cast<int64_t>(count));
    bool stopped = progressOf(prm).stopRequested();
    // What the loop wrote is in the file whenever it returns.
    if ((stopped || last) && prm->destKind != DST_MEMORY && !writer.flush() && code == STREAM_OK)
      code = STREAM_WRITE_FAILED;
    if (stopped) return STREAM_STOPPED;
    if (last) return code;
  }
}

}  // namespace

void resetEntryPrm(EntryPrm* prm) {
  memset(prm, 0, sizeof *prm);
  prm->sourceKind = -1;
  prm->destKind = -1;
}

bool cryptStream(EntryPrm* prm) {
  progressOf(prm).total(0);
  progressOf(prm).done(0);
  reportStatus(progressOf(prm), "");
  prm->resultCode = STREAM_OK;
  if (!passwordAcceptable(prm->passwordText)) {
    prm->resultCode = STREAM_BAD_PASSWORD;
    return false;
  }
  int code = checkArguments(prm);
  if (code != STREAM_OK) {
    prm->resultCode = code;
    return false;
  }
  ChunkBuffers buffers(static_cast<size_t>(prm->chunkSize));
  if (!buffers.ok()) {
    prm->resultCode = STREAM_NO_MEMORY;
    return false;
  }
  // The key comes first: a cipher that can't be used leaves no destination behind.
  StreamKey key(prm->passwordText);
  if (!key.made()) {
    prm->resultCode = STREAM_NO_CIPHER;
    return false;
  }
  UniqueFile source, dest;
  code = openSource(prm, &source);
  if (code == STREAM_OK) code = openDestination(prm, &dest);
  if (code != STREAM_OK) {
    prm->resultCode = code;
    return false;
  }
  code = runChunks(prm, source.get(), dest.get(), key.get(), &buffers);
  source.reset();
  dest.reset();
  progressOf(prm).countOnly(false);
  prm->resultCode = code;
  return true;
}
