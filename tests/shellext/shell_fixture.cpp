#include "shell_fixture.h"

#include <algorithm>

#include "support/test_files.h"
#include "support/unix_command.h"

const CLSID kKyvoShlExtClsid = {0x5B1E0C7A, 0x93D4, 0x4F2B, {0xA6, 0xE1, 0x0C, 0x84, 0xD2, 0xF7, 0xB3, 0x19}};
const char kClsidText[] = "{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}";
const char kClsidKey[] = "CLSID\\{5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}";
const char kHandlerKey[] = "AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\KyvoShlExt";
const char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::string builtDllPath() { return windowsPathOf(KYVOSHELL_UNIX_PATH); }
std::string builtDllName() {
  std::string built = builtDllPath();
  return built.substr(built.find_last_of('\\') + 1);
}
std::string builtRecorderPath() { return windowsPathOf(RECORDER_UNIX_PATH); }

LoadedShell::LoadedShell(const std::string& folder, bool withRecorder) : LoadedShell(W(folder), withRecorder) {}

LoadedShell::LoadedShell(const std::wstring& folder, bool withRecorder) : folder_(folder) {
  dllPath_ = folder + L"\\" + W(builtDllName());
  if (!CopyFileW(W(builtDllPath()).c_str(), dllPath_.c_str(), FALSE)) return;
  if (withRecorder && !CopyFileW(W(builtRecorderPath()).c_str(), (folder + L"\\Kyvomar.exe").c_str(), FALSE))
    return;
  module_ = LoadLibraryW(dllPath_.c_str());
  if (!module_) return;
  canUnloadNow = reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
  getClassObject =
      reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  registerServer = reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
  unregisterServer =
      reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(GetProcAddress(module_, "DllUnregisterServer")));
}

LoadedShell::~LoadedShell() {
  if (module_) FreeLibrary(module_);
}

IClassFactory* LoadedShell::factory() {
  void* result = nullptr;
  if (!getClassObject || FAILED(getClassObject(kKyvoShlExtClsid, IID_IClassFactory, &result))) return nullptr;
  return static_cast<IClassFactory*>(result);
}

