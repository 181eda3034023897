// Small file and volume helpers shared by the packer and the operation log.
#pragma once
#include <windows.h>
#include <stddef.h>

// Writes every byte or fails: a write that takes fewer bytes is continued, and
// one that takes none counts as a full disk (GetLastError() is then
// ERROR_DISK_FULL), so that callers can tell a full disk from other failures.
bool writeAll(HANDLE file, const void* data, size_t size);

// Opens path for writing (shared for reading, created if missing), appends the
// text without its terminator and closes the file. 0 on success, 1 on failure.
int appendToFile(const wchar_t* path, const char* text);

// Drive type of the volume that holds path, as GetDriveType reports it for the
// root of the path's drive; a path that begins with two backslashes (a network
// path) gives 4 without asking. When driveName is given it receives the drive
// as "X:" (empty for a network path or a path without a drive).
int driveTypeOfPath(const wchar_t* path, char* driveName, size_t driveNameCap);

// Whether something (a file or a folder) of that name exists.
bool pathExists(const wchar_t* path);
