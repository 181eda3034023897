// Small file and volume helpers shared by the packer and the operation log.
#pragma once
#include <stddef.h>

// Opens path for writing (shared for reading, created if missing), appends the
// text without its terminator and closes the file. 0 on success, 1 on failure.
int appendToFile(const char* path, const char* text);

// Drive type of the volume that holds path, as GetDriveTypeA reports it for the
// root of the path's drive; a path that begins with two backslashes (a network
// path) gives 4 without asking. When driveName is given it receives the drive
// as "X:" (empty for a network path or a path without a drive).
int driveTypeOfPath(const char* path, char* driveName, size_t driveNameCap);
