// The encrypted container's result codes and formats. A container is a
// 1024-byte encrypted header block followed by the archive encrypted in CBC
// mode under the SHA-256 digest of the password; or, where the machine's
// policy asks for it, a container of the second format (container_format2.h),
// which every reader here takes as well. container_stream.h writes and reads
// both.
#pragma once

// The second format's results are the same numbers (container_format2.h).
enum ContainerResult {
  CONTAINER_OK = 0,
  CONTAINER_BAD_HEADER = 80,   // wrong password, not a container, or damaged
  CONTAINER_DAMAGED = 81,      // can't be trusted: a body cut or added to (in the second format, see there)
  CONTAINER_EMPTY = 96,        // the container holds no byte at all
  CONTAINER_EMPTY_ARCHIVE = 97,
  CONTAINER_SOURCE_UNREADABLE = 201,
  CONTAINER_NO_MEMORY = 205,
  CONTAINER_WRITE_FAILED = 207,  // a full disk too
  CONTAINER_BAD_PASSWORD = 209,
  CONTAINER_NO_RANDOM = 211,     // no salt or header filler from the system's generator
  CONTAINER_NO_CIPHER = 212,     // the system's cryptography could not be used or failed
  CONTAINER_STOPPED = 299,       // the user stopped the job while the cipher ran
};

// Formats of new containers.
enum ContainerFormat {
  CONTAINER_FORMAT_1 = 1,
  CONTAINER_FORMAT_2 = 2,
};
