#include "manager/cipher/crypt_stream.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include <mbedtls/platform_util.h>

#include "manager/cipher/key_material.h"
#include "manager/startup/file_util.h"
#include "manager/startup/job_state.h"
#include "manager/startup/text_util.h"
#include "manager/startup/unique_handle.h"

namespace {

// The two chunk buffers of one call, each twice the chunk size plus one
// block. They hold plaintext, so they are wiped before they are freed.
class ChunkBuffers {
 public:
  explicit ChunkBuffers(size_t chunkSize) : size_(2 * chunkSize + CIPHER_BLOCK) {
    input_ = static_cast<unsigned char*>(calloc(1, size_));
    output_ = static_cast<unsigned char*>(calloc(1, size_));
  }
  ~ChunkBuffers() {
    release(input_);
    release(output_);
  }
  ChunkBuffers(const ChunkBuffers&) = delete;
  ChunkBuffers& operator=(const ChunkBuffers&) = delete;
  bool ok() const { return input_ && output_; }
  unsigned char* input() { return input_; }
  unsigned char* output() { return output_; }

 private:
  void release(unsigned char* p) {
    if (!p) return;
    mbedtls_platform_zeroize(p, size_);
    free(p);
  }
  size_t size_;
  unsigned char* input_;
  unsigned char* output_;
};

// The key schedule of one call, wiped whatever way the call ends.
class StreamKey {
 public:
  explicit StreamKey(const char* password) { deriveKey(password, &key_); }
  ~StreamKey() { wipeKey(&key_); }
  StreamKey(const StreamKey&) = delete;
  StreamKey& operator=(const StreamKey&) = delete;
  CipherKey* get() { return &key_; }

 private:
  CipherKey key_;
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
    setStatusText(status);
    progressStore(&jobState.progressTotal, static_cast<int64_t>(prm->Soulen));
    return STREAM_OK;
  }
  if (prm->sourcePath == nullptr) return STREAM_SOURCE_UNREADABLE;
  source->reset(CreateFileW(prm->sourcePath, GENERIC_READ, WORKING_FILE_SHARE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!*source) return STREAM_SOURCE_UNREADABLE;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(source->get(), &size)) size.QuadPart = 0;
  progressStore(&jobState.progressTotal, size.QuadPart);
  setStatusText(prm->decrypting ? "書庫を復号中です" : "書庫を暗号化中です");
  jobState.countOnly = 0;
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
      DWORD got = 0;
      if (!ReadFile(source, in, static_cast<DWORD>(chunk), &got, nullptr)) {
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

    if (prm->decrypting)
      count = decryptChunk(key, iv, in, count, out);
    else
      count = encryptChunk(key, iv, in, count, out);

    if (count > 0) {
      if (prm->destKind == DST_MEMORY) {
        if (prm->outLimit != 0 && prm->outLength + count >= prm->outLimit) {
          last = true;
        } else if (!appendToBlock(prm, out, count)) {
          code = STREAM_CANNOT_GROW;
          last = true;
        }
      } else if (!writeAll(dest, out, count)) {
        code = STREAM_WRITE_FAILED;
        last = true;
      }
    }

    progressAdd(&jobState.progressDone, static_cast<int64_t>(count));
    if (stopRequested()) return STREAM_STOPPED;
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
  progressStore(&jobState.progressTotal, 0);
  progressStore(&jobState.progressDone, 0);
  setStatusText("");
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
  UniqueFile source, dest;
  code = openSource(prm, &source);
  if (code == STREAM_OK) code = openDestination(prm, &dest);
  if (code != STREAM_OK) {
    prm->resultCode = code;
    return false;
  }
  StreamKey key(prm->passwordText);
  code = runChunks(prm, source.get(), dest.get(), key.get(), &buffers);
  source.reset();
  dest.reset();
  jobState.countOnly = 0;
  prm->resultCode = code;
  return true;
}
