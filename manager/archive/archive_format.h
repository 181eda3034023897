// The archive: a flat sequence of entries, each a fixed 2434-byte header
// followed, for files, by the file's data area. No file header, no entry
// count, no trailer: the archive ends where the file ends, or at the first
// header whose header checksum does not match. All integers are little-endian.
//
// Header layout (offsets in bytes):
//     0  4  magic "PARC"
//     4  4  format tag (0x00020001 for files, 0 for folders; readers ignore it)
//     8  8  entry span (file size + 2434 for files, 0 for folders; ignored)
//    16  4  folder flag (1 folder entry, 0 file entry)
//    20  8  stored length of the data area
//    28  8  creation time    (FILETIME)
//    36  8  last-access time (FILETIME)
//    44  8  last-write time  (FILETIME)
//    52 261 name, NUL-terminated, zero-padded (empty: folder-end entry)
//   313 2049 folder path, relative, components separated by one backslash
//  2362  4  compressed flag (1: the data area is a sequence of blocks)
//  2366  1  name encoding: 0 ANSI (the system's code page), 1 UTF-8 (a
//           Unicode entry); any other value is damage
//  2367 59  reserved, zero
//  2426  4  data checksum: sum of the data area's bytes as unsigned values
//  2430  4  header checksum: sum of bytes 0..2429 as signed values
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "common/le_bytes.h"

enum {
  ARCHIVE_HEADER_SIZE = 2434,
  ARCHIVE_NAME_SIZE = 261,     // 260 bytes of text and the terminator
  ARCHIVE_FOLDER_SIZE = 2049,  // 2048 bytes of text and the terminator
  ARCHIVE_CHUNK_SIZE = 32768,  // source bytes per block
  ARCHIVE_NAMES_ANSI = 0,
  ARCHIVE_NAMES_UTF8 = 1,
  ARCHIVE_BLOCK_BUFFER = 36864,
};
enum : uint32_t {
  ARCHIVE_MAGIC = 0x43524150u,  // "PARC"
  ARCHIVE_FILE_FORMAT_TAG = 0x00020001u,
};

struct ArchiveEntryHeader {
  uint32_t magic;
  uint32_t formatTag;
  uint64_t entrySpan;
  uint32_t folderFlag;
  uint64_t storedLength;
  uint64_t creationTime;
  uint64_t lastAccessTime;
  uint64_t lastWriteTime;
  char name[ARCHIVE_NAME_SIZE];
  char folderPath[ARCHIVE_FOLDER_SIZE];
  uint32_t compressedFlag;
  uint8_t nameEncoding;  // ARCHIVE_NAMES_ANSI or ARCHIVE_NAMES_UTF8
  uint32_t dataChecksum;
  uint32_t headerChecksum;
};

// A zeroed header with the magic set.
void clearArchiveHeader(ArchiveEntryHeader* header);

// Writes the 2434 bytes of the header as they stand (the header checksum as
// held in the record); unnamed bytes are zero.
void encodeArchiveHeader(const ArchiveEntryHeader* header, unsigned char out[ARCHIVE_HEADER_SIZE]);
// Computes the header checksum over bytes 0..2429, stores it at 2430 and
// returns it.
uint32_t sealArchiveHeader(unsigned char bytes[ARCHIVE_HEADER_SIZE]);
// Signed-byte sum of bytes 0..2429.
uint32_t archiveHeaderChecksum(const unsigned char bytes[ARCHIVE_HEADER_SIZE]);

// Reads the fields of a header. Name and folder path are taken up to their
// terminator, or cut at 260/2048 bytes (never between the two bytes of a
// double-byte character) when the field holds no terminator.
void decodeArchiveHeader(const unsigned char in[ARCHIVE_HEADER_SIZE], ArchiveEntryHeader* header);
// True when the stored header checksum matches and the magic is present: the
// bytes are an entry header and not the end of the archive.
bool isValidArchiveHeader(const unsigned char in[ARCHIVE_HEADER_SIZE]);

// Adds every byte (unsigned) to the running data checksum.
uint32_t addDataChecksum(uint32_t sum, const unsigned char* data, size_t size);

// Little-endian helpers.
