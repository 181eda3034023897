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

int appendToFile(const wchar_t* path, const char* text) {
  UniqueFile file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 1;
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) return 1;
  return writeAll(file.get(), text, strlen(text)) ? 0 : 1;
}

int driveTypeOfPath(const wchar_t* path, char* driveName, size_t driveNameCap) {
  if (driveName && driveNameCap) driveName[0] = '\0';
  if (path[0] == '\\' && path[1] == '\\') return DRIVE_REMOTE;
  // The drive part: a letter and a colon (what the path splitter takes).
  wchar_t root[4] = {0, 0, 0, 0};
  if (path[0] != 0 && path[1] == L':' && !isLeadUnit(path[0])) {
    root[0] = path[0];
    root[1] = L':';
    if (driveName && driveNameCap >= 3 && path[0] < 0x80) {
      driveName[0] = static_cast<char>(path[0]);
      driveName[1] = ':';
      driveName[2] = '\0';
    }
  }
  appendText(root, countOf(root), L"\\");
  return static_cast<int>(GetDriveTypeW(root));
}

bool pathExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }
