// Starting the real Kyvomar.exe and driving its dialogs from this process, as
// a user would: every step finds the window in the driven process (the
// program's own dialogs by their controls, so in either language; the others
// by their titles) and works it with plain window messages.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

std::string builtKyvomarPath();  // bin/Kyvomar.exe of this build
std::string builtShellPath();    // bin/Kyvoshell.dll of this build

class ProgramRun {
 public:
  ProgramRun() = default;
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;
  // Starts exe with the command line "\"exe\" args" (or exactly commandLine
  // when rawCommandLine is set).
  bool start(const std::string& exe, const std::string& args, bool rawCommandLine = false);
  bool start(const std::wstring& exe, const std::wstring& args, bool rawCommandLine = false);
  // Starts exe with the arguments (each one as it is) under another Linux
  // locale, and so under that system code page and UI language, in the same
  // prefix: Wine takes them from the locale a program starts under, so the
  // program is started from the Linux side.
  bool startUnder(const char* locale, const std::wstring& exe, const std::vector<std::wstring>& args);
  // Waits for the end; the exit code, or -1 on time-out.
  long wait(unsigned timeoutMs = 60000);
  bool running() const;
  DWORD pid() const { return pi_.dwProcessId; }
  // Holds every thread of the program where it is (until it is killed).
  void suspend();
  void kill();

 private:
  void release();  // the handles of the program started last
  PROCESS_INFORMATION pi_ = {};
  bool started_ = false;
};

// Steps of the dialogs. Each returns false when its window did not appear.
bool enterPassword(DWORD pid, const std::string& password, const std::string& confirmation);
bool enterDecryptionPassword(DWORD pid, const std::string& password);
// Leaves the proposed name when name is empty; ext 0 = "exe", 1 = "ex_".
bool enterFileName(DWORD pid, const std::string& name, int ext, std::string* proposed = nullptr);
bool enterFileName(DWORD pid, const std::wstring& name, int ext, std::wstring* proposed);
bool chooseDestinationMode(DWORD pid, int mode);
bool chooseFirstMedia(DWORD pid);
bool saveAs(DWORD pid, const std::string& path);
bool saveAs(DWORD pid, const std::wstring& path);
// Presses OK in the folder browser, or Cancel. With expectedFolder, OK is
// pressed only once the browser shows that folder as its selection (it
// applies the preselected folder after it has appeared).
// A restore up to its folder browser, answered with OK once the browser shows
// folder. startToBrowser starts run and enters the password. Wine's browser
// deletes folders from its tree when a program removes a folder meanwhile,
// and then never reaches the one it is told; such a browser is cancelled and
// the restore started once more, with a fresh tree.
bool startRestore(ProgramRun* run, const std::function<bool()>& startToBrowser, const std::string& folder);
bool answerFolderBrowser(DWORD pid, bool ok = true, const std::string& expectedFolder = "");
// The folder browser once it shows expectedFolder, left open for the caller
// to answer; null (and the browser cancelled) if it does not come.
HWND readyFolderBrowser(DWORD pid, const std::string& expectedFolder);
// Reads and closes a message box of the program (its caption in either language).
bool answerMessage(DWORD pid, std::string* text, unsigned timeoutMs = 20000);
bool answerMessage(DWORD pid, std::wstring* text, unsigned timeoutMs = 20000);
// Presses Cancel in the progress window as soon as it appears.
bool cancelProgress(DWORD pid, unsigned timeoutMs = 20000);

// The folder part of a path (Shift-JIS aware), without its trailing backslash.
std::string folderOf(const std::string& path);

// The Wine desktop ("name,widthxheight") that programs started from the Linux
// side open their windows on, when this process runs on one (the demo's
// screens): windows of another desktop are not seen from here. Null: none.
extern const char* startUnderDesktop;

// Called with a short name after each dialog has been found and filled in,
// before it is confirmed (the demo takes screenshots here).
extern void (*dialogShown)(const char* name);

#include <vector>

// Working files in the temporary folder that belong to Kyvomar process pid
// (their names carry its number in lower-case hexadecimal between
// underscores).
std::vector<std::string> workingFilesOf(DWORD pid);
