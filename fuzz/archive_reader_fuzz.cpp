// An archive as it arrives after decryption: headers, names and folder paths,
// block framing and the target paths made from them. Whatever the bytes, the
// reader stays inside its buffers and a path that passes the entry checks
// stays below the output folder.
#include <stdint.h>
#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include "common/fresh_name.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/entry_check.h"
#include "manager/archive/target_path.h"
#include "manager/archive/utf8_text.h"

namespace {

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool read(void* buffer, size_t size, size_t* got) override {
    size_t n = size < size_ - at_ ? size : size_ - at_;
    memcpy(buffer, data_ + at_, n);
    at_ += n;
    *got = n;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Every component below the output folder names itself: none is made only
// of dots and blanks (which Windows would read as the folder itself or its
// parent), and none is empty but the last (a folder's target may be the
// output folder itself or end in a backslash). "..ve" or "il." are plain
// names. Components are split by the Shift-JIS rule, so the 0x5C of 表
// does not end one.
bool componentsStayPut(const char* path) {
  size_t length = strlen(path), start = 0;
  for (size_t i = 0; i <= length; ++i) {
    unsigned char c = i < length ? static_cast<unsigned char>(path[i]) : 0;
    if (i + 1 < length && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))) {
      ++i;
      continue;
    }
    if (i < length && c != '\\') continue;
    bool plain = i == length && start == i;
    for (size_t j = start; j < i; ++j)
      if (path[j] != '.' && path[j] != ' ') plain = true;
    if (!plain) return false;
    start = i + 1;
  }
  return true;
}

// The same for the wide target of a Unicode entry (no pairing of units).
bool wideComponentsStayPut(const wchar_t* path) {
  size_t start = 0;
  for (size_t i = 0;; ++i) {
    wchar_t c = path[i];
    if (c != 0 && c != L'\\') {
      if (c == L':' || c == L'/') return false;
      continue;
    }
    bool plain = c == 0 && start == i;
    for (size_t j = start; j < i; ++j)
      if (path[j] != L'.' && path[j] != L' ') plain = true;
    if (!plain) return false;
    if (c == 0) return true;
    start = i + 1;
  }
}

unsigned char readBuffer[ARCHIVE_BLOCK_BUFFER];
unsigned char inflateBuffer[ARCHIVE_BLOCK_BUFFER];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemorySource source(data, size);
  for (int entries = 0; entries < 64; ++entries) {
    unsigned char bytes[ARCHIVE_HEADER_SIZE];
    size_t got = 0;
    source.read(bytes, sizeof bytes, &got);
    if (got < sizeof bytes || !isValidArchiveHeader(bytes)) break;
    ArchiveEntryHeader header;
    decodeArchiveHeader(bytes, &header);
    if (strnlen(header.name, ARCHIVE_NAME_SIZE) == ARCHIVE_NAME_SIZE ||
        strnlen(header.folderPath, ARCHIVE_FOLDER_SIZE) == ARCHIVE_FOLDER_SIZE)
      __builtin_trap();  // decoded fields are always terminated
    bool utf8 = header.nameEncoding == ARCHIVE_NAMES_UTF8;
    bool safe = header.nameEncoding <= ARCHIVE_NAMES_UTF8 && isSafeFolderPath(header.folderPath, utf8) &&
                isSafeEntryName(header.name, header.folderFlag == 1, utf8);
    char target[TARGET_PATH_SIZE];
    size_t folderPart = 0;
    if (safe && utf8) {
      // A Unicode entry that passes its checks decodes, and stays below the output folder.
      wchar_t name[ARCHIVE_NAME_SIZE], folder[ARCHIVE_FOLDER_SIZE], wideTarget[TARGET_PATH_SIZE];
      if (!wideFromUtf8(header.name, name, ARCHIVE_NAME_SIZE) ||
          !wideFromUtf8(header.folderPath, folder, ARCHIVE_FOLDER_SIZE))
        __builtin_trap();
      if (buildTargetPath(L"C:\\out", folder, name, wideTarget, &folderPart) == TARGET_OK) {
        if (wcsncmp(wideTarget, L"C:\\out\\", 7) != 0 || !wideComponentsStayPut(wideTarget + 7)) __builtin_trap();
        wchar_t temporary[FRESH_PATH_SIZE];
        if (formFreshPath(wideTarget, folderPart, 0x1234u, temporary) && wcslen(temporary) >= 260) __builtin_trap();
      }
    } else if (safe && buildTargetPath("C:\\out", header.folderPath, header.name, target, &folderPart) == TARGET_OK) {
      if (strncmp(target, "C:\\out\\", 7) != 0 || !componentsStayPut(target + 7) || strchr(target + 2, ':') ||
          strchr(target, '/'))
        __builtin_trap();
    }
    if (header.folderFlag == 1) continue;
    EntryDataReader reader;
    startEntryData(&reader, header.storedLength, header.compressedFlag != 0);
    while (reader.remaining > 0) {
      const unsigned char* out = nullptr;
      size_t outSize = 0;
      if (readEntryData(&source, &reader, readBuffer, inflateBuffer, &out, &outSize) != BLOCK_OK) return 0;
      if (outSize > ARCHIVE_CHUNK_SIZE) __builtin_trap();
    }
  }
  return 0;
}
