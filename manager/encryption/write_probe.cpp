#include "manager/encryption/write_probe.h"

#include <windows.h>
#include <string.h>

#include "manager/encryption/working_names.h"
#include "manager/startup/file_util.h"
#include "manager/startup/text_util.h"
#include "manager/startup/unique_handle.h"

int probeFolder(const char* folder, const char* content) {
  char base[2049];
  copyText(base, sizeof base, folder);
  removeTrailingBackslash(base);
  if (base[0] == '\0') copyText(base, sizeof base, ".");  // the current folder, not a drive root
  char probe[2049];
  bool named = false;
  for (int attempt = 0; attempt < 11; ++attempt) {
    if (attempt > 0) Sleep(100);
    char unique[64];
    makeUniqueName(unique, sizeof unique, GetTickCount());
    if (!formatText(probe, sizeof probe, "%s\\%s", base, unique)) return PROBE_NOT_WRITABLE;
    if (GetFileAttributesA(probe) == INVALID_FILE_ATTRIBUTES) {
      named = true;
      break;
    }
  }
  if (!named) return PROBE_NO_FREE_NAME;
  UniqueFile file(CreateFileA(probe, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return PROBE_NOT_WRITABLE;
  bool ok = writeAll(file.get(), content, strlen(content));
  file.reset();
  DeleteFileA(probe);
  return ok ? PROBE_OK : PROBE_NOT_WRITABLE;
}

void folderOfPath(const char* path, char* out, unsigned cap) {
  PathParts parts;
  splitPath(path, &parts);
  formatText(out, cap, "%s%s", parts.drive, parts.dir);
  if (strlen(out) > 3 || (strlen(out) == 3 && out[1] != ':')) removeTrailingBackslash(out);
}
