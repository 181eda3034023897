#include "manager/archive/archive_format.h"

#include <string.h>

#include "common/text_util.h"

namespace {
enum {
  OFF_MAGIC = 0,
  OFF_FORMAT_TAG = 4,
  OFF_ENTRY_SPAN = 8,
  OFF_FOLDER_FLAG = 16,
  OFF_STORED_LENGTH = 20,
  OFF_CREATION = 28,
  OFF_LAST_ACCESS = 36,
  OFF_LAST_WRITE = 44,
  OFF_NAME = 52,
  OFF_FOLDER_PATH = 313,
  OFF_COMPRESSED = 2362,
  OFF_NAME_ENCODING = 2366,
  OFF_RESERVED = 2366,
  OFF_DATA_CHECKSUM = 2426,
  OFF_HEADER_CHECKSUM = 2430,
};
static_assert(OFF_FOLDER_PATH == OFF_NAME + ARCHIVE_NAME_SIZE, "name field size");
static_assert(OFF_COMPRESSED == OFF_FOLDER_PATH + ARCHIVE_FOLDER_SIZE, "folder field size");
static_assert(OFF_DATA_CHECKSUM == OFF_RESERVED + 60, "reserved field size");
static_assert(OFF_HEADER_CHECKSUM + 4 == ARCHIVE_HEADER_SIZE, "header size");

// Copies a text field into its slot, zero-padded; the text is cut safely so
// that the terminator always fits.
void putText(unsigned char* field, size_t size, const char* text) {
  memset(field, 0, size);
  copyText(reinterpret_cast<char*>(field), size, text);
}
}  // namespace

void clearArchiveHeader(ArchiveEntryHeader* header) {
  memset(header, 0, sizeof *header);
  header->magic = ARCHIVE_MAGIC;
}

void encodeArchiveHeader(const ArchiveEntryHeader* h, unsigned char out[ARCHIVE_HEADER_SIZE]) {
  memset(out, 0, ARCHIVE_HEADER_SIZE);
  putLe32(out + OFF_MAGIC, h->magic);
  putLe32(out + OFF_FORMAT_TAG, h->formatTag);
  putLe64(out + OFF_ENTRY_SPAN, h->entrySpan);
  putLe32(out + OFF_FOLDER_FLAG, h->folderFlag);
  putLe64(out + OFF_STORED_LENGTH, h->storedLength);
  putLe64(out + OFF_CREATION, h->creationTime);
  putLe64(out + OFF_LAST_ACCESS, h->lastAccessTime);
  putLe64(out + OFF_LAST_WRITE, h->lastWriteTime);
  // The record's own text fields may hold anything: only the bytes up to
  // the terminator (or the capacity) are taken.
  char text[ARCHIVE_FOLDER_SIZE];
  copyTextN(text, ARCHIVE_NAME_SIZE, h->name, ARCHIVE_NAME_SIZE);
  putText(out + OFF_NAME, ARCHIVE_NAME_SIZE, text);
  copyTextN(text, ARCHIVE_FOLDER_SIZE, h->folderPath, ARCHIVE_FOLDER_SIZE);
  putText(out + OFF_FOLDER_PATH, ARCHIVE_FOLDER_SIZE, text);
  putLe32(out + OFF_COMPRESSED, h->compressedFlag);
  out[OFF_NAME_ENCODING] = h->nameEncoding;
  putLe32(out + OFF_DATA_CHECKSUM, h->dataChecksum);
  putLe32(out + OFF_HEADER_CHECKSUM, h->headerChecksum);
}

uint32_t archiveHeaderChecksum(const unsigned char bytes[ARCHIVE_HEADER_SIZE]) {
  uint32_t sum = 0;
  for (size_t i = 0; i < OFF_HEADER_CHECKSUM; ++i)
    sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(bytes[i])));
  return sum;
}

uint32_t sealArchiveHeader(unsigned char bytes[ARCHIVE_HEADER_SIZE]) {
  uint32_t sum = archiveHeaderChecksum(bytes);
  putLe32(bytes + OFF_HEADER_CHECKSUM, sum);
  return sum;
}

void decodeArchiveHeader(const unsigned char in[ARCHIVE_HEADER_SIZE], ArchiveEntryHeader* h) {
  h->magic = getLe32(in + OFF_MAGIC);
  h->formatTag = getLe32(in + OFF_FORMAT_TAG);
  h->entrySpan = getLe64(in + OFF_ENTRY_SPAN);
  h->folderFlag = getLe32(in + OFF_FOLDER_FLAG);
  h->storedLength = getLe64(in + OFF_STORED_LENGTH);
  h->creationTime = getLe64(in + OFF_CREATION);
  h->lastAccessTime = getLe64(in + OFF_LAST_ACCESS);
  h->lastWriteTime = getLe64(in + OFF_LAST_WRITE);
  copyTextN(h->name, sizeof h->name, reinterpret_cast<const char*>(in + OFF_NAME), ARCHIVE_NAME_SIZE);
  copyTextN(h->folderPath, sizeof h->folderPath, reinterpret_cast<const char*>(in + OFF_FOLDER_PATH),
            ARCHIVE_FOLDER_SIZE);
  h->compressedFlag = getLe32(in + OFF_COMPRESSED);
  h->nameEncoding = in[OFF_NAME_ENCODING];
  h->dataChecksum = getLe32(in + OFF_DATA_CHECKSUM);
  h->headerChecksum = getLe32(in + OFF_HEADER_CHECKSUM);
}

bool isValidArchiveHeader(const unsigned char in[ARCHIVE_HEADER_SIZE]) {
  return getLe32(in + OFF_MAGIC) == ARCHIVE_MAGIC &&
         getLe32(in + OFF_HEADER_CHECKSUM) == archiveHeaderChecksum(in);
}

uint32_t addDataChecksum(uint32_t sum, const unsigned char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return sum;
}
