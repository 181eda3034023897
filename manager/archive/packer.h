// Packs files and folders into an archive (see archive_format.h).
#pragma once

// Result codes of buildArchive.
enum PackResult { PACK_OK = 0, PACK_NO_MEMORY = 1, PACK_SOURCE_FAILED = 9, PACK_STOPPED = 99 };

// Packs the sources named in the command text ("<paths> -o \"<archive>\"") into
// the archive named after -o, writing one source-list line per file to
// jobState.sourceListPath.
int buildArchive(const char* commandText);

int addFileEntry(const char* archivePath, const char* sourcePath, const char* name, const char* folderPath);
int addFolderEntry(const char* archivePath, const char* name, const char* folderPath);
int addFolderTree(const char* archivePath, const char* folderPath, const char* relativePath);

// Completes a drive-less path from jobState.moduleDir (quotes trimmed). Returns 1
// without output when the path is longer than 2048 bytes, else 0. out holds
// 2049 bytes.
int makeAbsolutePath(char* out, const char* path);
