#include "manager/encryption/result_writer.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "common/file_util.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/data_form.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/random_fill.h"

static_assert(RESULT_HOLD_LIMIT % CIPHER_BLOCK == 0, "the spill file takes whole cipher blocks");

namespace {

bool rewind(HANDLE file) {
  LARGE_INTEGER zero = {};
  return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

ResultWriter::ResultWriter(const wchar_t* outputPath) : outputPath_(outputPath) {}

ResultWriter::~ResultWriter() {
  dropSpill();
  // Only what was ever held is wiped: touching the rest would only add it
  // to the working set.
  if (held_) SecureZeroMemory(held_, heldPeak_);
  free(held_);
}

int ResultWriter::begin(const wchar_t* programPath, int format, const char* password, const Progress& progress) {
  int result = container_.prepare(format, password, progress);
  if (result != CONTAINER_OK) return result;
  if (!file_.createBeside(outputPath_) || !spill_.createInTemporaryFolder()) return ASSEMBLY_OPEN_OUTPUT;
  if (programPath) {
    result = appendProgramImage(file_.get(), programPath, progress);
    if (result != ASSEMBLY_OK) return result;
  } else {
    unsigned char header[DATA_FORM_HEADER_SIZE];
    encodeDataFormHeader(header);
    if (!writeAll(file_.get(), header, sizeof header))
      return GetLastError() == ERROR_DISK_FULL ? ASSEMBLY_DISK_FULL : ASSEMBLY_WRITE;
  }
  return container_.start(file_.get());
}

bool ResultWriter::write(const void* data, size_t size) {
  if (!holding_) return container_.put(data, size);
  const unsigned char* in = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (heldBytes_ == RESULT_HOLD_LIMIT && !spillHeld()) return false;
    size_t n = RESULT_HOLD_LIMIT - heldBytes_ < size ? RESULT_HOLD_LIMIT - heldBytes_ : size;
    memcpy(held_ + heldBytes_, in, n);
    heldBytes_ += n;
    if (heldBytes_ > heldPeak_) heldPeak_ = heldBytes_;
    in += n;
    size -= n;
  }
  return true;
}

bool ResultWriter::holdEntry(const unsigned char*) {
  if (!held_) held_ = static_cast<unsigned char*>(malloc(RESULT_HOLD_LIMIT));
  if (!held_) return false;
  holding_ = true;
  heldBytes_ = 0;
  return true;
}

bool ResultWriter::completeEntry(const unsigned char* header) {
  holding_ = false;
  bool ok = container_.put(header, ARCHIVE_HEADER_SIZE) && replaySpill() && container_.put(held_, heldBytes_);
  SecureZeroMemory(held_, heldBytes_);
  heldBytes_ = 0;
  dropSpill();
  return ok;
}

// Moves the full hold buffer to the end of the spill file, enciphered. The
// first spill of an entry draws its key.
bool ResultWriter::spillHeld() {
  if (!spillKeyed_) {
    unsigned char key[SHA2SUM_SIZE];
    bool keyed = strongRandom(key, sizeof key) && keyFromDigest(key, &spillKey_);
    SecureZeroMemory(key, sizeof key);
    if (!keyed) {
      wipeKey(&spillKey_);
      cipherFailed_ = true;
      return false;
    }
    memset(spillIv_, 0, sizeof spillIv_);
    spillKeyed_ = true;
  }
  if (!cbcEncrypt(&spillKey_, spillIv_, held_, held_, heldBytes_)) {
    cipherFailed_ = true;
    return false;
  }
  bool written = writeAll(spill_.get(), held_, heldBytes_);
  spillBytes_ += heldBytes_;
  spilled_ += heldBytes_;
  heldBytes_ = 0;
  return written;
}

// Reads the spill file back, deciphered, into the container.
bool ResultWriter::replaySpill() {
  if (spillBytes_ == 0) return true;
  if (!piece_.allocate(2 * CONTAINER_PIECE) || !rewind(spill_.get())) return false;
  unsigned char iv[CIPHER_BLOCK] = {};
  unsigned char* sealed = piece_;
  unsigned char* plain = piece_ + CONTAINER_PIECE;
  for (uint64_t left = spillBytes_; left > 0;) {
    DWORD want = left < CONTAINER_PIECE ? static_cast<DWORD>(left) : DWORD{CONTAINER_PIECE}, got = 0;
    if (!ReadFile(spill_.get(), sealed, want, &got, nullptr) || got != want) return false;
    if (!cbcDecrypt(&spillKey_, iv, sealed, plain, want)) {
      cipherFailed_ = true;
      return false;
    }
    bool put = container_.put(plain, want);
    SecureZeroMemory(plain, want);
    if (!put) return false;
    left -= want;
  }
  return true;
}

// The entry is through: its key goes, and the spill file is emptied.
void ResultWriter::dropSpill() {
  if (spillKeyed_) wipeKey(&spillKey_);
  spillKeyed_ = false;
  if (spill_ && spillBytes_ > 0 && rewind(spill_.get())) SetEndOfFile(spill_.get());
  spillBytes_ = 0;
}

int ResultWriter::finish() {
  if (!file_) return ASSEMBLY_OPEN_OUTPUT;
  if (container_.archiveBytes() == 0) return CONTAINER_EMPTY_ARCHIVE;
  uint64_t length = 0;
  int result = container_.finish(&length);
  if (result == CONTAINER_OK) result = appendPayloadTrailer(file_.get(), length);
  if (result != ASSEMBLY_OK) return result;
  return file_.commitOver(outputPath_) == COMMIT_DONE ? ASSEMBLY_OK : ASSEMBLY_OPEN_OUTPUT;
}
