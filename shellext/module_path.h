// Where the DLL lies and where the manager beside it is found. Pure text work
// on ANSI paths in code page 932: a byte 0x5C that is the second byte of a
// double-byte character is never a separator.
#pragma once
#include <stddef.h>

// Drive and directory of a file path, without a trailing backslash:
// "C:\dir\Kyvoshell.dll" gives "C:\dir", "C:\Kyvoshell.dll" gives "C:".
// False (and an empty out) if the result does not fit.
bool directoryOfPath(const char* path, char* out, size_t outSize);

// The manager's program path: the module directory, one backslash and
// "Kyvomar.exe". False (and an empty out) if the directory is empty or the
// result does not fit.
bool buildProgramPath(const char* moduleDirectory, char* out, size_t outSize);
