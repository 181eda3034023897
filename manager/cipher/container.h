// The encrypted container: a 1024-byte encrypted header block followed by the
// archive encrypted in CBC mode under the SHA-256 digest of the password; or,
// where the machine's policy asks for it, a container of the second format
// (container_format2.h), which every reader here takes as well.
#pragma once

#include "common/progress.h"

// The streaming engine's failures are 200 plus its own code (crypt_stream.h);
// the second format's are the same numbers (container_format2.h).
enum ContainerResult {
  CONTAINER_OK = 0,
  CONTAINER_BAD_HEADER = 80,   // wrong password, not a container, or damaged
  CONTAINER_DAMAGED = 81,      // can't be trusted: a body cut or added to (in the second format, see there)
  CONTAINER_EMPTY = 96,        // the header stage delivered no data
  CONTAINER_EMPTY_ARCHIVE = 97,
  CONTAINER_SOURCE_UNREADABLE = 201,
  CONTAINER_BAD_MEMORY = 202,
  CONTAINER_CANNOT_CREATE = 203,
  CONTAINER_CANNOT_APPEND = 204,
  CONTAINER_NO_MEMORY = 205,
  CONTAINER_BAD_CHUNK_SIZE = 206,
  CONTAINER_WRITE_FAILED = 207,  // a full disk too
  CONTAINER_CANNOT_GROW = 208,
  CONTAINER_BAD_PASSWORD = 209,
  CONTAINER_BAD_KIND = 210,
  CONTAINER_NO_RANDOM = 211,     // no salt or header filler from the system's generator
  CONTAINER_NO_CIPHER = 212,     // the system's cryptography could not be used or failed
  CONTAINER_STOPPED = 299,       // the user stopped the job while the cipher ran
};

// Formats of new containers.
enum ContainerFormat {
  CONTAINER_FORMAT_1 = 1,
  CONTAINER_FORMAT_2 = 2,
};

// Writes the container of the first format.
ContainerResult encryptArchive(const wchar_t* archivePath, const wchar_t* containerPath, const char* password,
                   const Progress& progress);

// Writes the container in the given format: CONTAINER_FORMAT_2 as
// encryptArchiveFormat2 does (its codes, 211 among them), any other value as
// encryptArchive. An empty or missing archive gives 97 and no container in
// both formats, so that the job's outcome never depends on the format.
ContainerResult encryptArchiveAs(const wchar_t* archivePath, const wchar_t* containerPath, const char* password, int format,
                     const Progress& progress);

// Writes the archive held in a container of either format: one that begins
// with the second format's magic is read as that format (its codes, 81 among
// them), anything else as the first. A container of the first format whose
// body is not the size its header records rounded up to 16 gives 81 before
// the archive file is created.
ContainerResult decryptArchive(const wchar_t* containerPath, const wchar_t* archivePath, const char* password,
                   const Progress& progress);
