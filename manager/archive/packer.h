// Packs files and folders into an archive (see archive_format.h).
#pragma once

#include <stddef.h>

#include "common/progress.h"

// Result codes of buildArchive. Each failure names the item concerned in the
// caller's PackProblem, so that the job can say which file stopped it and why.
enum PackResult {
  PACK_OK = 0,
  PACK_NO_MEMORY = 1,
  PACK_SOURCE_FAILED = 9,       // a path too long for the file calls
  PACK_NOT_FOUND = 12,          // a selected item, or a file or folder in it, does not exist
  PACK_UNREADABLE = 13,         // a folder cannot be listed, a file cannot be opened or read
  PACK_IN_USE = 14,             // a file is held by another program
  PACK_NOT_STORABLE = 15,       // a name that is no text (half a surrogate pair)
  PACK_COMPRESS_FAILED = 16,
  PACK_NAME_CLASH = 17,         // two selected items of one name at the top level
  PACK_ARCHIVE_UNWRITABLE = 18, // the archive cannot be written (a full disk among others)
  PACK_DRIVE_ROOT = 19,         // a selected drive root, which has no name of its own
  PACK_STOPPED = RESULT_STOPPED,
};

// Result codes of the entry steps (addFolderEntry, addFolderTree, and the
// file entries of the walk).
enum EntryResult {
  ENTRY_OK = 0,
  ENTRY_HEADER_WRITE = 4,         // the (provisional) header cannot be written
  ENTRY_SOURCE_READ = 6,          // reading the source failed
  ENTRY_BLOCK_WRITE = 7,          // a block cannot be written
  ENTRY_PATH_TOO_LONG = 9,        // a path or a name too long for its field
  ENTRY_FINAL_HEADER_WRITE = 10,
  ENTRY_SOURCE_INFO = 11,         // the source cannot be opened, or its times or size read
  ENTRY_NOT_STORABLE = 15,        // a name that is no text
  ENTRY_COMPRESS = 16,
  FOLDER_HEADER_WRITE = 22,       // a folder entry's header cannot be written
  ENTRY_STOPPED = RESULT_STOPPED,
};

// What stopped a packing run: the code and the item (for a clash, both items).
struct PackProblem {
  PackResult code;
  wchar_t item[2049];
  wchar_t otherItem[2049];
};

// Where a packing run's archive goes (in a job, the result being written):
// the archive's bytes in order. An entry whose header is final only after its
// data is held: its provisional header goes to holdEntry, its data to write,
// and completeEntry gives the final header, which stands before that data in
// the archive. false from any of them: the archive can't be written.
class ArchiveSink {
 public:
  virtual bool write(const void* data, size_t size) = 0;
  virtual bool holdEntry(const unsigned char* provisionalHeader) = 0;
  virtual bool completeEntry(const unsigned char* header) = 0;

 protected:
  ~ArchiveSink() = default;
};

// What a packing run takes from its caller besides the selection.
struct PackSetup {
  const Progress* progress;    // status line, bytes of the current file, stop request
  // Told of every file the walk tries to pack, whatever the outcome (not of
  // one refused at once for a path too long); may be null.
  void (*fileTried)(void* context, const wchar_t* sourcePath);
  void* context;
  ArchiveSink* sink;           // where the archive goes
  // The job's own files (the result, its working files), which may lie in a
  // selected folder while it is packed: never taken for part of it. Ends
  // with a null; may be null.
  const wchar_t* const* ownFiles;
};

// Packs the selected items (the paths of the selection text, separated by
// blanks, quoted where they hold one) into the setup's sink. Every item is
// packed whole, or the run stops with a code above and problem (when given)
// names the item. The top-level names must differ (regardless of case), or
// nothing is packed.
PackResult buildArchive(const wchar_t* selection, const PackSetup& setup, PackProblem* problem = nullptr);

// The entry steps of a folder. A failure is also noted for the run's problem.
EntryResult addFolderEntry(const PackSetup& setup, const wchar_t* name, const wchar_t* folderPath);
EntryResult addFolderTree(const PackSetup& setup, const wchar_t* folderPath, const wchar_t* relativePath);
