// Worker thread, progress window and stop protocol.
#pragma once
#include <windows.h>

// The body of a job, as the worker thread runs it: its steps, endJobSteps,
// then what follows once the progress window is gone (messages, delivery,
// the log).
typedef void (*JobBody)();

// Clears the progress fields and starts the worker on the job. Returns 0. If
// the thread can't be started, the user is told, the job's intermediate files
// and texts are removed and the process is asked to end; the result is then 1.
int startJobThread(JobBody job);

// The worker's whole run of a job on the calling thread: progress on, the
// body, and last the request to end the process. Every job ends here.
void runJob(JobBody job);

// Worker side, once a job's steps are done: the password is wiped, the
// progress is switched off and the main thread closes the progress window.
void endJobSteps();

// Creates and shows the modeless progress window (owned by the main window).
// Returns 0, or 1 if it can't be created.
int openProgressWindow();

// Worker side: has the main thread close the progress window and waits for it.
int closeProgressWindow();

// Worker side: has the main thread run call(context) and waits for it (a
// question to the user in the middle of a job, a dialog after it). Without a
// progress window or a main window (no main thread serving them) it runs
// here.
void runOnMainThread(void (*call)(void*), void* context);

// Timer side: copies the progress into the window.
void refreshProgress();

// Formats the counter line of the progress window.
void formatProgressCounter(char* out, size_t cap, bool countOnly, long long done, long long total);

// Private messages that the worker sends to have the window destroyed, or a
// call run on the main thread.
enum { WM_KYVO_CLOSE_PROGRESS = WM_APP + 1, WM_KYVO_RUN_ON_MAIN = WM_APP + 2 };
