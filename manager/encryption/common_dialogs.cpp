// The platform's save-file dialog for the result, and its shell folder browser.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <string.h>

#include "manager/encryption/result_names.h"
#include "manager/encryption/wizard_dialogs.h"
#include "manager/startup/job_state.h"
#include "manager/startup/text_util.h"

int askSaveAsPath(WizardContext* context) {
  PathParts parts;
  splitPath(context->proposedPath, &parts);
  char initialFolder[2049];
  if (parts.ext[0] == '\0')
    formatText(initialFolder, sizeof initialFolder, "%s%s%s", parts.drive, parts.dir, parts.name);
  else
    formatText(initialFolder, sizeof initialFolder, "%s%s", parts.drive, parts.dir);
  char file[2048];
  char title[2048] = "";
  bool fits = formatText(file, sizeof file, "%s%s%s", parts.drive, parts.dir,
                         context->fileName ? context->fileName : "");
  if (!fits || strlen(file) >= 260) return SAVE_AS_PATH_TOO_LONG;

  static const char kFilter[] =
      "実行形式(*.exe)\0*.exe\0実行仮形式(*.ex_)\0*.ex_\0全て(*.*)\0*.*\0";
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = jobState.mainWindow;
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = sizeof title;
  ofn.lpstrInitialDir = initialFolder[0] ? initialFolder : nullptr;
  ofn.lpstrTitle = "暗号化されたファイルを保存します";
  // No change of the current folder: relative sources are resolved against it.
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&ofn)) return 0;
  char chosen[2049];
  if (!withResultExtension(file, chosen, sizeof chosen)) return 0;
  if (!setContextText(&context->chosenPath, chosen)) return 0;
  return 1;
}

namespace {

// The folder browser is told its initial folder when it has been set up; some
// shells ignore that first request while they are still filling the tree, so
// it is repeated a few times until the selection is that folder.
struct BrowseState {
  char initial[MAX_PATH + 1];
  char current[MAX_PATH + 1];
  int retries;
};
BrowseState browseState;
enum { kReselectTimer = 0x4B59, kReselectPeriodMs = 150, kReselectTries = 12 };

bool atInitialFolder() {
  char current[MAX_PATH + 1];
  copyText(current, sizeof current, browseState.current);
  removeTrailingBackslash(current);
  char initial[MAX_PATH + 1];
  copyText(initial, sizeof initial, browseState.initial);
  removeTrailingBackslash(initial);
  return equalsIgnoreAsciiCase(current, initial);
}

void CALLBACK reselect(HWND window, UINT, UINT_PTR id, DWORD) {
  if (atInitialFolder() || ++browseState.retries > kReselectTries) {
    KillTimer(window, id);
    return;
  }
  SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(browseState.initial));
}

int CALLBACK browseCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) {
    SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
    SetTimer(window, kReselectTimer, kReselectPeriodMs, reselect);
  } else if (message == BFFM_SELCHANGED) {
    if (!SHGetPathFromIDListA(reinterpret_cast<LPITEMIDLIST>(lParam), browseState.current))
      browseState.current[0] = '\0';
  }
  return 0;
}

}  // namespace

int browseForFolder(HWND owner, const char* initialFolder, char* out, size_t cap) {
  // The new dialog style needs a single-threaded apartment on this thread.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  char display[MAX_PATH];
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = display;
  info.lpszTitle = "フォルダを選択してください";
  info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_SHAREABLE | BIF_RETURNONLYFSDIRS;
  info.lpfn = browseCallback;
  bool preselect = initialFolder && initialFolder[0] &&
                   copyText(browseState.initial, sizeof browseState.initial, initialFolder);
  browseState.current[0] = '\0';
  browseState.retries = 0;
  info.lParam = reinterpret_cast<LPARAM>(preselect ? browseState.initial : nullptr);
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  int result = DIALOG_CANCEL;
  if (chosen) {
    char path[MAX_PATH + 1];
    if (SHGetPathFromIDListA(chosen, path) && strlen(path) < cap) copyText(out, cap, path);
    CoTaskMemFree(chosen);
    result = DIALOG_OK;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
