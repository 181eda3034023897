#include "manager/dialogs/write_probe.h"

#include <windows.h>
#include <string.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/working_file.h"
#include "common/wide_text.h"
#include "manager/dialogs/working_names.h"

namespace {

// A probe's name: the folder (with its separator) and a unique name.
bool formProbeName(const void* folder, unsigned long value, wchar_t* out, size_t cap) {
  char unique[64];
  wchar_t wideUnique[64];
  return makeUniqueName(unique, sizeof unique, static_cast<unsigned>(value)) == 0 &&
         ansiToWide(unique, wideUnique, countOf(wideUnique)) &&
         formatText(out, cap, L"%ls%ls", static_cast<const wchar_t*>(folder), wideUnique);
}

}  // namespace

int probeFolder(const wchar_t* folder, const char* content) {
  wchar_t base[2049];
  copyText(base, countOf(base), folder);
  removeTrailingBackslash(base);
  if (base[0] == 0) copyText(base, countOf(base), L".");  // the current folder, not a drive root
  if (!appendText(base, countOf(base), L"\\")) return PROBE_NOT_WRITABLE;
  WorkingFile probe;
  if (!probe.create(formProbeName, base)) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? PROBE_NO_FREE_NAME : PROBE_NOT_WRITABLE;
  }
  // The probe goes with its handle.
  return writeAll(probe.get(), content, strlen(content)) ? PROBE_OK : PROBE_NOT_WRITABLE;
}

void folderOfPath(const wchar_t* path, wchar_t* out, unsigned cap) {
  WidePathParts parts;
  splitPath(path, &parts);
  formatText(out, cap, L"%ls%ls", parts.drive, parts.dir);
  size_t length = textLength(out);
  if (length > 3 || (length == 3 && out[1] != L':')) removeTrailingBackslash(out);
}
