#include "e2e/program_driver.h"

#include "common/text_util.h"
#include "manager/resources/resource.h"
#include "manager/startup/message_box.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

void (*dialogShown)(const char* name) = nullptr;

namespace {
const unsigned kDialogWait = 30000;

void shown(const char* name) {
  if (dialogShown) dialogShown(name);
}

void click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

std::string builtKyvomarPath() { return windowsPathOf(KYVOMAR_UNIX_PATH); }
std::string builtShellPath() { return windowsPathOf(KYVOSHELL_UNIX_PATH); }

ProgramRun::~ProgramRun() {
  kill();
  if (started_) {
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
}

bool ProgramRun::start(const std::string& exe, const std::string& args, bool raw) {
  return start(W(exe), W(args), raw);
}

bool ProgramRun::start(const std::wstring& exe, const std::wstring& args, bool raw) {
  std::wstring line = raw ? args : L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  started_ = CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_) != 0;
  return started_;
}

long ProgramRun::wait(unsigned timeoutMs) {
  if (!started_ || WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(pi_.hProcess, &code);
  return static_cast<long>(code);
}

bool ProgramRun::running() const { return started_ && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

void ProgramRun::kill() {
  if (running()) {
    TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, 5000);
  }
}

bool enterPassword(DWORD pid, const std::string& password, const std::string& confirmation) {
  HWND d = waitForWindow("暗号化", kDialogWait, pid);
  if (!d) return false;
  setControlText(d, IDC_PASSWORD, password);
  setControlText(d, IDC_PASSWORD_CONFIRM, confirmation);
  shown("password");
  click(d, IDOK);
  return true;
}

bool enterDecryptionPassword(DWORD pid, const std::string& password) {
  HWND d = waitForWindow("暗号化", kDialogWait, pid);
  if (!d || controlText(d, IDC_PASSWORD_HEADING) != "復号確認") return false;
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
  HWND d = waitForWindow("暗号化ファイル名指定", kDialogWait, pid);
  if (!d) return false;
  if (proposed) *proposed = controlWideText(d, IDC_FILE_NAME);
  if (!name.empty()) setControlText(d, IDC_FILE_NAME, name);
  SendDlgItemMessageA(d, IDC_FILE_EXT, CB_SETCURSEL, ext, 0);
  shown("file-name");
  click(d, IDOK);
  return true;
}

bool chooseDestinationMode(DWORD pid, int mode) {
  HWND d = waitForWindow("暗号化ファイル保存先選択", kDialogWait, pid);
  if (!d) return false;
  CheckRadioButton(d, IDC_DEST_DRIVE, IDC_DEST_MAIL, IDC_DEST_DRIVE + mode);
  shown("destination");
  click(d, IDOK);
  return true;
}

bool chooseFirstMedia(DWORD pid) {
  HWND d = waitForWindow("メディア選択", kDialogWait, pid);
  if (!d) return false;
  SendDlgItemMessageA(d, IDC_MEDIA_LIST, CB_SETCURSEL, 0, 0);
  shown("media");
  click(d, IDOK);
  return true;
}

bool saveAs(DWORD pid, const std::string& path) { return saveAs(pid, W(path)); }

bool saveAs(DWORD pid, const std::wstring& path) {
  HWND d = waitForWindow("暗号化されたファイルを保存します", kDialogWait, pid);
  if (!d) return false;
  setControlText(d, 0x47c, path);  // the file-name box of the save dialog
  shown("save-as");
  PostMessageA(d, WM_COMMAND, IDOK, 0);
  return true;
}


bool answerFolderBrowser(DWORD pid, bool ok, const std::string& expectedFolder) {
  HWND d = waitForFolderBrowser(pid, kDialogWait);
  if (!d) return false;
  // The browser fills in its selection once it has listed the drives, which
  // takes long on a busy machine. A selection that never comes closes it,
  // so that the program ends instead of waiting for the test's time-out.
  if (!expectedFolder.empty() && !waitForBrowserSelection(d, expectedFolder, kDialogWait)) {
    PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
    return false;
  }
  shown("folder-browser");
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
  HWND box = waitForWindow(kDefaultCaption, timeoutMs, pid);
  if (!box) return false;
  if (text) *text = controlWideText(box, 0xFFFF);
  shown("message");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return true;
}

bool cancelProgress(DWORD pid, unsigned timeoutMs) {
  HWND d = waitForWindow("処理状況", timeoutMs, pid);
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
