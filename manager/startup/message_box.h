#pragma once
#include <windows.h>

// Default caption of every message ("手動暗号 " with one trailing blank).
extern const char kDefaultCaption[];

// Shows a message box: text cut safely to 1023 bytes, caption to 255 bytes; no
// text means an empty message, no caption the default caption. Blocks the
// calling thread until answered; callable from either thread.
int showMessage(HWND owner, const char* text, const char* caption, UINT flags);
