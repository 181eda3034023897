#include "e2e/program_driver.h"

#include <tlhelp32.h>

#include <set>

#include "common/text_util.h"
#include "common/unique_handle.h"
#include "manager/resources/resource.h"
#include "manager/base/message_box.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

void (*dialogShown)(const char* name) = nullptr;
const char* startUnderDesktop = nullptr;

namespace {
// Generous: on a loaded machine the folder browser takes long to list the drives.
const unsigned kDialogWait = 120000;

void shown(const char* name) {
  if (dialogShown) dialogShown(name);
}

void click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.pop_back();
  return out;
}

std::string shellWord(const std::wstring& text) {
  std::string out = "'";
  for (char c : utf8(text)) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The processes running the program at path.
std::set<DWORD> processesOf(const std::wstring& path) {
  std::set<DWORD> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t image[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (QueryFullProcessImageNameW(process, 0, image, &size) && lstrcmpiW(image, path.c_str()) == 0)
      found.insert(entry.th32ProcessID);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace

std::string builtKyvomarPath() { return windowsPathOf(KYVOMAR_UNIX_PATH); }
std::string builtShellPath() { return windowsPathOf(KYVOSHELL_UNIX_PATH); }

ProgramRun::~ProgramRun() {
  kill();
  release();
}

void ProgramRun::release() {
  if (started_) {
    CloseHandle(pi_.hProcess);
    if (pi_.hThread) CloseHandle(pi_.hThread);
  }
  started_ = false;
  pi_ = {};
}

bool ProgramRun::start(const std::string& exe, const std::string& args, bool raw) {
  return start(W(exe), W(args), raw);
}

bool ProgramRun::start(const std::wstring& exe, const std::wstring& args, bool raw) {
  std::wstring line = raw ? args : L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  release();
  started_ = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
  return started_;
}

bool ProgramRun::startUnder(const char* locale, const std::wstring& exe, const std::vector<std::wstring>& args) {
  release();
  std::set<DWORD> before = processesOf(exe);
  std::string script = "cd / && LC_ALL=" + std::string(locale) + " \"$KYVO_WINE_LOADER\" ";
  if (startUnderDesktop) script += "explorer /desktop=" + std::string(startUnderDesktop) + " ";
  script += shellWord(exe);
  for (const std::wstring& arg : args) script += " " + shellWord(arg);
  if (runUnix(script + " >/dev/null 2>&1 &") != 0) return false;
  for (DWORD start = GetTickCount(); GetTickCount() - start < 60000; Sleep(50)) {
    for (DWORD pid : processesOf(exe)) {
      if (before.count(pid)) continue;
      pi_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
      pi_.dwProcessId = pid;
      started_ = pi_.hProcess != nullptr;
      return started_;
    }
  }
  return false;
}

long ProgramRun::wait(unsigned timeoutMs) {
  if (!started_ || WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(pi_.hProcess, &code);
  return static_cast<long>(code);
}

bool ProgramRun::running() const { return started_ && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

void ProgramRun::suspend() {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (bool more = snapshot && Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID != pi_.dwProcessId) continue;
    UniqueKernelHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
    if (thread) SuspendThread(thread.get());
  }
}

void ProgramRun::kill() {
  if (running()) {
    TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, 5000);
  }
}

bool enterPassword(DWORD pid, const std::string& password, const std::string& confirmation) {
  HWND d = waitForDialogWith(IDC_PASSWORD, kDialogWait, pid);
  if (!d) return false;
  setControlText(d, IDC_PASSWORD, password);
  setControlText(d, IDC_PASSWORD_CONFIRM, confirmation);
  shown("password");
  click(d, IDOK);
  return true;
}

bool enterDecryptionPassword(DWORD pid, const std::string& password) {
  HWND d = waitForDialogWith(IDC_PASSWORD, kDialogWait, pid);
  if (!d || controlVisible(d, IDC_PASSWORD_CONFIRM)) return false;  // the decryption kind has one box
  setControlText(d, IDC_PASSWORD, password);
  shown("password-decrypt");
  click(d, IDOK);
  return true;
}

bool enterFileName(DWORD pid, const std::string& name, int ext, std::string* proposed) {
  std::wstring wide;
  bool ok = enterFileName(pid, W(name), ext, &wide);
  if (proposed) *proposed = A(wide);
  return ok;
}

bool enterFileName(DWORD pid, const std::wstring& name, int ext, std::wstring* proposed) {
  HWND d = waitForDialogWith(IDC_FILE_NAME, kDialogWait, pid);
  if (!d) return false;
  if (proposed) *proposed = controlWideText(d, IDC_FILE_NAME);
  if (!name.empty()) setControlText(d, IDC_FILE_NAME, name);
  SendDlgItemMessageA(d, IDC_FILE_EXT, CB_SETCURSEL, ext, 0);
  shown("file-name");
  click(d, IDOK);
  return true;
}

bool chooseDestinationMode(DWORD pid, int mode) {
  HWND d = waitForDialogWith(IDC_DEST_DRIVE, kDialogWait, pid);
  if (!d) return false;
  CheckRadioButton(d, IDC_DEST_DRIVE, IDC_DEST_MAIL, IDC_DEST_DRIVE + mode);
  shown("destination");
  click(d, IDOK);
  return true;
}

bool chooseFirstMedia(DWORD pid) {
  HWND d = waitForDialogWith(IDC_MEDIA_LIST, kDialogWait, pid);
  if (!d) return false;
  SendDlgItemMessageA(d, IDC_MEDIA_LIST, CB_SETCURSEL, 0, 0);
  shown("media");
  click(d, IDOK);
  return true;
}

bool saveAs(DWORD pid, const std::string& path) { return saveAs(pid, W(path)); }

bool saveAs(DWORD pid, const std::wstring& path) {
  HWND d = waitForWindow(TEXT_SAVE_AS_TITLE, kDialogWait, pid);
  if (!d) return false;
  setControlText(d, 0x47c, path);  // the file-name box of the save dialog
  shown("save-as");
  PostMessageA(d, WM_COMMAND, IDOK, 0);
  return true;
}


HWND readyFolderBrowser(DWORD pid, const std::string& expectedFolder) {
  HWND d = waitForFolderBrowser(pid, kDialogWait);
  if (!d) return nullptr;
  // The browser fills in its selection once it has listed the drives, which
  // takes long on a busy machine. A selection that never comes closes it,
  // so that the program ends instead of waiting for the test's time-out.
  if (!expectedFolder.empty() && !waitForBrowserSelection(d, expectedFolder, kDialogWait)) {
    PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
    return nullptr;
  }
  shown("folder-browser");
  return d;
}

bool startRestore(ProgramRun* run, const std::function<bool()>& startToBrowser, const std::string& folder) {
  for (int attempt = 1;; ++attempt) {
    if (!startToBrowser()) return false;
    if (answerFolderBrowser(run->pid(), true, folder)) return true;
    if (attempt == 2 || run->wait(60000) != 0) return false;
  }
}

bool answerFolderBrowser(DWORD pid, bool ok, const std::string& expectedFolder) {
  HWND d = readyFolderBrowser(pid, expectedFolder);
  if (!d) return false;
  PostMessageA(d, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
  return true;
}

bool answerMessage(DWORD pid, std::string* text, unsigned timeoutMs) {
  std::wstring wide;
  bool answered = answerMessage(pid, &wide, timeoutMs);
  if (text) *text = A(wide);
  return answered;
}

bool answerMessage(DWORD pid, std::wstring* text, unsigned timeoutMs) {
  HWND box = waitForWindow(TEXT_CAPTION, timeoutMs, pid);
  if (!box) return false;
  if (text) *text = controlWideText(box, 0xFFFF);
  shown("message");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return true;
}

bool cancelProgress(DWORD pid, unsigned timeoutMs) {
  HWND d = waitForDialogWith(IDC_PROGRESS_STATUS, timeoutMs, pid);
  if (!d) return false;
  shown("progress");
  PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
  return true;
}

std::string folderOf(const std::string& path) {
  long cut = lastSeparatorIndex(path.c_str());
  return cut < 0 ? std::string() : path.substr(0, static_cast<size_t>(cut));
}

std::vector<std::string> workingFilesOf(DWORD pid) {
  char tag[32];
  snprintf(tag, sizeof tag, "_%lx_", pid);
  std::vector<std::string> out;
  for (const std::string& name : tempFilesWithPrefix("TmpCrp_"))
    if (name.find(tag) != std::string::npos) out.push_back(name);
  return out;
}
