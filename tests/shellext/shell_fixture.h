// Helpers for the tests of Kyvoshell.dll: a copy of the DLL (and of the
// recorder that stands in for Kyvomar.exe) loaded from a folder of its own,
// registry readers, and a count of the processes the test has started.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "support/test_files.h"

// {5B1E0C7A-93D4-4F2B-A6E1-0C84D2F7B319}
extern const CLSID kKyvoShlExtClsid;
extern const char kClsidText[];
extern const char kClsidKey[];     // CLSID\{...} below HKEY_CLASSES_ROOT
extern const char kHandlerKey[];   // AllFilesystemObjects\ShellEx\ContextMenuHandlers\KyvoShlExt
extern const char kApprovedKey[];  // below HKEY_LOCAL_MACHINE

std::string builtDllPath();       // the DLL of this build (Kyvoshell.dll, or Kyvoshell64.dll in the 64-bit build)
std::string builtDllName();       // its file name alone
std::string builtRecorderPath();  // the recorder, named Kyvomar.exe

typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFn)();
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* RegisterFn)();

// The DLL copied into folder under its own name (and the recorder beside it
// unless told otherwise) and loaded from there. Each copy has its own module
// state.
class LoadedShell {
 public:
  explicit LoadedShell(const std::string& folder, bool withRecorder = true);
  // A folder of any name, also one the ANSI code page cannot hold.
  explicit LoadedShell(const std::wstring& folder, bool withRecorder = true);
  ~LoadedShell();
  LoadedShell(const LoadedShell&) = delete;
  LoadedShell& operator=(const LoadedShell&) = delete;

  bool ok() const { return module_ != nullptr && canUnloadNow && getClassObject && registerServer && unregisterServer; }
  HMODULE module() const { return module_; }
  std::string dllPath() const { return A(dllPath_); }
  std::string folder() const { return A(folder_); }
  const std::wstring& wideDllPath() const { return dllPath_; }
  const std::wstring& wideFolder() const { return folder_; }
  // The factory's IClassFactory (the caller releases it), or null.
  IClassFactory* factory();

  CanUnloadNowFn canUnloadNow = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  RegisterFn registerServer = nullptr;
  RegisterFn unregisterServer = nullptr;

 private:
  std::wstring folder_, dllPath_;
  HMODULE module_ = nullptr;
};

// Paths compared as the file system does: without regard to letter case.
bool equalsPathIgnoringCase(const std::string& a, const std::string& b);

// A folder of any name made below parent, removed with everything in it
// when the object goes (ANSI file calls could not reach names outside the
// code page).
class WideFolder {
 public:
  WideFolder(const std::string& parent, const std::wstring& name);
  ~WideFolder();
  WideFolder(const WideFolder&) = delete;
  WideFolder& operator=(const WideFolder&) = delete;
  bool ok() const { return ok_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  bool ok_ = false;
};

// Registry access for the assertions; paths are backslash-separated. view
// picks a registry view (KEY_WOW64_32KEY, KEY_WOW64_64KEY); 0 is the
// program's own.
bool keyExists(HKEY root, const std::string& path, REGSAM view = 0);
// The value's text (REG_SZ only; empty name: the default value); false if missing.
bool readText(HKEY root, const std::string& path, const std::string& name, std::string* text, REGSAM view = 0);
// Type and raw bytes of a value; false if missing.
bool readValue(HKEY root, const std::string& path, const std::string& name, DWORD* type, std::string* bytes,
               REGSAM view = 0);
// A REG_SZ value as UTF-16; false if missing.
bool readWideText(HKEY root, const std::string& path, const std::string& name, std::wstring* text);
std::vector<std::string> valueNames(HKEY root, const std::string& path, REGSAM view = 0);  // "" for the default value
std::vector<std::string> subKeyNames(HKEY root, const std::string& path, REGSAM view = 0);
bool createKey(HKEY root, const std::string& path);
bool writeText(HKEY root, const std::string& path, const std::string& name, const std::string& text,
               REGSAM view = 0);
void deleteTree(HKEY root, const std::string& path, REGSAM view = 0);
void deleteValue(HKEY root, const std::string& path, const std::string& name, REGSAM view = 0);

// Puts the registry back as it was for everything the DLL writes: removes the
// class and handler keys and the approval value, restores the approval key's
// own values (if a test deleted it) and removes AllFilesystemObjects when it
// wasn't there before.
class RegistryGuard {
 public:
  RegistryGuard();
  ~RegistryGuard();
  RegistryGuard(const RegistryGuard&) = delete;
  RegistryGuard& operator=(const RegistryGuard&) = delete;
  void clean();  // removes the class, handler and approval entries now
  // Removes the approval key (restored at the end); false if it has sub-keys.
  bool removeApprovedKey();
  void restoreApprovedKey();

 private:
  struct SavedValue {
    std::string name;
    DWORD type;
    std::string data;
  };
  bool approvedExisted_ = false;
  bool allFilesystemObjectsExisted_ = false;
  std::vector<SavedValue> approvedValues_;
};

// Counts the processes started by this test program (and by anything it
// loads): the test process runs in a job, which every child joins. Programs
// of the system folder are left out: the platform starts some of its own
// long-lived helpers (the desktop, services) from whichever program first
// needs them, and those join the job too.
class ProcessWatch {
 public:
  ProcessWatch();
  // Processes started since this watch was made.
  unsigned started() const;
  // Waits until every child has ended; false after timeoutMs.
  bool waitForChildren(unsigned timeoutMs = 20000) const;

 private:
  unsigned baseline_ = 0;
  std::vector<DWORD> systemAtStart_;
};

// What the recorder wrote: its command line as an ANSI program sees it, its
// current directory, the value of KYVO_SHELL_PROBE in its environment, and
// its command line in UTF-16.
struct Recorded {
  std::string commandLine, currentDirectory, probe;
  std::wstring wideCommandLine;
};
const char kRecordFileName[] = "Kyvomar.rec";
// Waits for the recorder's file in folder and reads it (removing it); false
// after timeoutMs.
bool waitForRecord(const std::string& folder, Recorded* recorded, unsigned timeoutMs = 20000);
bool waitForRecord(const std::wstring& folder, Recorded* recorded, unsigned timeoutMs = 20000);
