// The packer's entry writer: one file or folder entry after the last one of
// the run's archive, each file's data compressed block by block. While earlier
// chunks of a file are being compressed (compress_pool.h) its next chunks
// are read ahead, but the blocks are written strictly in order.
#include <windows.h>
#include <string.h>

#include "common/text_util.h"
#include "common/wide_text.h"
#include "manager/archive/block_codec.h"
#include "manager/archive/packing_run.h"
#include "manager/archive/utf8_text.h"

namespace {

// Notes an archive that could not be written and passes the step's code on.
EntryResult archiveFailure(EntryResult code) { return noteProblem(code, PACK_ARCHIVE_UNWRITABLE, L""); }

uint64_t fileTimeValue(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Puts an entry's name and folder path into its header as the archive holds
// them. Names that the ANSI code page holds exactly (never by a look-alike)
// are written in it, as every archive before Unicode entries was; any other
// entry is a Unicode entry, its name and folder path in UTF-8. A name is
// never cut: one too long for its field is refused, and so is one that
// holds half a surrogate pair, which names no character.
EntryResult putEntryNames(ArchiveEntryHeader* header, const wchar_t* name, const wchar_t* folderPath) {
  // Room for any name and folder path the walk can produce (below 260 units
  // each, at most three bytes a unit), so that a text too long for its field
  // is told apart from one that does not convert.
  enum { ROOM = SOURCE_PATH_LIMIT * 3 + 8 };
  char encodedName[ROOM], encodedFolder[ROOM];
  if (textLength(name) >= SOURCE_PATH_LIMIT || textLength(folderPath) >= SOURCE_PATH_LIMIT)
    return ENTRY_PATH_TOO_LONG;
  header->nameEncoding = ARCHIVE_NAMES_ANSI;
  if (!wideToAnsiExact(name, encodedName, ROOM) || !wideToAnsiExact(folderPath, encodedFolder, ROOM)) {
    header->nameEncoding = ARCHIVE_NAMES_UTF8;
    if (!utf8FromWide(name, encodedName, ROOM) || !utf8FromWide(folderPath, encodedFolder, ROOM))
      return ENTRY_NOT_STORABLE;
  }
  if (strlen(encodedName) >= ARCHIVE_NAME_SIZE || strlen(encodedFolder) >= ARCHIVE_FOLDER_SIZE)
    return ENTRY_PATH_TOO_LONG;
  copyText(header->name, sizeof header->name, encodedName);
  copyText(header->folderPath, sizeof header->folderPath, encodedFolder);
  return ENTRY_OK;
}

// What has been written of one entry's data area.
struct EntryData {
  uint64_t stored;    // bytes of the blocks written
  uint32_t checksum;  // unsigned-byte sum of those bytes
};

// Writes one compressed chunk as a block and counts it in the entry and in
// the progress; the stop request is looked at after every block.
EntryResult writeBlock(ArchiveSink* archive, const CompressSlot* block, EntryData* data) {
  if (block->result != BLOCK_OK) return ENTRY_COMPRESS;
  data->checksum = addDataChecksum(data->checksum, block->frame, block->frameSize);
  if (!archive->write(block->frame, block->frameSize)) return ENTRY_BLOCK_WRITE;
  data->stored += block->frameSize;
  runProgress().advance(static_cast<int64_t>(block->frameSize));
  if (runProgress().stopRequested()) return ENTRY_STOPPED;
  return ENTRY_OK;
}

// Reads the source in chunks until a read returns no bytes and writes one
// block per chunk. A failed read counts only once every block before it is
// written: the archive and the result are those of a plain read, compress,
// write loop. Whatever the outcome, no chunk is left being compressed on
// return. *readError receives the error of a failed read.
EntryResult writeBlocks(HANDLE source, ArchiveSink* archive, bool threaded, EntryData* data, DWORD* readError) {
  beginFileChunks(threaded);
  bool sourceEnded = false, readFailed = false;
  EntryResult result = ENTRY_OK;
  while (result == ENTRY_OK) {
    CompressSlot* slot;
    while (!sourceEnded && (slot = freeChunkSlot()) != nullptr) {
      DWORD got = 0;
      readFailed = !readSourceChunk(source, slot->chunk, &got);
      if (readFailed) *readError = GetLastError();
      if (readFailed || got == 0) sourceEnded = true;
      else submitChunk(slot, got);
    }
    CompressSlot* block = nextCompressedChunk();
    if (!block) {
      if (readFailed) result = ENTRY_SOURCE_READ;
      break;
    }
    result = writeBlock(archive, block, data);
    releaseChunkSlot(block);
  }
  endFileChunks();
  return result;
}

// One file entry from its loaded source (which it takes). A file that ended
// within its first chunk is written with its final header at once; a longer
// one gets a provisional header, completed once its blocks are written.
EntryResult packFile(const wchar_t* sourcePath, const wchar_t* name, const wchar_t* folderPath,
                     SourceTask* loaded) {
  if (loaded->openError != 0) return noteProblem(ENTRY_SOURCE_INFO, sourceProblemOf(loaded->openError), sourcePath);
  UniqueFile source(loaded->file);
  loaded->file = INVALID_HANDLE_VALUE;
  ArchiveEntryHeader header;
  clearArchiveHeader(&header);
  header.compressedFlag = 1;
  header.creationTime = fileTimeValue(loaded->created);
  header.lastAccessTime = fileTimeValue(loaded->accessed);
  header.lastWriteTime = fileTimeValue(loaded->written);
  header.formatTag = ARCHIVE_FILE_FORMAT_TAG;
  header.storedLength = loaded->size;
  header.entrySpan = loaded->size + ARCHIVE_HEADER_SIZE;
  EntryResult named = putEntryNames(&header, name, folderPath);
  if (named != ENTRY_OK) return noteProblem(named, packProblemOf(named), sourcePath);

  ArchiveSink* archive = packRun.setup.sink;
  const CompressSlot& first = loaded->first;
  bool whole = loaded->ended && !loaded->readFailed && first.result == BLOCK_OK;
  EntryData data = {0, 0};
  if (whole && first.chunkSize > 0) {
    data.stored = first.frameSize;
    data.checksum = addDataChecksum(0, first.frame, first.frameSize);
  }
  unsigned char* headerBytes = packRun.headerBytes;
  header.storedLength = whole ? data.stored : loaded->size;
  header.dataChecksum = data.checksum;
  encodeArchiveHeader(&header, headerBytes);  // unless whole, provisional: header checksum 0
  if (whole) sealArchiveHeader(headerBytes);
  if (!(whole ? archive->write(headerBytes, ARCHIVE_HEADER_SIZE) : archive->holdEntry(headerBytes)))
    return archiveFailure(ENTRY_HEADER_WRITE);

  runProgress().status(name);
  runProgress().total(static_cast<int64_t>(loaded->size));
  runProgress().done(0);
  EntryData written = {0, 0};
  DWORD readError = loaded->readError;
  EntryResult result = loaded->readFailed ? ENTRY_SOURCE_READ : ENTRY_OK;
  if (result == ENTRY_OK && first.chunkSize > 0) result = writeBlock(archive, &first, &written);
  if (result == ENTRY_OK && !loaded->ended)
    result = writeBlocks(source.get(), archive, loaded->size > ARCHIVE_CHUNK_SIZE, &written, &readError);
  switch (result) {
    case ENTRY_OK:
      break;
    case ENTRY_SOURCE_READ:
      return noteProblem(result, readError == ERROR_LOCK_VIOLATION ? PACK_IN_USE : PACK_UNREADABLE, sourcePath);
    case ENTRY_BLOCK_WRITE:
      return archiveFailure(result);
    case ENTRY_COMPRESS:
      return noteProblem(result, PACK_COMPRESS_FAILED, sourcePath);
    default:
      return noteProblem(result, PACK_STOPPED, sourcePath);
  }
  if (whole) return ENTRY_OK;

  header.storedLength = written.stored;
  header.dataChecksum = written.checksum;
  encodeArchiveHeader(&header, headerBytes);
  sealArchiveHeader(headerBytes);
  if (!archive->completeEntry(headerBytes)) return archiveFailure(ENTRY_FINAL_HEADER_WRITE);
  return ENTRY_OK;
}

}  // namespace

EntryResult packSourceFile(const wchar_t* sourcePath, const wchar_t* name, const wchar_t* folderPath,
                           SourceTask* task) {
  if (task) awaitSource(task);
  else task = loadSource(sourcePath);
  EntryResult result = packFile(sourcePath, name, folderPath, task);
  releaseSource(task);
  if (packRun.setup.fileTried) packRun.setup.fileTried(packRun.setup.context, sourcePath);
  return result;
}

EntryResult addFolderEntry(const PackSetup& setup, const wchar_t* name, const wchar_t* folderPath) {
  PackingRun run(setup);
  ArchiveEntryHeader header;
  clearArchiveHeader(&header);
  header.folderFlag = 1;
  EntryResult named = putEntryNames(&header, name, folderPath);
  if (named != ENTRY_OK) return named;  // the caller names the folder
  encodeArchiveHeader(&header, packRun.headerBytes);
  sealArchiveHeader(packRun.headerBytes);
  if (!packRun.setup.sink->write(packRun.headerBytes, ARCHIVE_HEADER_SIZE)) return archiveFailure(FOLDER_HEADER_WRITE);
  return ENTRY_OK;
}
