#include "manager/base/modal_dialog.h"

#include <stdlib.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/wide_text.h"
#include "manager/base/job_state.h"

INT_PTR ModalDialog::run(int resourceId, HWND owner) {
  // A Unicode dialog, so that its controls hold any name as it is.
  const DLGTEMPLATE* dialog = dialogTemplate(resourceId);
  if (!dialog) return -1;
  return DialogBoxIndirectParamW(jobState.appInstance, dialog, owner, proc, reinterpret_cast<LPARAM>(this));
}

const DLGTEMPLATE* dialogTemplate(int resourceId) {
  const LPCWSTR dialogType = MAKEINTRESOURCEW(5);  // RT_DIALOG, in its wide form
  HRSRC found = FindResourceExW(jobState.appInstance, dialogType, MAKEINTRESOURCEW(resourceId),
                                resourceLanguageOf(uiLanguage()));
  if (!found)
    found = FindResourceExW(jobState.appInstance, dialogType, MAKEINTRESOURCEW(resourceId),
                            resourceLanguageOf(UI_LANGUAGE_JAPANESE));
  HGLOBAL loaded = found ? LoadResource(jobState.appInstance, found) : nullptr;
  return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

INT_PTR CALLBACK ModalDialog::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ModalDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<ModalDialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
    return self->onInit() ? TRUE : FALSE;
  }
  self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_COMMAND) return self->onCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
  return FALSE;
}

void ModalDialog::setItemText(int id, const char* text) {
  wchar_t wide[256];
  ansiToWide(text, wide, countOf(wide));
  SetDlgItemTextW(window_, id, wide);
}

bool ModalDialog::onCommand(int id, int) {
  if (id == IDCANCEL) {
    end(2);
    return true;
  }
  if (id == IDOK) {
    onOk();
    return true;
  }
  return false;
}

wchar_t* controlWideTextCopy(HWND control) {
  int length = GetWindowTextLengthW(control);
  wchar_t* text = static_cast<wchar_t*>(malloc((static_cast<size_t>(length) + 1) * sizeof(wchar_t)));
  if (!text) return nullptr;
  int got = GetWindowTextW(control, text, length + 1);
  text[got > 0 ? got : 0] = 0;
  return text;
}
