// Worker thread, progress window and stop protocol.
#pragma once
#include <windows.h>

// Clears the progress fields and starts the worker on the decryption job when
// decrypting is non-zero, else on the encryption job. Returns 0. If the thread
// can't be started, the user is told, the job's intermediate files and texts
// are removed and the process is asked to end; the result is then 1.
int startJobThread(int decrypting);

// Creates and shows the modeless progress window (owned by the main window).
// Returns 0, or 1 if it can't be created.
int openProgressWindow();

// Worker side: has the main thread close the progress window and waits for it.
int closeProgressWindow();

// Timer side: copies the progress into the window.
void refreshProgress();

// Formats the counter line of the progress window.
void formatProgressCounter(char* out, size_t cap, bool countOnly, long long done, long long total);

// Private message that the worker sends to have the window destroyed.
enum { WM_KYVO_CLOSE_PROGRESS = WM_APP + 1 };
