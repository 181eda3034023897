#include "common/file_util.h"

#include <windows.h>
#include <string.h>

#include "common/text_util.h"
#include "common/unique_handle.h"

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

HANDLE keepUntilClosed(const wchar_t* path) {
  return CreateFileW(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

bool readUpTo(HANDLE file, void* buffer, size_t size, size_t* got) {
  unsigned char* p = static_cast<unsigned char*>(buffer);
  *got = 0;
  while (*got < size) {
    size_t left = size - *got;
    DWORD part = 0;
    if (!ReadFile(file, p + *got, left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left), &part, nullptr))
      return false;
    if (part == 0) break;
    *got += part;
  }
  return true;
}

int appendToFile(const wchar_t* path, const char* text) {
  UniqueFile file(CreateFileW(path, GENERIC_WRITE, WORKING_FILE_SHARE, nullptr, OPEN_ALWAYS,
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

HMODULE loadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH + 32];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  if (!appendText(path, countOf(path), L"\\") || !appendText(path, countOf(path), name)) return nullptr;
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool pathExists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }
