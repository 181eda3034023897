#include "support/window_driver.h"

#include <vector>

#include "common/text_util.h"
#include "support/test_files.h"

namespace {
struct FindState {
  const char* title;
  DWORD pid;
  HWND found;
  const char* otherTitle;
  int controlId;
};

BOOL CALLBACK findProc(HWND window, LPARAM param) {
  FindState* state = reinterpret_cast<FindState*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (state->pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != state->pid) return TRUE;
  }
  if (state->controlId) {
    if (!GetDlgItem(window, state->controlId)) return TRUE;
    state->found = window;
    return FALSE;
  }
  char text[512];
  GetWindowTextA(window, text, sizeof text);
  if (lstrcmpA(text, state->title) == 0 || (state->otherTitle && lstrcmpA(text, state->otherTitle) == 0)) {
    state->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND waitFor(FindState state, unsigned timeoutMs) {
  DWORD start = GetTickCount();
  do {
    state.found = nullptr;
    EnumWindows(findProc, reinterpret_cast<LPARAM>(&state));
    if (state.found) return state.found;
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

}  // namespace

HWND waitForWindow(const char* title, unsigned timeoutMs, DWORD pid) {
  return waitFor({title, pid, nullptr, nullptr, 0}, timeoutMs);
}

HWND waitForWindow(UiText title, unsigned timeoutMs, DWORD pid) {
  return waitFor({uiTextIn(UI_LANGUAGE_JAPANESE, title), pid, nullptr, uiTextIn(UI_LANGUAGE_ENGLISH, title), 0},
                 timeoutMs);
}

HWND waitForDialogWith(int controlId, unsigned timeoutMs, DWORD pid) {
  return waitFor({"", pid, nullptr, nullptr, controlId}, timeoutMs);
}

bool waitForWindowGone(HWND window, unsigned timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

std::string windowText(HWND window) {
  char text[2048];
  int n = GetWindowTextA(window, text, sizeof text);
  return std::string(text, n > 0 ? n : 0);
}

std::wstring controlWideText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return std::wstring();
  std::vector<wchar_t> text(32768);
  LRESULT n = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return std::wstring(text.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

std::string controlText(HWND dialog, int id) { return A(controlWideText(dialog, id)); }

bool setControlText(HWND dialog, int id, const std::wstring& text) {
  HWND control = GetDlgItem(dialog, id);
  return control && SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool setControlText(HWND dialog, int id, const std::string& text) { return setControlText(dialog, id, W(text)); }

void pressButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

std::string messageBoxText(HWND box) { return controlText(box, 0xFFFF); }

bool controlVisible(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE);
}

HWND waitForFolderBrowser(DWORD pid, unsigned timeoutMs) {
  DWORD start = GetTickCount();
  do {
    HWND w = nullptr;
    while ((w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner != pid || !IsWindowVisible(w)) continue;
      for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (windowText(c) == uiTextIn(UI_LANGUAGE_JAPANESE, TEXT_BROWSE_TITLE) ||
            windowText(c) == uiTextIn(UI_LANGUAGE_ENGLISH, TEXT_BROWSE_TITLE))
          return w;
    }
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

bool waitForBrowserSelection(HWND browser, const std::string& folder, unsigned timeoutMs) {
  std::string name = folder;
  if (endsWithSeparator(name.c_str())) name.pop_back();
  long cut = lastSeparatorIndex(name.c_str());
  if (cut >= 0) name = name.substr(static_cast<size_t>(cut) + 1);
  DWORD start = GetTickCount();
  do {
    if (controlText(browser, 0x3745) == name) return true;  // the browser's name box
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  fprintf(stderr, "the folder browser shows \"%s\", not \"%s\"\n", controlText(browser, 0x3745).c_str(), name.c_str());
  return false;
}
