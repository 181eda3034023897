// The encrypted container: a 1024-byte encrypted header block followed by the
// archive encrypted in CBC mode under the SHA-256 digest of the password.
#pragma once

enum ContainerResult {
  CONTAINER_OK = 0,
  CONTAINER_BAD_HEADER = 80,   // wrong password, not a container, or damaged
  CONTAINER_EMPTY = 96,        // the header stage delivered no data
  CONTAINER_EMPTY_ARCHIVE = 97,
  CONTAINER_ENGINE_BASE = 200, // plus the streaming engine's code
};

int encryptArchive(const wchar_t* archivePath, const wchar_t* containerPath, const char* password);
int decryptArchive(const wchar_t* containerPath, const wchar_t* archivePath, const char* password);
