#include "manager/dialogs/write_probe.h"

#include <windows.h>
#include <string.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/dialogs/working_names.h"

int probeFolder(const wchar_t* folder, const char* content) {
  wchar_t base[2049];
  copyText(base, countOf(base), folder);
  removeTrailingBackslash(base);
  if (base[0] == 0) copyText(base, countOf(base), L".");  // the current folder, not a drive root
  wchar_t probe[2049];
  bool named = false;
  for (int attempt = 0; attempt < 11; ++attempt) {
    if (attempt > 0) Sleep(100);
    char unique[64];
    makeUniqueName(unique, sizeof unique, GetTickCount());
    wchar_t wideUnique[64];
    ansiToWide(unique, wideUnique, countOf(wideUnique));
    if (!formatText(probe, countOf(probe), L"%ls\\%ls", base, wideUnique)) return PROBE_NOT_WRITABLE;
    if (!pathExists(probe)) {
      named = true;
      break;
    }
  }
  if (!named) return PROBE_NO_FREE_NAME;
  UniqueFile file(CreateFileW(probe, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return PROBE_NOT_WRITABLE;
  bool ok = writeAll(file.get(), content, strlen(content));
  file.reset();
  DeleteFileW(probe);
  return ok ? PROBE_OK : PROBE_NOT_WRITABLE;
}

void folderOfPath(const wchar_t* path, wchar_t* out, unsigned cap) {
  WidePathParts parts;
  splitPath(path, &parts);
  formatText(out, cap, L"%ls%ls", parts.drive, parts.dir);
  size_t length = textLength(out);
  if (length > 3 || (length == 3 && out[1] != L':')) removeTrailingBackslash(out);
}
