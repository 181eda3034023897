// Names of the result of an encryption: proposed path, proposed file name and
// the extension rule. Byte-level code; paths are UTF-16 text, lengths count its units.
#pragma once
#include <stddef.h>

// Overwrites target with the last usable path of the list (tokens split at
// blanks outside double quotes; empty tokens and tokens that begin with "/" or
// "-" skipped; each trimmed of quotes); keeps target when there is none.
// Returns 0.
int lastSourcePath(const wchar_t* pathList, wchar_t* target, size_t cap);

// moduleDir + "暗号化ファイル.exe", replaced by the last usable source path,
// rebuilt as drive + folder + base name + ".exe".
void proposedResultPath(const wchar_t* moduleDir, const wchar_t* pathList, wchar_t* out, size_t cap);

// Base name of the proposed path followed by ".crpt", or the base name alone
// when it is longer than 230 characters.
void proposedFileName(const wchar_t* proposedPath, wchar_t* out, size_t cap);

// True when the path ends in ".exe", ".ex_" or ".kyvo" (ASCII case
// ignored).
bool hasResultExtension(const wchar_t* path);
// Copies path, appending extension (".exe" unless the save dialog's filter
// says otherwise) unless hasResultExtension. False (and out empty) when the
// result does not fit.
bool withResultExtension(const wchar_t* path, wchar_t* out, size_t cap, const wchar_t* extension = L".exe");
