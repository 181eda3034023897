// Question dialog (resource 137): an existing file in the way of a restored one.
#include "manager/decryption/replace_dialog.h"

#include "common/text_util.h"
#include "common/ui_language.h"
#include "manager/resources/resource.h"
#include "manager/base/modal_dialog.h"

ReplaceAnswer (*askReplaceFunction)(HWND owner, const ReplaceFacts& facts) = askReplaceDialog;

void formatReplaceLine(char* out, size_t cap, const char* label, uint64_t size, uint64_t fileTime) {
  FILETIME utc = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)}, local;
  SYSTEMTIME t = {};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &t)) t = SYSTEMTIME();
  formatText(out, cap, uiText(TEXT_REPLACE_LINE), label,
             static_cast<unsigned long long>(size), t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

namespace {

class ReplaceDialog : public ModalDialog {
 public:
  explicit ReplaceDialog(const ReplaceFacts& facts) : facts_(facts) {}

 protected:
  bool onInit() override {
    SetDlgItemTextW(window_, IDC_REPLACE_NAME, facts_.path);
    char line[256];
    formatReplaceLine(line, sizeof line, uiText(TEXT_REPLACE_EXISTING), facts_.existingSize, facts_.existingTime);
    setItemText(IDC_REPLACE_EXISTING, line);
    formatReplaceLine(line, sizeof line, uiText(TEXT_REPLACE_INCOMING), facts_.incomingSize, facts_.incomingTime);
    setItemText(IDC_REPLACE_INCOMING, line);
    SetFocus(item(IDC_KEEP_ONE));  // the choice that loses nothing
    return false;
  }

  bool onCommand(int id, int) override {
    switch (id) {
      case IDC_REPLACE_ONE: end(ANSWER_REPLACE); return true;
      case IDC_REPLACE_ALL: end(ANSWER_REPLACE_ALL); return true;
      case IDOK:
      case IDC_KEEP_ONE: end(ANSWER_KEEP); return true;
      case IDC_KEEP_ALL: end(ANSWER_KEEP_ALL); return true;
      case IDCANCEL: end(ANSWER_STOP); return true;
    }
    return false;
  }

 private:
  const ReplaceFacts& facts_;
};

}  // namespace

ReplaceAnswer askReplaceDialog(HWND owner, const ReplaceFacts& facts) {
  ReplaceDialog dialog(facts);
  INT_PTR answer = dialog.run(IDD_REPLACE, owner);
  return answer >= ANSWER_REPLACE && answer <= ANSWER_STOP ? static_cast<ReplaceAnswer>(answer) : ANSWER_STOP;
}
