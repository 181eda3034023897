#include "manager/encryption/delivery.h"

#include <windows.h>
#include <string.h>

#include "manager/encryption/write_probe.h"
#include "manager/startup/text_util.h"

bool deliverToMedia(const char* sourcePath, const char* targetPath) {
  char folder[2049];
  folderOfPath(targetPath, folder, sizeof folder);
  removeTrailingBackslash(folder);
  char temporary[2049];
  if (!formatText(temporary, sizeof temporary, "%s\\~kyv%lx%lx.tmp", folder, GetCurrentProcessId(),
                  GetTickCount()))
    return false;
  if (!CopyFileA(sourcePath, temporary, TRUE)) {
    DeleteFileA(temporary);
    return false;
  }
  if (!MoveFileExA(temporary, targetPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temporary);
    return false;
  }
  return true;
}

// Copies text into out, cut safely to at most limit bytes; a cut text ends in "...".
static void shortened(char* out, size_t cap, const char* text, size_t limit) {
  size_t len = strlen(text);
  if (len <= limit) {
    copyText(out, cap, text);
    return;
  }
  size_t keep = safeCutLength(text, len, limit > 3 ? limit - 3 : 0);
  copyTextN(out, cap, text, keep);
  appendText(out, cap, "...");
}

void formatMediaCopyFailure(char* out, size_t cap, const char* sourcePath, const char* targetPath) {
  static const char kFormat[] =
      "暗号化ファイルを外部メディアへコピーできませんでした。\r\n\r\n[コピー元]%s\r\n[コピー先]%s\r\n";
  size_t fixed = strlen(kFormat) - 4;  // without the two "%s"
  size_t room = cap > fixed + 1 ? cap - fixed - 1 : 0;
  size_t each = room / 2;
  // A path that needs less than its half leaves the rest to the other.
  size_t sourceLimit = strlen(sourcePath) < each ? strlen(sourcePath) : each;
  size_t targetLimit = room - sourceLimit;
  if (strlen(targetPath) < targetLimit) sourceLimit = room - strlen(targetPath);
  char source[2049], target[2049];
  shortened(source, sizeof source, sourcePath, sourceLimit);
  shortened(target, sizeof target, targetPath, targetLimit);
  formatText(out, cap, kFormat, source, target);
}
