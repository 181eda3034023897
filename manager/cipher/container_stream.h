// Containers of either format streamed through an open file, so that a job
// never has to hold the archive, or the container, as a file of its own.
//
// A writer takes the archive as it is made and writes the body into the file
// at once; its header records the archive's size, so the header's room is
// kept in front of the body and the header is written there last. A reader
// takes the container in place, where it lies in a larger file (the result),
// checks it whole before it gives anything out, and gives the archive back
// piece by piece.
//
// Both hold the password's keys and pieces of the archive in buffers of their
// own, and wipe them when they go.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "common/progress.h"
#include "common/wipe.h"
#include "manager/cipher/container.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/key_material.h"

// What new containers of the second format take from the system: the
// iteration count and the salt source. Only tests replace them, to get a
// fixed salt or a count that is quicker to derive (readers still refuse
// fewer than 100,000 iterations).
struct Format2WriterSettings {
  uint32_t iterations;
  bool (*fillSalt)(unsigned char* salt, size_t size);  // false: the generator failed
};
// Replaces the settings; null restores the defaults (600,000 iterations, the
// system's strong generator).
void setFormat2WriterSettings(const Format2WriterSettings* settings);

enum { CONTAINER_PIECE = 65536 };  // archive bytes enciphered per write

// What a writer and a reader both hold: the file, the format, a piece of the
// archive and its cipher text, and the cipher of either format; the key of
// the first format is wiped when it goes.
class ContainerStream {
 public:
  ContainerStream(const ContainerStream&) = delete;
  ContainerStream& operator=(const ContainerStream&) = delete;

 protected:
  ContainerStream() = default;
  ~ContainerStream();
  // The two buffers of a piece; false without memory.
  bool allocatePieces();

  HANDLE file_ = INVALID_HANDLE_VALUE;
  int format_ = 0;
  uint64_t chunkIndex_ = 0;
  WipedBlock plain_;   // CONTAINER_PIECE archive bytes
  WipedBlock sealed_;  // their cipher text (and a tag)
  CipherKey key_ = {};               // the first format
  unsigned char iv_[CIPHER_BLOCK] = {};
  Format2ChunkCipher chunks_;        // the second format
};

class ContainerWriter : private ContainerStream {
 public:
  ~ContainerWriter();

  // Gets what a container needs before it is written: CONTAINER_FORMAT_2
  // gives the second format (its salt drawn and its keys derived here, with
  // stop polled: 211, 299), any other value the first. 209 for a missing or
  // overlong password, 205 without memory for the buffers, 212 when the
  // system's cryptography can't be used.
  ContainerResult prepare(int format, const char* password, const Progress& progress);
  // Starts the container at the file's current position with the room for
  // its header; 207 when that can't be written.
  ContainerResult start(HANDLE file);
  // Enciphers the next size bytes of the archive. false when a write failed
  // (a full disk among others: GetLastError() tells) or the cipher did
  // (cipherFailed()); the container can't be finished then.
  bool put(const void* data, size_t size);
  bool cipherFailed() const { return cipherFailed_; }
  // Writes the rest of the body, then the header into its room, and leaves
  // the file positioned at the container's end. *length receives the
  // container's size. 207 when a write failed, 212 when the cipher did, 211
  // when the first format's header filler could not be drawn.
  ContainerResult finish(uint64_t* length);

  uint64_t archiveBytes() const { return archiveBytes_; }

 private:
  bool writePiece(bool last);
  bool failed_ = false, cipherFailed_ = false;
  uint64_t start_ = 0, archiveBytes_ = 0;
  size_t used_ = 0;
  Format2Keys keys_ = {};  // the second format's, kept for its header
  unsigned char salt_[FORMAT2_SALT_SIZE] = {};
  uint32_t iterations_ = 0;
};

class ContainerReader : private ContainerStream {
 public:
  // Opens the container of length bytes at offset start of the file and
  // checks it before any of the archive is given out. A container that
  // begins with the second format's magic is read as that format, anything
  // else as the first. The first format: its header (96 when the container
  // is empty, 80 for a wrong password or a damaged header) and its body's
  // size, which must be the size its header records rounded up to 16 (81).
  // The second: its header fields (81), its MAC under the password's keys
  // (80, 299 while they are derived), then every chunk's tag (81), read
  // through once with progress over the archive's bytes and stop polled
  // (299). 201 when a read fails, 205 without memory, 209 for a missing or
  // overlong password.
  ContainerResult open(HANDLE file, uint64_t start, uint64_t length, const char* password, const Progress& progress);
  // The next archive bytes, at most size; *got is 0 at the archive's end.
  // false when a read failed or a chunk no longer passed its check (then
  // result() says which).
  bool read(void* out, size_t size, size_t* got);
  ContainerResult result() const { return result_; }
  uint64_t archiveSize() const { return archiveSize_; }

 private:
  bool fill();
  ContainerResult openFirstFormat(const unsigned char* head, size_t got, uint64_t start, uint64_t length,
                                  const char* password);
  ContainerResult openSecondFormat(const unsigned char* head, size_t got, uint64_t start, uint64_t length,
                                   const char* password, const Progress& progress);
  ContainerResult checkSecondFormat(const unsigned char* head, const Format2Header& fields, const Format2Keys& keys,
                                    uint64_t start, uint64_t length, const Progress& progress);
  ContainerResult verifyChunks(const unsigned char* key, const Progress& progress);

  ContainerResult result_ = CONTAINER_OK;
  uint64_t bodyStart_ = 0, archiveSize_ = 0, given_ = 0;
  size_t begin_ = 0, end_ = 0;
};
