#include "manager/encryption/delivery.h"

#include <windows.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "manager/dialogs/write_probe.h"
#include "manager/base/message_box.h"

bool deliverToMedia(const wchar_t* sourcePath, const wchar_t* targetPath) {
  wchar_t folder[2049];
  folderOfPath(targetPath, folder, countOf(folder));
  removeTrailingBackslash(folder);
  wchar_t temporary[2049];
  if (!formatText(temporary, countOf(temporary), L"%ls\\~kyv%lx%lx.tmp", folder, GetCurrentProcessId(),
                  GetTickCount()))
    return false;
  if (!CopyFileW(sourcePath, temporary, TRUE)) {
    DeleteFileW(temporary);
    return false;
  }
  if (!MoveFileExW(temporary, targetPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary);
    return false;
  }
  return true;
}

void formatMediaCopyFailure(wchar_t* out, size_t cap, const wchar_t* sourcePath, const wchar_t* targetPath) {
  // The result stays where it was made, so the message says so.
  formatPathMessage(out, cap,
                    uiText(TEXT_MEDIA_COPY_FAILED),
                    sourcePath, targetPath);
}
