// Threads of a job.
//
// Two threads share the job record. The main thread runs the wizard's modal
// dialogs, the modeless progress window and the 100 ms timer that copies the
// progress fields into that window. The one worker thread runs the job's
// steps, which store numbers and text in the record and poll stopCode between
// blocks. While the progress window is open, the worker shows nothing itself:
// a question to the user (may a restored file replace one of its name?) goes
// through runOnMainThread, and the progress window is closed by a private
// message; the main thread handles both while the worker waits. Without a
// progress window (it could not be created) runOnMainThread asks on the
// worker itself. Once its steps are done and the progress window is gone, the
// worker shows the job's closing message itself (a message box owned by no
// window) and delivers the result, the mail program's dialogs included.
// Cancel in the progress window sets stopCode to 999; the worker sets
// quitRequested at the very end, and the next timer tick ends the message
// loop.
#include "manager/base/job_control.h"

#include <process.h>
#include <stdio.h>
#include <stdlib.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "manager/resources/resource.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"
#include "manager/base/modal_dialog.h"

void runJob(JobBody job) {
  jobState.countOnly = 0;
  jobState.progressActive = 1;
  job();
  jobState.quitRequested = 1;
}

void endJobSteps() {
  clearJobPassword();
  jobState.progressActive = 0;
  closeProgressWindow();
}

static unsigned __stdcall workerEntry(void* job) {
  runJob(reinterpret_cast<JobBody>(job));
  return 0;
}

int startJobThread(JobBody job) {
  SecureZeroMemory(jobState.statusText, sizeof jobState.statusText);
  jobState.stopCode = 0;
  progressStore(&jobState.progressTotal, 0);
  progressStore(&jobState.progressDone, 0);
  unsigned id = 0;
  uintptr_t thread = _beginthreadex(nullptr, 0, workerEntry, reinterpret_cast<void*>(job), 0, &id);
  if (thread != 0) {
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return 0;
  }
  // Nothing would ever end the process: say so, clean up and end.
  if (jobState.progressWindow) {
    DestroyWindow(jobState.progressWindow);
    jobState.progressWindow = nullptr;
  }
  showMessage(jobState.mainWindow, uiText(TEXT_JOB_NOT_STARTED), nullptr,
              MB_OK | MB_ICONEXCLAMATION);
  if (jobState.sourceListPath[0]) DeleteFileW(jobState.sourceListPath);
  free(jobState.packCommand);
  jobState.packCommand = nullptr;
  clearJobPassword();
  jobState.quitRequested = 1;
  return 1;
}

static INT_PTR CALLBACK progressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) return TRUE;
      if (LOWORD(wParam) == IDCANCEL) {
        jobState.stopCode = STOP_REQUESTED;
        ShowWindow(window, SW_HIDE);
        return TRUE;
      }
      InvalidateRect(window, nullptr, TRUE);
      return TRUE;
    case WM_CLOSE:
      jobState.stopCode = STOP_REQUESTED;
      ShowWindow(window, SW_HIDE);
      return TRUE;
    case WM_KYVO_CLOSE_PROGRESS:
      DestroyWindow(window);
      return TRUE;
    case WM_KYVO_RUN_ON_MAIN:
      reinterpret_cast<void (*)(void*)>(wParam)(reinterpret_cast<void*>(lParam));
      return TRUE;
  }
  return FALSE;
}

void runOnMainThread(void (*call)(void*), void* context) {
  // The progress window while it stands, else the main window; both run
  // the call on the main thread.
  HWND window = jobState.progressWindow ? jobState.progressWindow : jobState.mainWindow;
  if (window)
    SendMessageW(window, WM_KYVO_RUN_ON_MAIN, reinterpret_cast<WPARAM>(call), reinterpret_cast<LPARAM>(context));
  else
    call(context);
}

int openProgressWindow() {
  const DLGTEMPLATE* dialog = dialogTemplate(IDD_PROGRESS);
  HWND window = dialog ? CreateDialogIndirectParamW(jobState.appInstance, dialog, jobState.mainWindow, progressProc, 0)
                       : nullptr;
  if (window == nullptr) return 1;
  jobState.progressWindow = window;
  ShowWindow(window, SW_SHOW);
  return 0;
}

int closeProgressWindow() {
  HWND window = jobState.progressWindow;
  if (window) SendMessageW(window, WM_KYVO_CLOSE_PROGRESS, 0, 0);
  jobState.progressWindow = nullptr;
  return 0;
}

void formatProgressCounter(char* out, size_t cap, bool countOnly, long long done, long long total) {
  if (countOnly)
    formatText(out, cap, "%I64d", done);
  else
    formatText(out, cap, "%I64d / %I64d", done, total);
}

void refreshProgress() {
  HWND window = jobState.progressWindow;
  if (window == nullptr) return;
  wchar_t status[countOf(jobState.statusText)];
  copyText(status, countOf(status), jobState.statusText);
  SetDlgItemTextW(window, IDC_PROGRESS_STATUS, status);
  char counter[1024];
  formatProgressCounter(counter, sizeof counter, jobState.countOnly == 1,
                        progressLoad(&jobState.progressDone), progressLoad(&jobState.progressTotal));
  SetDlgItemTextA(window, IDC_PROGRESS_COUNTER, counter);
  InvalidateRect(window, nullptr, TRUE);
}
