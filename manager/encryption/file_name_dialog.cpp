// File-name dialog (resource 134): the name of the result and its extension.
#include <stdlib.h>
#include <string.h>

#include "common/policy.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "manager/encryption/result_names.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/resources/resource.h"
#include "manager/base/job_state.h"
#include "manager/base/modal_dialog.h"

namespace {

// In the order of the policy's forms (policy.h).
const wchar_t* const kExtensions[] = {L"exe", L"ex_", L"kyvo"};
static_assert(RESULT_FORM_EXE == 0 && RESULT_FORM_EX_ == 1 && RESULT_FORM_KYVO == 2, "list order");

class FileNameDialog : public ModalDialog {
 public:
  explicit FileNameDialog(WizardContext* context) : context_(context) {}

 protected:
  bool onInit() override {
    wchar_t proposal[2049];
    proposedFileName(context_->proposedPath, proposal, countOf(proposal));
    SetDlgItemTextW(window_, IDC_FILE_NAME, proposal);
    for (const wchar_t* ext : kExtensions)
      SendDlgItemMessageW(window_, IDC_FILE_EXT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ext));
    SendDlgItemMessageW(window_, IDC_FILE_EXT, CB_SETCURSEL, policyResultForm(), 0);
    SetFocus(item(IDC_FILE_NAME));
    return false;
  }

  void onOk() override {
    UniqueWideText name(controlWideTextCopy(item(IDC_FILE_NAME)));
    if (!name) return;
    LRESULT selected = SendDlgItemMessageW(window_, IDC_FILE_EXT, CB_GETCURSEL, 0, 0);
    const wchar_t* ext = kExtensions[selected >= 0 && selected < 3 ? selected : 0];
    size_t size = textLength(name.get()) + 1 + textLength(ext) + 1;
    UniqueWideText full(static_cast<wchar_t*>(malloc(size * sizeof(wchar_t))));
    if (!full) return;
    formatText(full.get(), size, L"%ls.%ls", name.get(), ext);
    free(context_->fileName);
    context_->fileName = full.release();
    end(DIALOG_OK);
  }

 private:
  WizardContext* context_;
};

}  // namespace

int askFileName(WizardContext* context) {
  FileNameDialog dialog(context);
  return dialogResult(dialog.run(IDD_FILENAME, jobState.mainWindow));
}
