#include "manager/encryption/delivery.h"

#include <windows.h>
#include <shlobj.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "common/working_file.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "manager/base/message_box.h"
#include "manager/encryption/encryption_dialogs.h"

bool deliverCopy(const wchar_t* sourcePath, const wchar_t* targetPath) {
  UniqueFile source(CreateFileW(sourcePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  WorkingFile copy;
  if (!source || !copy.createBeside(targetPath)) return false;
  static unsigned char buffer[32768];  // only the worker delivers
  for (;;) {
    size_t got = 0;
    if (!readUpTo(source.get(), buffer, sizeof buffer, &got)) return false;
    if (got == 0) break;
    if (!writeAll(copy.get(), buffer, got)) return false;
  }
  // A removable medium may be pulled out as soon as the job ends: the copy
  // is on it before it takes the name.
  return FlushFileBuffers(copy.get()) && copy.commitOver(targetPath) == COMMIT_DONE;
}

void formatMediaCopyFailure(wchar_t* out, size_t cap, const wchar_t* sourcePath, const wchar_t* targetPath) {
  // The result stays where it was made, so the message says so.
  formatPathMessage(out, cap,
                    uiText(TEXT_MEDIA_COPY_FAILED),
                    sourcePath, targetPath);
}

namespace {

struct SaveRequest {
  const wchar_t* resultPath;
  wchar_t* savedPath;
  size_t cap;
  bool saved;
};

// Opens the folder of a file in the file manager with the file selected.
void showInFileManager(const wchar_t* path) {
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (PIDLIST_ABSOLUTE item = ILCreateFromPathW(path)) {
    SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ILFree(item);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

// On the main thread: the save-as dialog until a copy is saved or the user
// cancels it.
void askAndSave(void* context) {
  SaveRequest* request = static_cast<SaveRequest*>(context);
  const wchar_t* name = request->resultPath + lastSeparatorIndex(request->resultPath) + 1;
  wchar_t documents[MAX_PATH] = L"";
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) documents[0] = 0;
  WizardContext wizard;
  clearWizardContext(&wizard);
  if (!formatText(wizard.proposedBuffer, countOf(wizard.proposedBuffer), L"%ls\\%ls", documents, name) ||
      !setContextText(&wizard.fileName, name)) {
    releaseWizardContext(&wizard);
    return;
  }
  while (encryptionDialogs.askSaveAsPath(&wizard) == DIALOG_OK && wizard.chosenPath) {
    if (deliverCopy(request->resultPath, wizard.chosenPath) &&
        copyText(request->savedPath, request->cap, wizard.chosenPath)) {
      request->saved = true;
      showSavedFile(wizard.chosenPath);
      break;
    }
    showMessage(jobState.mainWindow, uiText(TEXT_ENCRYPT_CANNOT_WRITE), nullptr, MB_OK | MB_ICONEXCLAMATION);
  }
  releaseWizardContext(&wizard);
}

}  // namespace

void (*showSavedFile)(const wchar_t* path) = showInFileManager;

bool saveInsteadOfMail(const wchar_t* resultPath, wchar_t* savedPath, size_t cap) {
  if (cap > 0) savedPath[0] = 0;
  if (showMessage(nullptr, uiText(TEXT_MAIL_NOT_TAKEN), nullptr, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return false;
  SaveRequest request = {resultPath, savedPath, cap, false};
  runOnMainThread(askAndSave, &request);
  return request.saved;
}
