#include "support/unix_command.h"

#include <windows.h>
#include <stdio.h>

#include "support/test_files.h"

namespace {
typedef char*(__cdecl* UnixNameFn)(const WCHAR*);
typedef WCHAR*(__cdecl* DosNameFn)(const char*);
LONG scriptCounter = 0;
}  // namespace

std::string unixPathOf(const std::string& windowsPath) {
  static UnixNameFn fn = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return std::string();
  WCHAR wide[MAX_PATH * 2];
  if (!MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 2)) return std::string();
  char* unix = fn(wide);
  if (!unix) return std::string();
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

std::string windowsPathOf(const std::string& unixPath) {
  static DosNameFn fn = reinterpret_cast<DosNameFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
  if (!fn) return std::string();
  WCHAR* wide = fn(unixPath.c_str());
  if (!wide) return std::string();
  char buffer[MAX_PATH * 2];
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, sizeof buffer, nullptr, nullptr);
  HeapFree(GetProcessHeap(), 0, wide);
  return n > 0 ? std::string(buffer) : std::string();
}

int runUnix(const std::string& script, std::string* output, unsigned timeoutMs) {
  char base[96];
  snprintf(base, sizeof base, "kyvo_unix_%lx_%lx", GetCurrentProcessId(),
           static_cast<unsigned long>(InterlockedIncrement(&scriptCounter)));
  std::string dir = tempFolder();
  std::string scriptPath = dir + base + ".sh";
  std::string outPath = dir + base + ".out";
  std::string statusPath = dir + base + ".status";
  std::string unixScript = unixPathOf(scriptPath);
  std::string unixOut = unixPathOf(outPath);
  std::string unixStatus = unixPathOf(statusPath);
  if (unixScript.empty()) return -1;
  std::string body = "(\n" + script + "\n) >'" + unixOut + "' 2>&1\necho $? >'" + unixStatus +
                     ".tmp'\nmv '" + unixStatus + ".tmp' '" + unixStatus + "'\n";
  if (!writeFile(scriptPath, body)) return -1;
  // Wine splits this command line by the Windows rules before it starts sh.
  std::string commandLine = "/bin/sh \"" + unixScript + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string mutableLine = commandLine;
  if (!CreateProcessA("Z:\\bin\\sh", &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    DeleteFileA(scriptPath.c_str());
    return -1;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  DWORD start = GetTickCount();
  int status = -1;
  while (GetTickCount() - start < timeoutMs) {
    if (fileExists(statusPath)) {
      status = atoi(readFile(statusPath).c_str());
      break;
    }
    Sleep(10);
  }
  if (output) *output = readFile(outPath);
  DeleteFileA(scriptPath.c_str());
  DeleteFileA(outPath.c_str());
  DeleteFileA(statusPath.c_str());
  return status;
}

TmpfsMount::TmpfsMount(const std::string& size, bool readOnly) {
  std::string out;
  char name[64];
  snprintf(name, sizeof name, "/tmp/kyvo_mnt_%lx_%lx", GetCurrentProcessId(), GetTickCount());
  unixPath_ = name;
  std::string options = "size=" + size + (readOnly ? ",ro" : "");
  int status = runUnix("mkdir -p " + unixPath_ + " && mount -t tmpfs -o " + options + " kyvotmpfs " + unixPath_, &out);
  if (status != 0) {
    why_ = out.empty() ? "mount failed" : out;
    runUnix("rmdir " + unixPath_);
    return;
  }
  windowsPath_ = windowsPathOf(unixPath_);
  if (windowsPath_.empty()) windowsPath_ = "Z:" + unixPath_;
  for (char& c : windowsPath_)
    if (c == '/') c = '\\';
  if (!windowsPath_.empty() && windowsPath_.back() == '\\') windowsPath_.pop_back();
  ok_ = true;
}

bool TmpfsMount::remount(bool readOnly) {
  return ok_ && runUnix(std::string("mount -o remount,") + (readOnly ? "ro " : "rw ") + unixPath_) == 0;
}

TmpfsMount::~TmpfsMount() {
  if (!ok_) return;
  // Give Wine a moment to close what it still holds, then unmount.
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (runUnix("umount " + unixPath_) == 0) break;
    Sleep(100);
  }
  runUnix("umount -l " + unixPath_ + " 2>/dev/null; rmdir " + unixPath_);
}
