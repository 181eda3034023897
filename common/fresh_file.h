// Files and folders made under a fresh name: never one that exists already,
// which another program (or another copy of this one) may have put there.
// The one maker of such names; WorkingFile (working_file.h) creates its
// files through it.
#pragma once
#include <windows.h>
#include <stddef.h>

enum { FRESH_NAME_ATTEMPTS = 32 };

// Forms the name of one attempt from its value (they differ from attempt to
// attempt and from process to process); false when no name can be formed.
typedef bool (*FreshNameForm)(const void* context, unsigned long value, wchar_t* out, size_t cap);

// The program's own form (fresh_name.h) in a folder: the context is a
// FreshPlace.
struct FreshPlace {
  const wchar_t* path;       // a path in the folder, or the folder with its separator
  size_t folderPartLength;   // the units of path that name the folder, separator included
};
bool formFreshName(const void* place, unsigned long value, wchar_t* out, size_t cap);
// The place of a path's folder: all of it up to its last separator.
FreshPlace placeBeside(const wchar_t* path);

// Creates a new file (for reading, writing and deleting, shared for reading)
// under the first free name the form gives. INVALID_HANDLE_VALUE, with out
// empty, when no name was free or a creation failed for another reason (its
// error is kept).
HANDLE createFreshFile(FreshNameForm form, const void* context, DWORD attributes, wchar_t* out, size_t cap);

// The same for a folder; false when none could be made.
bool createFreshFolder(FreshNameForm form, const void* context, wchar_t* out, size_t cap);
