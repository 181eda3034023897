// Delivery of a finished result: a copy onto a removable drive, or, where no
// mail program took it, into a folder the user picks.
#pragma once
#include <stddef.h>

// Puts a copy of the file at sourcePath at targetPath: written as a working
// file beside the target, on the medium before it takes the name, and moved
// over an existing file only when complete, so a failure keeps whatever
// stood there. The source is left in place. Returns true on success.
bool deliverCopy(const wchar_t* sourcePath, const wchar_t* targetPath);

// The message for a failed copy to the media, both paths shortened (safely)
// so that the whole text fits in cap units (at most 1023).
void formatMediaCopyFailure(wchar_t* out, size_t cap, const wchar_t* sourcePath, const wchar_t* targetPath);

// Tells the user that no mail program took the result and offers to save it:
// the save-as dialog, proposed in the Documents folder under the result's
// name; a saved copy is shown in the file manager, selected. true, with the
// saved file's path in savedPath, when a copy was saved; false when the user
// declined. The result itself stays where it is.
bool saveInsteadOfMail(const wchar_t* resultPath, wchar_t* savedPath, size_t cap);
// What shows a saved file in the file manager; tests replace it.
extern void (*showSavedFile)(const wchar_t* path);
