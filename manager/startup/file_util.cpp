#include "manager/startup/file_util.h"

#include <windows.h>
#include <string.h>

#include "manager/startup/text_util.h"
#include "manager/startup/unique_handle.h"

bool writeAll(HANDLE file, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    p += written;
    size -= written;
  }
  return true;
}

int appendToFile(const char* path, const char* text) {
  UniqueFile file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return 1;
  return writeAll(file.get(), text, strlen(text)) ? 0 : 1;
}

int driveTypeOfPath(const char* path, char* driveName, size_t driveNameCap) {
  if (driveName && driveNameCap) driveName[0] = '\0';
  if (path[0] == '\\' && path[1] == '\\') return DRIVE_REMOTE;
  PathParts parts;
  splitPath(path, &parts);
  if (driveName) copyText(driveName, driveNameCap, parts.drive);
  char root[4];
  formatText(root, sizeof root, "%s\\", parts.drive);
  return static_cast<int>(GetDriveTypeA(root));
}
