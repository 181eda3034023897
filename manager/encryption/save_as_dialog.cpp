// The platform's save-file dialog for the result.
#include <windows.h>
#include <commdlg.h>
#include <string.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/wide_text.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/encryption/result_names.h"
#include "manager/base/job_state.h"

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

  // The program's own texts, in code page 932 on every system; the filter is
  // pairs of texts, each ended by a NUL, and one more NUL.
  const char* filterText = uiText(TEXT_SAVE_AS_FILTER);
  size_t filterLength = 0;
  while (filterText[filterLength] != 0 || filterText[filterLength + 1] != 0) ++filterLength;
  wchar_t filter[256];
  int n = MultiByteToWideChar(kProgramCodePage, 0, filterText, static_cast<int>(filterLength + 2), filter,
                              countOf(filter));
  if (n <= 0) return 0;
  wchar_t dialogTitle[64];
  ansiToWide(uiText(TEXT_SAVE_AS_TITLE), dialogTitle, countOf(dialogTitle));
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = jobState.mainWindow;
  ofn.lpstrFilter = filter;
  // The filter of the proposed name's form: program, program to rename, data.
  WidePathParts proposed;
  splitPath(file, &proposed);
  ofn.nFilterIndex = equalsIgnoreAsciiCase(proposed.ext, L".ex_") ? 2 : equalsIgnoreAsciiCase(proposed.ext, L".kyvo") ? 3 : 1;
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
  // A name typed without an extension under the data filter is data.
  if (!withResultExtension(file, chosen, countOf(chosen), ofn.nFilterIndex == 3 ? L".kyvo" : L".exe")) return 0;
  if (!setContextText(&context->chosenPath, chosen)) return 0;
  return 1;
}
