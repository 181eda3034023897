// Packs files and folders into an archive (see archive_format.h).
#pragma once

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
  PACK_STOPPED = 99,
};

// What stopped a packing run: the code and the item (for a clash, both items).
struct PackProblem {
  int code;
  wchar_t item[2049];
  wchar_t otherItem[2049];
};

// Packs the sources named in the command text ("<paths> -o \"<archive>\"") into
// the archive named after -o, writing one source-list line per file to
// jobState.sourceListPath. Every source is packed whole, or the run stops with
// a code above and problem (when given) names the item. The top-level names
// must differ (regardless of case), or nothing is packed.
int buildArchive(const wchar_t* commandText, PackProblem* problem = nullptr);

// The entry steps; their own result codes (2 to 22, 99) are those of the
// archive format's packer. A failure is also noted for the run's problem.
int addFileEntry(const wchar_t* archivePath, const wchar_t* sourcePath, const wchar_t* name,
                 const wchar_t* folderPath);
int addFolderEntry(const wchar_t* archivePath, const wchar_t* name, const wchar_t* folderPath);
int addFolderTree(const wchar_t* archivePath, const wchar_t* folderPath, const wchar_t* relativePath);

// Completes a drive-less path from jobState.moduleDir (quotes trimmed). Returns 1
// without output when the path is longer than 2048 characters, else 0. out
// holds 2049 characters.
int makeAbsolutePath(wchar_t* out, const wchar_t* path);
