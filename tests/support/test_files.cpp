#include "support/test_files.h"

#include <algorithm>
#include <stdio.h>

#include "common/text_util.h"

namespace {
LONG tempCounter = 0;

std::string makeUnique(const std::string& parent) {
  for (;;) {
    char name[64];
    snprintf(name, sizeof name, "kyvotest_%lx_%lx_%lx", GetCurrentProcessId(),
             static_cast<unsigned long>(InterlockedIncrement(&tempCounter)), GetTickCount());
    std::string path = parent + name;
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return path;
  }
}

void listInto(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>* out, bool sizes) {
  WIN32_FIND_DATAW data;
  std::wstring pattern = root + (rel.empty() ? L"" : L"\\" + rel) + L"\\*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring child = rel.empty() ? name : rel + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(child + L"\\");
      listInto(root, child, out, sizes);
    } else if (sizes) {
      unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      out->push_back(child + L":" + std::to_wstring(size));
    } else {
      out->push_back(child);
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}
}  // namespace

std::wstring W(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  int n = MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), &out[0], n);
  return out;
}

std::string A(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr,
                              0, "?", nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &out[0], n, "?",
                      nullptr);
  return out;
}

std::string tempFolder() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, n);
}

std::string programFolder() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, n);
  return path.substr(0, path.find_last_of('\\') + 1);
}

TempDir::TempDir() : path_(makeUnique(tempFolder())) {}
TempDir::TempDir(const std::string& parent) : path_(makeUnique(parent + "\\")) {}
TempDir::~TempDir() { removeTree(path_); }

bool writeFile(const std::wstring& path, const void* data, size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  while (size > 0 && ok) {
    DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
    DWORD written = 0;
    ok = WriteFile(file, p, chunk, &written, nullptr) && written == chunk;
    p += chunk;
    size -= chunk;
  }
  CloseHandle(file);
  return ok;
}

bool writeFile(const std::string& path, const void* data, size_t size) { return writeFile(W(path), data, size); }
bool writeFile(const std::string& path, const std::string& data) {
  return writeFile(W(path), data.data(), data.size());
}
bool writeFile(const std::wstring& path, const std::string& data) { return writeFile(path, data.data(), data.size()); }

std::string readFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(file);
  return out;
}
std::string readFile(const std::string& path) { return readFile(W(path)); }

bool fileExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool fileExists(const std::string& path) { return fileExists(W(path)); }

bool folderExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool folderExists(const std::string& path) { return folderExists(W(path)); }

bool makeFolder(const std::wstring& path) {
  if (folderExists(path)) return true;
  size_t cut = path.find_last_of(L'\\');
  if (cut != std::wstring::npos && cut > 2) makeFolder(path.substr(0, cut));
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}
bool makeFolder(const std::string& path) { return makeFolder(W(path)); }

long long fileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void removeTree(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  if (!(a & FILE_ATTRIBUTE_DIRECTORY) || (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str())) RemoveDirectoryW(path.c_str());  // a link to a folder goes, not what it names
    return;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") removeTree(path + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}
void removeTree(const std::string& path) { removeTree(W(path)); }

std::vector<std::wstring> listFolder(const std::wstring& path) {
  std::vector<std::wstring> out;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") out.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> listFolder(const std::string& path) {
  std::vector<std::string> out;
  for (const std::wstring& name : listFolder(W(path))) out.push_back(A(name));
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::wstring> listTree(const std::wstring& root) {
  std::vector<std::wstring> out;
  listInto(root, L"", &out, true);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> listTree(const std::string& root) {
  std::vector<std::string> out;
  for (const std::wstring& entry : listTree(W(root))) out.push_back(A(entry));
  std::sort(out.begin(), out.end());
  return out;
}

std::string compareTrees(const std::wstring& a, const std::wstring& b) {
  std::vector<std::wstring> la = listTree(a), lb = listTree(b);
  for (size_t i = 0; i < la.size() || i < lb.size(); ++i) {
    std::wstring x = i < la.size() ? la[i] : L"(nothing)";
    std::wstring y = i < lb.size() ? lb[i] : L"(nothing)";
    if (x != y) return "entry differs: " + A(x) + " vs " + A(y);
  }
  for (const std::wstring& entry : la) {
    if (entry.back() == L'\\') continue;
    std::wstring rel = entry.substr(0, entry.rfind(L':'));
    if (readFile(a + L"\\" + rel) != readFile(b + L"\\" + rel)) return "contents differ: " + A(rel);
  }
  return std::string();
}

std::string compareTrees(const std::string& a, const std::string& b) { return compareTrees(W(a), W(b)); }

std::string patternBytes(size_t size, unsigned seed) {
  std::string out(size, '\0');
  unsigned x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

std::vector<std::string> tempFilesWithPrefix(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& name : listFolder(tempFolder().substr(0, tempFolder().size() - 1)))
    if (name.compare(0, prefix.size(), prefix) == 0) out.push_back(name);
  return out;
}
