// The platform's shell folder browser.
#include <windows.h>
#include <shlobj.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/wide_text.h"
#include "manager/dialogs/wizard_dialogs.h"

namespace {

// The folder browser is told its initial folder when it has been set up; some
// shells ignore that first request while they are still filling the tree, so
// it is repeated until the selection is that folder, for up to a minute and
// a half (filling the tree has taken longer than ten seconds on a busy
// machine). Once the selection is there, nothing more is sent.
struct BrowseState {
  wchar_t initial[MAX_PATH + 1];
  wchar_t current[MAX_PATH + 1];
  int retries;
};
BrowseState browseState;
enum { kReselectTimer = 0x4B59, kReselectPeriodMs = 150, kReselectTries = 600 };

bool atInitialFolder() {
  wchar_t current[MAX_PATH + 1];
  copyText(current, countOf(current), browseState.current);
  removeTrailingBackslash(current);
  wchar_t initial[MAX_PATH + 1];
  copyText(initial, countOf(initial), browseState.initial);
  removeTrailingBackslash(initial);
  return CompareStringOrdinal(current, -1, initial, -1, TRUE) == CSTR_EQUAL;
}

void CALLBACK reselect(HWND window, UINT, UINT_PTR id, DWORD) {
  if (atInitialFolder() || ++browseState.retries > kReselectTries) {
    KillTimer(window, id);
    return;
  }
  SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(browseState.initial));
}

int CALLBACK browseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) {
    SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    SetTimer(window, kReselectTimer, kReselectPeriodMs, reselect);
  } else if (message == BFFM_SELCHANGED) {
    if (!SHGetPathFromIDListW(reinterpret_cast<LPITEMIDLIST>(lParam), browseState.current))
      browseState.current[0] = 0;
  }
  return 0;
}

}  // namespace

int browseForFolder(HWND owner, const wchar_t* initialFolder, wchar_t* out, size_t cap) {
  // The new dialog style needs a single-threaded apartment on this thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  wchar_t display[MAX_PATH];
  wchar_t title[64];
  ansiToWide(uiText(TEXT_BROWSE_TITLE), title, countOf(title));
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = title;
  info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_SHAREABLE | BIF_RETURNONLYFSDIRS;
  info.lpfn = browseCallback;
  bool preselect = initialFolder && initialFolder[0] &&
                   copyText(browseState.initial, countOf(browseState.initial), initialFolder);
  browseState.current[0] = 0;
  browseState.retries = 0;
  info.lParam = reinterpret_cast<LPARAM>(preselect ? browseState.initial : nullptr);
  LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
  int result = DIALOG_CANCEL;
  if (chosen) {
    wchar_t path[MAX_PATH + 1];
    if (SHGetPathFromIDListW(chosen, path) && textLength(path) < cap) copyText(out, cap, path);
    CoTaskMemFree(chosen);
    result = DIALOG_OK;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
