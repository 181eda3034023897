// The question before a restored file replaces an existing one.
#pragma once
#include <windows.h>

#include "manager/archive/extractor.h"

// Shows the file with both sizes and times and returns the user's choice
// (main thread). Closing the dialog stops, like its stop button.
ReplaceAnswer askReplaceDialog(HWND owner, const ReplaceFacts& facts);

// The question as the job asks it; tests put their own answer here.
extern ReplaceAnswer (*askReplaceFunction)(HWND owner, const ReplaceFacts& facts);

// One side of the question: "<label>: <size> バイト　更新日時 <local time>".
void formatReplaceLine(char* out, size_t cap, const char* label, uint64_t size, uint64_t fileTime);
