// The platform's save-file dialog for the result, and its shell folder browser.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <string.h>

#include "common/text_util.h"
#include "common/wide_text.h"
#include "manager/encryption/result_names.h"
#include "manager/encryption/wizard_dialogs.h"
#include "manager/startup/job_state.h"

int askSaveAsPath(WizardContext* context) {
  WidePathParts parts;
  splitPath(context->proposedPath, &parts);
  wchar_t initialFolder[2049];
  if (parts.ext[0] == 0)
    formatText(initialFolder, countOf(initialFolder), L"%ls%ls%ls", parts.drive, parts.dir, parts.name);
  else
    formatText(initialFolder, countOf(initialFolder), L"%ls%ls", parts.drive, parts.dir);
  wchar_t file[2048];
  wchar_t title[2048] = L"";
  bool fits = formatText(file, countOf(file), L"%ls%ls%ls", parts.drive, parts.dir,
                         context->fileName ? context->fileName : L"");
  if (!fits || textLength(file) >= 260) return SAVE_AS_PATH_TOO_LONG;

  // The program's own texts, in the code page of its resources.
  static const char kFilter[] =
      "実行形式(*.exe)\0*.exe\0実行仮形式(*.ex_)\0*.ex_\0全て(*.*)\0*.*\0\0";
  wchar_t filter[128];
  int n = MultiByteToWideChar(CP_ACP, 0, kFilter, sizeof kFilter, filter, countOf(filter));
  if (n <= 0) return 0;
  wchar_t dialogTitle[64];
  ansiToWide("暗号化されたファイルを保存します", dialogTitle, countOf(dialogTitle));
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = jobState.mainWindow;
  ofn.lpstrFilter = filter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = countOf(file);
  ofn.lpstrFileTitle = title;
  ofn.nMaxFileTitle = countOf(title);
  ofn.lpstrInitialDir = initialFolder[0] ? initialFolder : nullptr;
  ofn.lpstrTitle = dialogTitle;
  // No change of the current folder: relative sources are resolved against it.
  ofn.Flags = OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&ofn)) return 0;
  wchar_t chosen[2049];
  if (!withResultExtension(file, chosen, countOf(chosen))) return 0;
  if (!setContextText(&context->chosenPath, chosen)) return 0;
  return 1;
}

namespace {

// The folder browser is told its initial folder when it has been set up; some
// shells ignore that first request while they are still filling the tree, so
// it is repeated until the selection is that folder, for up to ten seconds
// (filling the tree takes that long on a busy machine). Once the selection is
// there, nothing more is sent.
struct BrowseState {
  wchar_t initial[MAX_PATH + 1];
  wchar_t current[MAX_PATH + 1];
  int retries;
};
BrowseState browseState;
enum { kReselectTimer = 0x4B59, kReselectPeriodMs = 150, kReselectTries = 66 };

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
  ansiToWide("フォルダを選択してください", title, countOf(title));
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
