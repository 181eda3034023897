#pragma once

enum ProbeResult { PROBE_OK = 0, PROBE_NO_FREE_NAME = 3, PROBE_NOT_WRITABLE = 4 };

// Checks that a folder can be written: creates a working file with a unique
// name in it and writes content into it; the file goes with its handle.
// Nothing else in the folder is touched. A trailing backslash on the folder
// is ignored. When every name tried exists the result is 3; a file that
// can't be created or written gives 4.
int probeFolder(const wchar_t* folder, const char* content);

// The folder part of a file path (drive and folder, no trailing backslash
// except for a drive root such as "C:\").
void folderOfPath(const wchar_t* path, wchar_t* out, unsigned cap);
