// The streaming cipher engine: moves a byte stream from a source (a file, a
// part of a file, a memory block) to a destination (a new file, the end of a
// file, a growing memory block) in fixed chunks, enciphering or deciphering
// every chunk with AES-256-CBC under the password's key. Each call starts a
// new CBC chain from a zero IV. Progress goes to the record's progress after
// every chunk, and a stop request is honoured after every chunk.
#pragma once
#include <stdint.h>

#include "common/progress.h"

enum SourceKind {
  SRC_FILE = 0,        // a whole file from its start
  SRC_MEMORY = 1,      // Soulen bytes at sourceData
  SRC_FILE_HEAD = 3,   // a file from its start, at most Soulen bytes
  SRC_FILE_RANGE = 4,  // a file from startOffset, at most Soulen bytes
};

enum DestKind {
  DST_NEW_FILE = 0,     // created, or truncated if it exists
  DST_MEMORY = 1,       // appended to the heap block outData
  DST_APPEND_FILE = 2,  // opened (created if missing) and appended to
};

enum StreamResult {
  STREAM_OK = 0,
  STREAM_SOURCE_UNREADABLE = 1,  // the source file can't be opened (or read)
  STREAM_BAD_MEMORY = 2,         // the memory source or destination isn't usable
  STREAM_CANNOT_CREATE = 3, STREAM_CANNOT_APPEND = 4,  // the destination file
  STREAM_NO_MEMORY = 5,
  STREAM_BAD_CHUNK_SIZE = 6,
  STREAM_WRITE_FAILED = 7, STREAM_CANNOT_GROW = 8,  // the destination file, or the memory block
  STREAM_BAD_PASSWORD = 9,
  STREAM_BAD_KIND = 10,
  STREAM_NO_CIPHER = 12,  // the system's cryptography could not be used or failed
  STREAM_STOPPED = RESULT_STOPPED,
};

enum { CHUNK_SIZE_MIN = 16, CHUNK_SIZE_MAX = 65535 };

struct EntryPrm {
  int32_t sourceKind;
  const wchar_t* sourcePath;        // kinds 0, 3, 4
  uint64_t Soulen;                  // length for kinds 1, 3, 4
  const unsigned char* sourceData;  // kind 1
  uint64_t startOffset;             // kind 4
  int32_t destKind;
  const wchar_t* destPath;          // kinds 0, 2
  uint64_t outLength;               // bytes held in outData
  uint64_t outLimit;                // a chunk is kept only while outLength + count < outLimit; 0: no limit
  unsigned char* outData;           // malloc block; belongs to the caller after the call
  int32_t resultCode;
  const char* passwordText;
  int32_t chunkSize;                // 16..65535
  int32_t decrypting;               // 0 encrypt, 1 decrypt
  const Progress* progress;         // status, counters and stop; null: none
};

// Kinds -1, everything else zero or null.
void resetEntryPrm(EntryPrm* prm);

// Runs the record. True when the chunk loop ran (finished, or ended with code
// 7, 8, 12 or 99), false when the call failed before it; resultCode tells the
// outcome either way, 0 only on full success. Nothing is opened or created
// unless every argument is usable, the chunk buffers were allocated and the
// key was made (12 when it could not be).
bool cryptStream(EntryPrm* prm);
