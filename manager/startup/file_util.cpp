#include "manager/startup/file_util.h"

#include <windows.h>
#include <string.h>

#include "manager/startup/text_util.h"
#include "manager/startup/unique_handle.h"

int appendToFile(const char* path, const char* text) {
  UniqueFile file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return 1;
  DWORD size = static_cast<DWORD>(strlen(text));
  DWORD written = 0;
  if (!WriteFile(file.get(), text, size, &written, nullptr) || written != size) return 1;
  return 0;
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
