// Entry of Kyvomar: an invisible main window with a 100 ms timer, one wizard
// chosen by the command line, then the message loop until the job or the
// wizard asks the process to end.
#include <windows.h>
#include <commctrl.h>

#include "common/command_line.h"
#include "manager/resources/resource.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "manager/startup/startup.h"

enum { kTimerId = 1, kTimerPeriodMs = 100 };

static INT_PTR CALLBACK aboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

static LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (jobState.progressActive == 1) refreshProgress();
      if (jobState.quitRequested) PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDM_ABOUT) {
        DialogBoxParamA(jobState.appInstance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, aboutProc, 0);
        return 0;
      }
      if (LOWORD(wParam) == IDM_EXIT) {
        DestroyWindow(window);
        return 0;
      }
      break;
    case WM_KYVO_RUN_ON_MAIN:  // the worker's call, once the progress window is gone
      reinterpret_cast<void (*)(void*)>(wParam)(reinterpret_cast<void*>(lParam));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A result file is started from wherever it was saved, often a downloads
// folder beside anything else that was downloaded. So before any dialog or
// control can load a library on demand, libraries are looked up in the
// system folder only: a DLL of a system name beside the program is never
// loaded. (Looked up by name, so that a system without the call still starts.)
static void loadLibrariesFromTheSystemFolderOnly() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  SetDefaultDllDirectoriesCall call = kernel ? reinterpret_cast<SetDefaultDllDirectoriesCall>(
                                                   reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                             : nullptr;
  if (call) call(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The common controls come from the system (the program's manifest asks for
// version 6), loaded only now rather than imported, so that the loader never
// looks for them beside the program.
static void initCommonControls() {
  typedef BOOL(WINAPI * InitCall)(const INITCOMMONCONTROLSEX*);
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  InitCall init = controls ? reinterpret_cast<InitCall>(
                                 reinterpret_cast<void (*)()>(GetProcAddress(controls, "InitCommonControlsEx")))
                           : nullptr;
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_STANDARD_CLASSES};
  if (init) init(&classes);  // the library stays loaded for the dialogs
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  loadLibrariesFromTheSystemFolderOnly();
  initCommonControls();

  char title[100], className[100];
  if (!LoadStringA(instance, IDS_APP_TITLE, title, sizeof title)) lstrcpyA(title, "Kyvomar");
  if (!LoadStringA(instance, IDS_WINDOW_CLASS, className, sizeof className)) lstrcpyA(className, "Kyvomar");
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = mainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KYVOMAR));
  wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINFRAME);
  wc.lpszClassName = className;
  RegisterClassExA(&wc);

  resetJobState();
  jobState.appInstance = instance;
  initModulePaths();

  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 540, 434,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  jobState.mainWindow = window;
  // Only the timer ends the message loop; without it the process could never end.
  if (SetTimer(window, kTimerId, kTimerPeriodMs, nullptr) == 0) return 0;
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));

  // The command line as typed: the runtime's narrow copy takes bytes of 0x80
  // and above in the program name for blanks and cannot hold every name.
  dispatchCommandLine(commandLineArguments(GetCommandLineW()));

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (accelerators && TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) continue;
    if (jobState.progressWindow && IsDialogMessageA(jobState.progressWindow, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
