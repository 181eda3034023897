// Password dialog (resource 129), shared by encryption (entered twice, checked)
// and decryption (entered once).
#include <stdlib.h>
#include <string.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/dialogs/password_rules.h"
#include "manager/dialogs/wizard_dialogs.h"
#include "manager/resources/resource.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"
#include "manager/base/modal_dialog.h"

namespace {

// A password as typed: the control's text and its form in code page 932,
// both wiped before they go. ok is false when a character has no exact form
// in the code page (or without memory: then text is null).
struct SecretText {
  char* text = nullptr;
  size_t cap = 0;
  bool ok = false;
  explicit SecretText(HWND control) {
    wchar_t* typed = controlWideTextCopy(control);
    if (!typed) return;
    cap = textLength(typed) * 2 + 1;
    text = static_cast<char*>(malloc(cap));
    if (text) ok = wideToAnsiExact(typed, text, cap);
    SecureZeroMemory(typed, textLength(typed) * sizeof(wchar_t));
    free(typed);
  }
  ~SecretText() {
    if (text) {
      SecureZeroMemory(text, cap);  // all of it, whatever the conversion left
      free(text);
    }
  }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
};

class PasswordDialog : public ModalDialog {
 public:
  PasswordDialog(int kind, WizardContext* context) : kind_(kind), context_(context) {}

 protected:
  bool onInit() override {
    ShowWindow(item(IDC_MAKE_EXE), SW_HIDE);
    if (kind_ == PASSWORD_DECRYPT) {
      setItemText(IDC_PASSWORD_HEADING, uiText(TEXT_HEADING_DECRYPT));
      ShowWindow(item(IDC_PASSWORD_CONFIRM_LABEL), SW_HIDE);
      ShowWindow(item(IDC_PASSWORD_CONFIRM), SW_HIDE);
      SetDlgItemTextW(window_, IDOK, L"OK");
    } else {
      setItemText(IDC_PASSWORD_HEADING, uiText(TEXT_HEADING_ENCRYPT));
    }
    SetDlgItemTextW(window_, IDC_PASSWORD, L"");
    SetDlgItemTextW(window_, IDC_PASSWORD_CONFIRM, L"");
    SetFocus(item(IDC_PASSWORD));
    return false;
  }

  void onOk() override {
    SecretText entry(item(IDC_PASSWORD));
    if (!entry.text) return;
    if (!entry.ok) {
      showMessage(window_, uiText(TEXT_PASSWORD_CHARACTER), nullptr, MB_OK);
      return;
    }
    if (kind_ == PASSWORD_ENCRYPT) {
      SecretText confirmation(item(IDC_PASSWORD_CONFIRM));
      if (!confirmation.text) return;
      if (!confirmation.ok) {
        showMessage(window_, uiText(TEXT_PASSWORD_CHARACTER), nullptr, MB_OK);
        return;
      }
      int problems = checkNewPassword(entry.text, confirmation.text);
      if (problems & PASSWORD_MISSING) showMessage(window_, uiText(TEXT_PASSWORD_MISSING), nullptr, MB_OK);
      if (problems & PASSWORD_MISMATCH) showMessage(window_, uiText(TEXT_PASSWORD_MISMATCH), nullptr, MB_OK);
      if (problems & PASSWORD_TOO_LONG) showMessage(window_, uiText(TEXT_PASSWORD_TOO_LONG), nullptr, MB_OK);
      if (problems) return;  // stays open with its contents
    }
    if (entry.text[0] != '\0' && !setContextText(&context_->enteredPassword, entry.text)) return;
    end(DIALOG_OK);
  }

 private:
  int kind_;
  WizardContext* context_;
};

}  // namespace

int askPassword(int kind, WizardContext* context) {
  PasswordDialog dialog(kind, context);
  return dialogResult(dialog.run(IDD_PASSWORD, jobState.mainWindow));
}
