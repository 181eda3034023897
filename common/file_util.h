// Small file and volume helpers shared by the packer and the operation log.
#pragma once
#include <windows.h>
#include <stddef.h>

// Share mode of every open of a file that the job holds open to have it
// deleted when the process ends (keepUntilClosed): an open that does not
// share delete access would be refused while it does.
enum : DWORD { WORKING_FILE_SHARE = FILE_SHARE_READ | FILE_SHARE_DELETE };

// Creates (or empties) a file that the job writes and reads by its name, and
// holds it with FILE_FLAG_DELETE_ON_CLOSE: the system deletes it when the
// handle closes, however the process ends, and until then it can still be
// opened by name (sharing delete access), which a WorkingFile's mark would
// not allow.
HANDLE keepUntilClosed(const wchar_t* path);

// Writes every byte or fails: a write that takes fewer bytes is continued, and
// one that takes none counts as a full disk (GetLastError() is then
// ERROR_DISK_FULL), so that callers can tell a full disk from other failures.
bool writeAll(HANDLE file, const void* data, size_t size);

// Reads until size bytes are in or the file ends (*got tells how many came).
// false when a read failed.
bool readUpTo(HANDLE file, void* buffer, size_t size, size_t* got);

// Opens path for writing (shared for reading, created if missing), appends the
// text without its terminator and closes the file. 0 on success, 1 on failure.
int appendToFile(const wchar_t* path, const char* text);

// Drive type of the volume that holds path, as GetDriveType reports it for the
// root of the path's drive; a path that begins with two backslashes (a network
// path) gives 4 without asking. When driveName is given it receives the drive
// as "X:" (empty for a network path or a path without a drive).
int driveTypeOfPath(const wchar_t* path, char* driveName, size_t driveNameCap);

// Loads a library of the system folder by its full path (never one of that
// name elsewhere); null when it cannot be loaded. It stays loaded unless the
// caller frees it.
HMODULE loadSystemLibrary(const wchar_t* name);

// Whether something (a file or a folder) of that name exists.
bool pathExists(const wchar_t* path);
