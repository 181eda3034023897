// Where the DLL lies and where the manager beside it is found. Pure text work
// on the platform's UTF-16 paths, so that a folder of any name serves.
#pragma once
#include <stddef.h>

// Drive and directory of a file path, without a trailing backslash:
// "C:\dir\Kyvoshell.dll" gives "C:\dir", "C:\Kyvoshell.dll" gives "C:".
// False (and an empty out) if the result does not fit.
bool directoryOfPath(const wchar_t* path, wchar_t* out, size_t outSize);

// The manager's program path: the module directory, one backslash and
// "Kyvomar.exe". False (and an empty out) if the directory is empty or the
// result does not fit.
bool buildProgramPath(const wchar_t* moduleDirectory, wchar_t* out, size_t outSize);

// Characters buildProgramPath needs for a directory of this length, with the
// terminator.
inline size_t programPathSize(size_t directoryLength) { return directoryLength + 1 + 11 + 1; }
