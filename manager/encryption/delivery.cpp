#include "manager/encryption/delivery.h"

#include <windows.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "common/working_file.h"
#include "manager/startup/message_box.h"

bool deliverToMedia(const wchar_t* sourcePath, const wchar_t* targetPath) {
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
