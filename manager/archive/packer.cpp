// The packer: walks the selected files and folders and appends one entry per
// file and folder to the archive, each file's data compressed block by block.
// Every entry writer opens the archive, appends and closes it again, so no
// handle stays open between entries. Runs on the worker thread only: it alone
// reads the sources, writes the archive and reports progress, while the
// chunks of a larger file may be compressed on the threads of the
// compression pool (compress_pool.h).
#include "manager/archive/packer.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "manager/archive/archive_format.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/option_parser.h"
#include "manager/archive/target_path.h"
#include "manager/startup/file_util.h"
#include "manager/startup/job_state.h"
#include "manager/startup/text_util.h"
#include "manager/startup/unique_handle.h"

namespace {

enum { SOURCE_PATH_LIMIT = 260 };  // every source path must be shorter

unsigned char headerBytes[ARCHIVE_HEADER_SIZE];

// The compression threads serve one packing run: they are started for its
// first file of more than one chunk and ended when the outermost call into
// the packer returns, so none is left running between jobs.
int runDepth = 0;

// Drive types already asked in this run, by drive letter (0: not asked yet):
// a drive keeps its type while one selection is packed, and asking costs far
// more than the line it goes into.
int knownDriveTypes[26];

class PackingRun {
 public:
  PackingRun() {
    if (runDepth++ == 0) memset(knownDriveTypes, 0, sizeof knownDriveTypes);
  }
  ~PackingRun() {
    if (--runDepth == 0) stopCompressThreads();
  }
  PackingRun(const PackingRun&) = delete;
  PackingRun& operator=(const PackingRun&) = delete;
};

HANDLE openSource(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE openArchiveForAppend(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Fills a chunk unless the source ends first; false on a failed read.
bool readChunk(HANDLE source, unsigned char* chunk, DWORD* got) {
  *got = 0;
  while (*got < ARCHIVE_CHUNK_SIZE) {
    DWORD n = 0;
    if (!ReadFile(source, chunk + *got, ARCHIVE_CHUNK_SIZE - *got, &n, nullptr)) return false;
    if (n == 0) break;
    *got += n;
  }
  return true;
}

uint64_t fileTimeValue(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

int driveTypeOfSource(const char* path) {
  char letter = path[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z' || path[1] != ':') return driveTypeOfPath(path, nullptr, 0);
  int& known = knownDriveTypes[letter - 'A'];
  if (known == 0) known = driveTypeOfPath(path, nullptr, 0) + 1;
  return known - 1;
}

void writeSourceListLine(const char* sourcePath) {
  char line[SOURCE_PATH_LIMIT + 64];
  int type = driveTypeOfSource(sourcePath);
  if (formatText(line, sizeof line, "File=\"%s\";Type=%d;\r\n", sourcePath, type))
    appendToFile(jobState.sourceListPath, line);  // a failed line is ignored
}

// What has been written of one entry's data area.
struct EntryData {
  uint64_t stored;    // bytes of the blocks written
  uint32_t checksum;  // unsigned-byte sum of those bytes
};

// Writes one compressed chunk as a block and counts it in the entry and in
// the progress; the stop request is looked at after every block.
int writeBlock(HANDLE archive, const CompressSlot* block, EntryData* data) {
  if (block->result != BLOCK_OK) return 16;
  data->checksum = addDataChecksum(data->checksum, block->frame, block->frameSize);
  if (!writeAll(archive, block->frame, block->frameSize)) return 7;
  data->stored += block->frameSize;
  progressAdd(&jobState.progressDone, static_cast<int64_t>(block->frameSize));
  if (stopRequested()) return 99;
  return 0;
}

// Reads the source in chunks until a read returns no bytes and writes one
// block per chunk. While earlier chunks are being compressed the next ones
// are read ahead into free slots, but the blocks are written strictly in the
// order of their chunks, and a failed read counts only once every block
// before it is written: the archive and the result are those of a plain
// read, compress, write loop. Whatever the outcome, no chunk is left being
// compressed on return.
int writeBlocks(HANDLE source, HANDLE archive, bool threaded, EntryData* data) {
  beginFileChunks(threaded);
  bool sourceEnded = false, readFailed = false;
  int result = 0;
  while (result == 0) {
    CompressSlot* slot;
    while (!sourceEnded && (slot = freeChunkSlot()) != nullptr) {
      DWORD got = 0;
      readFailed = !readChunk(source, slot->chunk, &got);
      if (readFailed || got == 0) sourceEnded = true;
      else submitChunk(slot, got);
    }
    CompressSlot* block = nextCompressedChunk();
    if (!block) {
      if (readFailed) result = 6;
      break;
    }
    result = writeBlock(archive, block, data);
    releaseChunkSlot(block);
  }
  endFileChunks();
  return result;
}

// Steps 2 to 10 of one file entry; the caller writes the source-list line.
int packFile(const char* archivePath, const char* sourcePath, const char* name, const char* folderPath) {
  ArchiveEntryHeader header;
  clearArchiveHeader(&header);
  header.compressedFlag = 1;
  uint64_t size = 0;
  {
    UniqueFile probe(openSource(sourcePath));
    FILETIME created, accessed, written;
    LARGE_INTEGER length;
    if (!probe || !GetFileTime(probe.get(), &created, &accessed, &written) ||
        !GetFileSizeEx(probe.get(), &length))
      return 11;
    size = static_cast<uint64_t>(length.QuadPart);
    header.creationTime = fileTimeValue(created);
    header.lastAccessTime = fileTimeValue(accessed);
    header.lastWriteTime = fileTimeValue(written);
  }
  header.formatTag = ARCHIVE_FILE_FORMAT_TAG;
  header.storedLength = size;
  header.entrySpan = size + ARCHIVE_HEADER_SIZE;
  copyText(header.name, sizeof header.name, name);
  copyText(header.folderPath, sizeof header.folderPath, folderPath);

  UniqueFile archive(openArchiveForAppend(archivePath));
  if (!archive) return 2;
  LARGE_INTEGER zero = {}, entryStart = {};
  if (!SetFilePointerEx(archive.get(), zero, &entryStart, FILE_END)) return 3;
  encodeArchiveHeader(&header, headerBytes);  // provisional: header checksum 0
  if (!writeAll(archive.get(), headerBytes, ARCHIVE_HEADER_SIZE)) return 4;

  UniqueFile source(openSource(sourcePath));
  if (!source) return 5;
  setStatusText(name);
  progressStore(&jobState.progressTotal, static_cast<int64_t>(size));
  progressStore(&jobState.progressDone, 0);

  EntryData data = {0, 0};
  int result = writeBlocks(source.get(), archive.get(), size > ARCHIVE_CHUNK_SIZE, &data);
  if (result != 0) return result;

  header.storedLength = data.stored;
  header.dataChecksum = data.checksum;
  encodeArchiveHeader(&header, headerBytes);
  sealArchiveHeader(headerBytes);
  if (!SetFilePointerEx(archive.get(), entryStart, nullptr, FILE_BEGIN)) return 8;
  if (!writeAll(archive.get(), headerBytes, ARCHIVE_HEADER_SIZE)) return 10;
  return 0;
}

// The folder path relative to the archive's top level for a sub-folder.
bool childRelativePath(char* out, size_t cap, const char* relativePath, const char* name) {
  if (relativePath[0] == '\0') return copyText(out, cap, name);
  return formatText(out, cap, "%s\\%s", relativePath, name);
}

bool isDotEntry(const char* name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

}  // namespace

int makeAbsolutePath(char* out, const char* path) {
  return makeAbsolutePathFrom(out, path, jobState.moduleDir);
}

int addFileEntry(const char* archivePath, const char* sourcePath, const char* name, const char* folderPath) {
  if (strnlen(sourcePath, SOURCE_PATH_LIMIT) >= SOURCE_PATH_LIMIT) return 9;
  PackingRun run;
  int result = packFile(archivePath, sourcePath, name, folderPath);
  writeSourceListLine(sourcePath);
  return result;
}

int addFolderEntry(const char* archivePath, const char* name, const char* folderPath) {
  ArchiveEntryHeader header;
  clearArchiveHeader(&header);
  header.folderFlag = 1;
  copyText(header.name, sizeof header.name, name);
  copyText(header.folderPath, sizeof header.folderPath, folderPath);
  encodeArchiveHeader(&header, headerBytes);
  sealArchiveHeader(headerBytes);
  UniqueFile archive(openArchiveForAppend(archivePath));
  if (!archive) return 20;
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(archive.get(), zero, nullptr, FILE_END)) return 21;
  if (!writeAll(archive.get(), headerBytes, ARCHIVE_HEADER_SIZE)) return 22;
  return 0;
}

int addFolderTree(const char* archivePath, const char* folderPath, const char* relativePath) {
  size_t length = strnlen(folderPath, SOURCE_PATH_LIMIT);
  if (length >= SOURCE_PATH_LIMIT) return 9;
  PackingRun run;
  char folder[SOURCE_PATH_LIMIT + 1];
  copyText(folder, sizeof folder, folderPath);
  if (length > 0 && !endsWithSeparator(folder)) appendText(folder, sizeof folder, "\\");
  char pattern[SOURCE_PATH_LIMIT + 8];
  formatText(pattern, sizeof pattern, "%s*.*", folder);

  WIN32_FIND_DATAA found;
  UniqueFind listing(FindFirstFileExA(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!listing) return addFolderEntry(archivePath, "", relativePath);

  size_t folderLength = strlen(folder);
  int result = 0;
  bool sawFolder = false;
  do {
    const char* name = found.cFileName;
    size_t full = folderLength + strlen(name);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!isDotEntry(name)) {
        sawFolder = true;
        char child[ARCHIVE_FOLDER_SIZE];
        if (full >= SOURCE_PATH_LIMIT || !childRelativePath(child, sizeof child, relativePath, name)) {
          result = 9;
        } else {
          char path[SOURCE_PATH_LIMIT];
          formatText(path, sizeof path, "%s%s", folder, name);
          addFolderEntry(archivePath, name, relativePath);  // a failure here does not stop the walk
          result = addFolderTree(archivePath, path, child);
        }
      }
    } else if (full >= SOURCE_PATH_LIMIT) {
      result = 9;
    } else {
      char path[SOURCE_PATH_LIMIT];
      formatText(path, sizeof path, "%s%s", folder, name);
      result = addFileEntry(archivePath, path, name, relativePath);
    }
    if (result == 0 && stopRequested()) result = 99;
  } while (result == 0 && FindNextFileA(listing.get(), &found));

  // A folder without sub-folders gets a folder-end entry, so that it is
  // recreated even when it holds nothing.
  if (!sawFolder) addFolderEntry(archivePath, "", relativePath);
  return result;
}

int buildArchive(const char* commandText) {
  size_t length = strlen(commandText);
  UniqueHeapText sources(static_cast<char*>(malloc(length + 2)));
  if (!sources) return PACK_NO_MEMORY;
  PackingRun run;
  static const char* const kOptions[] = {"S-i", "S-o", "N-x"};
  char archiveValue[OPTION_SLOT_SIZE] = "";
  char* const values[] = {nullptr, archiveValue, nullptr};  // "-i" has no effect
  parseOptionText(commandText, kOptions, 3, values, sources.get(), length + 2);

  char archivePath[OPTION_SLOT_SIZE];
  makeAbsolutePath(archivePath, archiveValue);
  if (archivePath[0] != '\0') DeleteFileA(archivePath);  // every job starts a fresh archive
  if (stopRequested()) return PACK_STOPPED;

  const char* cursor = sources.get();
  TextToken token;
  while (nextToken(&cursor, &token)) {
    char path[OPTION_SLOT_SIZE];
    // A token too long for any path can only fail.
    if (!trimmedToken(token, path)) return PACK_SOURCE_FAILED;
    // A path that ends with a separator (a drive root, say) names no file.
    if (path[0] == '\0' || endsWithSeparator(path)) {
      if (stopRequested()) return PACK_STOPPED;
      continue;
    }
    // Too long for the file calls: the lookup itself could not find it, so
    // the length is checked first and such a source is never dropped silently.
    if (strlen(path) >= SOURCE_PATH_LIMIT) return PACK_SOURCE_FAILED;
    WIN32_FIND_DATAA data;
    bool found;
    {
      UniqueFind lookup(FindFirstFileExA(path, FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
      found = lookup.valid();
    }
    if (found) {
      int result = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                       ? addFolderTree(archivePath, path, data.cFileName)
                       : addFileEntry(archivePath, path, data.cFileName, "");
      if (result != 0) return PACK_SOURCE_FAILED;
    }
    if (stopRequested()) return PACK_STOPPED;
  }
  return PACK_OK;
}
