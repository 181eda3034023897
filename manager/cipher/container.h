// The encrypted container: a 1024-byte encrypted header block followed by the
// archive encrypted in CBC mode under the SHA-256 digest of the password; or,
// where the machine's policy asks for it, a container of the second format
// (container_format2.h), which every reader here takes as well.
#pragma once

#include "common/progress.h"

enum ContainerResult {
  CONTAINER_OK = 0,
  CONTAINER_BAD_HEADER = 80,   // wrong password, not a container, or damaged
  CONTAINER_EMPTY = 96,        // the header stage delivered no data
  CONTAINER_EMPTY_ARCHIVE = 97,
  CONTAINER_ENGINE_BASE = 200, // plus the streaming engine's code
};

// Formats of new containers.
enum ContainerFormat {
  CONTAINER_FORMAT_1 = 1,
  CONTAINER_FORMAT_2 = 2,
};

// Writes the container of the first format.
int encryptArchive(const wchar_t* archivePath, const wchar_t* containerPath, const char* password,
                   const Progress& progress);

// Writes the container in the given format: CONTAINER_FORMAT_2 as
// encryptArchiveFormat2 does (its codes, 211 among them), any other value as
// encryptArchive. An empty or missing archive gives 97 and no container in
// both formats, so that the job's outcome never depends on the format.
int encryptArchiveAs(const wchar_t* archivePath, const wchar_t* containerPath, const char* password, int format,
                     const Progress& progress);

// Writes the archive held in a container of either format: one that begins
// with the second format's magic is read as that format (its codes, 81 among
// them), anything else as the first.
int decryptArchive(const wchar_t* containerPath, const wchar_t* archivePath, const char* password,
                   const Progress& progress);