bool equalsPathIgnoringCase(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

namespace {

void removeWideTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeWideTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

WideFolder::WideFolder(const std::string& parent, const std::wstring& name) : path_(W(parent) + L"\\" + name) {
  ok_ = CreateDirectoryW(path_.c_str(), nullptr) != 0;
}

WideFolder::~WideFolder() {
  if (ok_) removeWideTree(path_);
}

namespace {

HKEY openKey(HKEY root, const std::string& path, REGSAM access = KEY_READ) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

}  // namespace

bool keyExists(HKEY root, const std::string& path, REGSAM view) {
  HKEY key = openKey(root, path, KEY_READ | view);
  if (!key) return false;
  RegCloseKey(key);
  return true;
}

bool readValue(HKEY root, const std::string& path, const std::string& name, DWORD* type, std::string* bytes,
               REGSAM view) {
  HKEY key = openKey(root, path, KEY_READ | view);
  if (!key) return false;
  const char* valueName = name.empty() ? nullptr : name.c_str();
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, valueName, nullptr, type, nullptr, &size);
  if (result == ERROR_SUCCESS) {
    bytes->assign(size, '\0');
    result = RegQueryValueExA(key, valueName, nullptr, type, reinterpret_cast<BYTE*>(&(*bytes)[0]), &size);
    bytes->resize(size);
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool readWideText(HKEY root, const std::string& path, const std::string& name, std::wstring* text) {
  HKEY key = openKey(root, path);
  if (!key) return false;
  std::wstring valueName = W(name);
  DWORD type = 0, size = 0;
  LONG result = RegQueryValueExW(key, name.empty() ? nullptr : valueName.c_str(), nullptr, &type, nullptr, &size);
  if (result == ERROR_SUCCESS && type == REG_SZ) {
    std::wstring bytes(size / sizeof(wchar_t) + 1, L'\0');
    result = RegQueryValueExW(key, name.empty() ? nullptr : valueName.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(&bytes[0]), &size);
    bytes.resize(size / sizeof(wchar_t));
    if (!bytes.empty() && bytes.back() == L'\0') bytes.pop_back();
    *text = bytes;
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_SZ;
}

bool readText(HKEY root, const std::string& path, const std::string& name, std::string* text, REGSAM view) {
  DWORD type = 0;
  std::string bytes;
  if (!readValue(root, path, name, &type, &bytes, view) || type != REG_SZ) return false;
  if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  *text = bytes;
  return true;
}

std::vector<std::string> valueNames(HKEY root, const std::string& path, REGSAM view) {
  std::vector<std::string> out;
  HKEY key = openKey(root, path, KEY_READ | view);
  if (!key) return out;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD length = sizeof name;
    if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.push_back(std::string(name, length));
  }
  RegCloseKey(key);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> subKeyNames(HKEY root, const std::string& path, REGSAM view) {
  std::vector<std::string> out;
  HKEY key = openKey(root, path, KEY_READ | view);
  if (!key) return out;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.push_back(std::string(name, length));
  }
  RegCloseKey(key);
  std::sort(out.begin(), out.end());
  return out;
}

bool createKey(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

bool writeText(HKEY root, const std::string& path, const std::string& name, const std::string& text, REGSAM view) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG result = RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

void deleteTree(HKEY root, const std::string& path, REGSAM view) {
  for (const std::string& child : subKeyNames(root, path, view)) deleteTree(root, path + "\\" + child, view);
  RegDeleteKeyExA(root, path.c_str(), view, 0);
}

void deleteValue(HKEY root, const std::string& path, const std::string& name, REGSAM view) {
  HKEY key = openKey(root, path, KEY_SET_VALUE | view);
  if (!key) return;
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

RegistryGuard::RegistryGuard() {
  approvedExisted_ = keyExists(HKEY_LOCAL_MACHINE, kApprovedKey);
  allFilesystemObjectsExisted_ = keyExists(HKEY_CLASSES_ROOT, "AllFilesystemObjects");
  clean();
}

RegistryGuard::~RegistryGuard() {
  clean();
  restoreApprovedKey();
  if (!approvedExisted_) deleteTree(HKEY_LOCAL_MACHINE, kApprovedKey);
  if (!allFilesystemObjectsExisted_) deleteTree(HKEY_CLASSES_ROOT, "AllFilesystemObjects");
}

void RegistryGuard::clean() {
  deleteTree(HKEY_CLASSES_ROOT, kClsidKey);
  deleteTree(HKEY_CLASSES_ROOT, kHandlerKey);
  deleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText);
}

bool RegistryGuard::removeApprovedKey() {
  if (!keyExists(HKEY_LOCAL_MACHINE, kApprovedKey)) return true;
  if (!subKeyNames(HKEY_LOCAL_MACHINE, kApprovedKey).empty()) return false;
  if (approvedValues_.empty()) {
    for (const std::string& name : valueNames(HKEY_LOCAL_MACHINE, kApprovedKey)) {
      SavedValue saved;
      saved.name = name;
      if (name != kClsidText && readValue(HKEY_LOCAL_MACHINE, kApprovedKey, name, &saved.type, &saved.data))
        approvedValues_.push_back(saved);
    }
  }
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, kApprovedKey) == ERROR_SUCCESS;
}

void RegistryGuard::restoreApprovedKey() {
  if (!approvedExisted_) return;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApprovedKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  for (const SavedValue& v : approvedValues_)
    RegSetValueExA(key, v.name.empty() ? nullptr : v.name.c_str(), 0, v.type,
                   reinterpret_cast<const BYTE*>(v.data.data()), static_cast<DWORD>(v.data.size()));
  RegCloseKey(key);
}

namespace {

HANDLE processJob() {
  static HANDLE job = [] {
    HANDLE j = CreateJobObjectA(nullptr, nullptr);
    if (j && !AssignProcessToJobObject(j, GetCurrentProcess())) {
      CloseHandle(j);
      j = nullptr;
    }
    return j;
  }();
  return job;
}

bool accounting(JOBOBJECT_BASIC_ACCOUNTING_INFORMATION* info) {
  HANDLE job = processJob();
  return job && QueryInformationJobObject(job, JobObjectBasicAccountingInformation, info, sizeof *info, nullptr);
}

// The other processes of the job still running, split into the system
// folder's programs and the rest; false when the job cannot be asked.
bool jobProcesses(std::vector<DWORD>* system, std::vector<DWORD>* others) {
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[255];
  } ids = {};
  ids.list.NumberOfAssignedProcesses = 256;
  HANDLE job = processJob();
  if (!job || !QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) return false;
  char systemFolder[MAX_PATH];
  UINT n = GetSystemDirectoryA(systemFolder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    DWORD pid = static_cast<DWORD>(ids.list.ProcessIdList[i]);
    if (pid == GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) continue;  // already gone
    DWORD code = 0;
    char image[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    bool named = QueryFullProcessImageNameA(process, 0, image, &size);
    CloseHandle(process);
    if (!running) continue;
    bool inSystem = named && _strnicmp(image, systemFolder, n) == 0 && image[n] == '\\';
    (inSystem ? system : others)->push_back(pid);
  }
  return true;
}

}  // namespace

ProcessWatch::ProcessWatch() {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  if (accounting(&info)) baseline_ = info.TotalProcesses;
  std::vector<DWORD> others;
  jobProcesses(&systemAtStart_, &others);
}

unsigned ProcessWatch::started() const {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  std::vector<DWORD> system, others;
  if (!accounting(&info) || !jobProcesses(&system, &others)) return 0xFFFFFFFFu;  // unknown: fails every assertion
  unsigned joined = 0;  // system helpers that came since the start, each counted once by the job
  for (DWORD pid : system)
    if (std::find(systemAtStart_.begin(), systemAtStart_.end(), pid) == systemAtStart_.end()) ++joined;
  return info.TotalProcesses - baseline_ - joined;
}

bool ProcessWatch::waitForChildren(unsigned timeoutMs) const {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<DWORD> system, others;
    if (!jobProcesses(&system, &others)) return false;
    if (others.empty()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
}

bool waitForRecord(const std::string& folder, Recorded* recorded, unsigned timeoutMs) {
  return waitForRecord(W(folder), recorded, timeoutMs);
}

namespace {

// The whole file, or an empty text if it cannot be opened (yet).
std::string readWideNamedFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  std::wstring out(text.size(), L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                              static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace

bool waitForRecord(const std::wstring& folder, Recorded* recorded, unsigned timeoutMs) {
  std::wstring path = folder + L"\\" + W(kRecordFileName);
  DWORD start = GetTickCount();
  // The recorder's record always holds three line breaks; until it reads so
  // (not there yet, or the platform not yet letting it be opened after the
  // rename), it is asked again.
  std::string text;
  for (;;) {
    text = readWideNamedFile(path);
    if (std::count(text.begin(), text.end(), '\n') >= 3) break;
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  DeleteFileW(path.c_str());
  std::vector<std::string> lines;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  lines.resize(4);
  recorded->commandLine = lines[0];
  recorded->currentDirectory = lines[1];
  recorded->probe = lines[2];
  recorded->wideCommandLine = fromUtf8(lines[3]);
  return true;
}
