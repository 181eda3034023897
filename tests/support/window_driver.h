// Finding and driving dialogs by window messages, from a helper thread of the
// same process or from another process.
#pragma once
#include <windows.h>
#include <string>

#include "common/ui_texts.h"

// Waits for a visible top-level window with this title (code page 932) that
// belongs to process pid (0: any process). Returns null on time-out.
HWND waitForWindow(const char* title, unsigned timeoutMs = 10000, DWORD pid = 0);
// The same for a title in either language of the program (a text of its table).
HWND waitForWindow(UiText title, unsigned timeoutMs, DWORD pid);
// Waits for a visible top-level window of process pid holding a control of
// this id: one of the program's dialogs in whichever language it speaks.
HWND waitForDialogWith(int controlId, unsigned timeoutMs, DWORD pid);
// Waits until the window is gone.
bool waitForWindowGone(HWND window, unsigned timeoutMs = 10000);
// Text of a control, of a window.
// (ANSI texts of code page 932, "?" for a character it lacks; the wide forms
// carry every character.)
std::string controlText(HWND dialog, int id);
std::wstring controlWideText(HWND dialog, int id);
std::string windowText(HWND window);
bool setControlText(HWND dialog, int id, const std::string& text);
bool setControlText(HWND dialog, int id, const std::wstring& text);
// Presses a button by posting the command its click would send.
void pressButton(HWND dialog, int id);
// Text of the static control of a message box (id 0xFFFF).
std::string messageBoxText(HWND box);
bool controlVisible(HWND dialog, int id);

// The shell's folder browser of process pid: a dialog whose label shows the
// program's title (TEXT_BROWSE_TITLE, in either language). Null on time-out.
HWND waitForFolderBrowser(DWORD pid, unsigned timeoutMs = 10000);
// Waits until the folder browser's own name box shows the last component of
// folder (it applies a preselected folder after it has appeared).
bool waitForBrowserSelection(HWND browser, const std::string& folder, unsigned timeoutMs = 10000);

// Runs a function on a helper thread, for driving the modal dialogs that the
// test's own thread opens; join() waits for it.
class DriverThread {
 public:
  template <typename F>
  explicit DriverThread(F f) : fn_(new F(f)), run_(&runThunk<F>), free_(&freeThunk<F>) {
    thread_ = CreateThread(nullptr, 0, entry, this, 0, nullptr);
  }
  ~DriverThread() { join(); free_(fn_); }
  void join() {
    if (thread_) {
      WaitForSingleObject(thread_, 60000);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
  }
  DriverThread(const DriverThread&) = delete;
  DriverThread& operator=(const DriverThread&) = delete;

 private:
  template <typename F> static void runThunk(void* f) { (*static_cast<F*>(f))(); }
  template <typename F> static void freeThunk(void* f) { delete static_cast<F*>(f); }
  static DWORD WINAPI entry(void* self) {
    DriverThread* t = static_cast<DriverThread*>(self);
    t->run_(t->fn_);
    return 0;
  }
  void* fn_;
  void (*run_)(void*);
  void (*free_)(void*);
  HANDLE thread_ = nullptr;
};
