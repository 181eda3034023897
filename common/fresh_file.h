// Files and folders made under a fresh name: never one that exists already,
// which another program (or another copy of this one) may have put there.
#pragma once
#include <windows.h>
#include <stddef.h>

enum { FRESH_NAME_ATTEMPTS = 32 };

// Forms the name of one attempt from its value (they differ from attempt to
// attempt and from process to process); false when no name can be formed.
typedef bool (*FreshNameForm)(const void* context, unsigned long value, wchar_t* out, size_t cap);

// Creates a new file for writing and deleting (shared for reading) under the first free
// name the form gives. INVALID_HANDLE_VALUE, with out empty, when no name
// was free or a creation failed for another reason (its error is kept).
HANDLE createFreshFile(FreshNameForm form, const void* context, DWORD attributes, wchar_t* out, size_t cap);

// The same for a folder; false when none could be made.
bool createFreshFolder(FreshNameForm form, const void* context, wchar_t* out, size_t cap);
