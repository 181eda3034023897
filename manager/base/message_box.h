#pragma once
#include <windows.h>

// What raises a message box: MessageBoxW, which tests replace to see what the
// user would have been shown. Returns the button pressed.
typedef int (*MessageBoxFunction)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
extern MessageBoxFunction messageBoxFunction;
int platformMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// Shows a message box: text cut safely to 1023 units, caption to 255; no text
// means an empty message, no caption the default caption (TEXT_CAPTION).
// Blocks the calling thread until answered; callable from either thread. A
// message that names a file is UTF-16, so that the name reads as it is.
int showMessage(HWND owner, const char* text, const char* caption, UINT flags);
int showMessage(HWND owner, const wchar_t* text, const char* caption, UINT flags);

// Formats a message of the program (the format in code page 932) around one
// or two paths: each "%s" of the format takes the next path. The result is cut
// safely to 1023 units; paths too long for their share end in "...".
void formatPathMessage(wchar_t* out, size_t cap, const char* format, const wchar_t* path,
                       const wchar_t* secondPath = nullptr);

// The general failure message of a job: its format (one "%d") around the
// code, into buffer; returns buffer.
const char* codeMessage(char* buffer, size_t cap, const char* format, int code);
