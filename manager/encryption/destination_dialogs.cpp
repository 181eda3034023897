// Destination dialog (resource 133) and removable-media dialog (resource 136).
#include <windows.h>
#include <shellapi.h>
#include <string.h>
#include <wchar.h>

#include "common/text_util.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/resources/resource.h"
#include "manager/base/job_state.h"
#include "manager/base/modal_dialog.h"

namespace {

class DestinationDialog : public ModalDialog {
 protected:
  bool onInit() override {
    CheckRadioButton(window_, IDC_DEST_DRIVE, IDC_DEST_MAIL, IDC_DEST_DRIVE);
    return true;
  }
  void onOk() override {
    if (IsDlgButtonChecked(window_, IDC_DEST_DRIVE) == BST_CHECKED)
      jobState.destinationMode = DESTINATION_FOLDER;
    else if (IsDlgButtonChecked(window_, IDC_DEST_MEDIA) == BST_CHECKED)
      jobState.destinationMode = DESTINATION_REMOVABLE;
    else if (IsDlgButtonChecked(window_, IDC_DEST_MAIL) == BST_CHECKED)
      jobState.destinationMode = DESTINATION_MAIL;
    end(DIALOG_OK);
  }
};

class MediaDialog : public ModalDialog {
 protected:
  bool onInit() override {
    wchar_t roots[1024];
    DWORD n = GetLogicalDriveStringsW(countOf(roots), roots);
    if (n > 0 && n < countOf(roots)) {
      for (const wchar_t* root = roots; *root; root += textLength(root) + 1) {
        if (GetDriveTypeW(root) != DRIVE_REMOVABLE) continue;
        SHFILEINFOW info = {};
        SHGetFileInfoW(root, 0, &info, sizeof info, SHGFI_DISPLAYNAME);
        wchar_t line[512];
        formatText(line, countOf(line), L"%ls [%ls]", root, info.szDisplayName);
        SendDlgItemMessageW(window_, IDC_MEDIA_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
      }
    }
    SendDlgItemMessageW(window_, IDC_MEDIA_LIST, CB_SETCURSEL, 0, 0);
    return true;
  }

  void onOk() override {
    LRESULT selected = SendDlgItemMessageW(window_, IDC_MEDIA_LIST, CB_GETCURSEL, 0, 0);
    wchar_t line[512];
    if (selected != CB_ERR &&
        SendDlgItemMessageW(window_, IDC_MEDIA_LIST, CB_GETLBTEXTLEN, selected, 0) < static_cast<LRESULT>(countOf(line)) &&
        SendDlgItemMessageW(window_, IDC_MEDIA_LIST, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(line)) != CB_ERR) {
      // The line begins with the drive root: keep it up to its backslash.
      wchar_t* backslash = wcschr(line, L'\\');
      if (backslash) backslash[1] = 0;
      copyText(jobState.mediaPath, countOf(jobState.mediaPath), line);
    }
    end(DIALOG_OK);
  }
};

}  // namespace

int chooseDestination() {
  DestinationDialog dialog;
  return dialogResult(dialog.run(IDD_DESTINATION, jobState.mainWindow));
}

int chooseRemovableDrive(WizardContext*) {
  MediaDialog dialog;
  return dialogResult(dialog.run(IDD_MEDIA, jobState.mainWindow));
}
