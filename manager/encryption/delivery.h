// Delivery of a finished result to a removable drive.
#pragma once
#include <stddef.h>

// Puts the file at sourcePath onto the media at targetPath: it is copied under
// a temporary name beside the target first and moved over an existing file
// only when complete, so a failure keeps whatever stood there. The source is
// left in place. Returns true on success.
bool deliverToMedia(const wchar_t* sourcePath, const wchar_t* targetPath);

// The message for a failed copy to the media, both paths shortened (safely)
// so that the whole text fits in cap units (at most 1023).
void formatMediaCopyFailure(wchar_t* out, size_t cap, const wchar_t* sourcePath, const wchar_t* targetPath);
