// The one form of the names this program gives its working files and
// folders: "~kyv", eight hex digits of a value that differs from attempt to
// attempt, and ".tmp", in the folder of the file it stands for.
#pragma once
#include <stddef.h>

enum { FRESH_PATH_SIZE = 260 };  // a fresh path is shorter than 260 units

// The name in the folder part of path (its first folderPartLength units);
// where the full form does not fit below 260 units, "~" and as many of the
// last hex digits as fit. false, with out empty, when not even one digit
// fits.
bool formFreshPath(const wchar_t* path, size_t folderPartLength, unsigned long value, wchar_t out[FRESH_PATH_SIZE]);

// Whether a name is the full form: "~kyv", eight lower-case hex digits,
// ".tmp".
bool isFreshName(const wchar_t* name);
