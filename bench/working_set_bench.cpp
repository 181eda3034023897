// Memory of the real Kyvomar.exe over a whole encryption and decryption.
//
//   working_set_bench CORPUS WORK
//
// A copy of the built Kyvomar.exe is started in WORK as the shell extension
// starts it ("xx /crpmode=0" and the quoted folder), its dialogs are driven
// from here, and GetProcessMemoryInfo is polled on the child until it ends:
// the largest PeakWorkingSetSize and PagefileUsage seen are its peaks. The
// result is then started bare, its password and folder are entered, and its
// peaks are taken the same way; the restored tree is compared with CORPUS.
// The figures at the moment the first dialog shows (nothing done yet) are
// printed too, as the program's resting size, and the peak once every dialog
// has been shown, just before the job starts. Figures for bench/run are
// printed as lines "@name value" (bytes, seconds).
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <string>

#include "e2e/program_driver.h"
#include "manager/base/message_box.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

namespace {

const char kPassword[] = "ベンチ表ソ能";

struct Memory {
  SIZE_T peakWorkingSet = 0, workingSet = 0, pagefile = 0;
  unsigned long long temporary = 0;  // bytes in the temporary folder
  void takeMax(const Memory& m) {
    if (m.temporary > temporary) temporary = m.temporary;
    if (m.peakWorkingSet > peakWorkingSet) peakWorkingSet = m.peakWorkingSet;
    if (m.workingSet > workingSet) workingSet = m.workingSet;
    if (m.pagefile > pagefile) pagefile = m.pagefile;
  }
};

bool sample(HANDLE process, Memory* out) {
  PROCESS_MEMORY_COUNTERS_EX c = {};
  c.cb = sizeof c;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c)) return false;
  out->peakWorkingSet = c.PeakWorkingSetSize;
  out->workingSet = c.WorkingSetSize;
  // Wine reports no peak of its own for the page-file figure: the polled
  // maximum of the current value stands for it.
  out->pagefile = c.PagefileUsage > c.PeakPagefileUsage ? c.PagefileUsage : c.PeakPagefileUsage;
  return true;
}

// Bytes of the files in a folder and below it.
unsigned long long folderBytes(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  unsigned long long total = 0;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) total += folderBytes(folder + name + L"\\");
    else total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return total;
}

std::wstring temporaryFolder() {
  wchar_t path[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, path);
  return n > 0 && n <= MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// Polls the memory counters of one process every few milliseconds until it
// ends or the object goes.
class MemoryWatch {
 public:
  explicit MemoryWatch(DWORD pid) {
    process_ = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
    InitializeCriticalSection(&lock_);
    if (process_) thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
  }
  ~MemoryWatch() {
    done_ = true;
    if (thread_) {
      WaitForSingleObject(thread_, 10000);
      CloseHandle(thread_);
    }
    if (process_) CloseHandle(process_);
    DeleteCriticalSection(&lock_);
  }
  MemoryWatch(const MemoryWatch&) = delete;
  MemoryWatch& operator=(const MemoryWatch&) = delete;
  bool ok() const { return process_ != nullptr; }
  Memory peak() {
    EnterCriticalSection(&lock_);
    Memory m = peak_;
    LeaveCriticalSection(&lock_);
    return m;
  }
  Memory latest() {
    EnterCriticalSection(&lock_);
    Memory m = latest_;
    LeaveCriticalSection(&lock_);
    return m;
  }
  unsigned samples() const { return samples_; }
  HANDLE process() const { return process_; }

 private:
  static DWORD WINAPI run(void* p) {
    MemoryWatch* self = static_cast<MemoryWatch*>(p);
    const std::wstring temporary = temporaryFolder();
    // What the folder held before counts as nothing: the figure is what the job adds.
    const unsigned long long before = folderBytes(temporary);
    unsigned long long temporaryBytes = 0;
    for (unsigned round = 0; !self->done_; ++round) {
      Memory m;
      if (round % 10 == 0) {  // the folder is slower to measure
        unsigned long long bytes = folderBytes(temporary);
        temporaryBytes = bytes > before ? bytes - before : 0;
      }
      m.temporary = temporaryBytes;
      if (sample(self->process_, &m)) {
        EnterCriticalSection(&self->lock_);
        self->latest_ = m;
        self->peak_.takeMax(m);
        LeaveCriticalSection(&self->lock_);
        ++self->samples_;
      }
      if (WaitForSingleObject(self->process_, 5) == WAIT_OBJECT_0) break;
    }
    return 0;
  }
  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  CRITICAL_SECTION lock_;
  Memory peak_, latest_;
  volatile bool done_ = false;
  volatile unsigned samples_ = 0;
};

double now() { return GetTickCount() / 1000.0; }

void figure(const std::string& name, double value) { printf("@%s %.3f\n", name.c_str(), value); }

double mib(SIZE_T bytes) { return static_cast<double>(bytes) / (1 << 20); }

// What Linux itself says about the process at this moment (the unix process
// whose command line holds match, this program's own left out), beside what GetProcessMemoryInfo reports.
void printLinuxView(const std::string& match, HANDLE process) {
  std::string out;
  runUnix("for d in /proc/[0-9]*; do if tr '\\0' ' ' 2>/dev/null <$d/cmdline | grep -F '" + match +
              "' | grep -qvF working_set_bench; then grep -E '^(VmHWM|VmRSS|RssAnon|RssFile)' $d/status | tr -s ' \\t' ' ' | "
              "tr '\\n' ' '; fi; done",
          &out);
  Memory m;
  sample(process, &m);
  printf("  Linux /proc/PID/status now: %s\n", out.empty() ? "(process not found)" : out.c_str());
  printf("  GetProcessMemoryInfo now:   PeakWorkingSetSize %lu kB, WorkingSetSize %lu kB, PagefileUsage %lu kB\n",
         static_cast<unsigned long>(m.peakWorkingSet >> 10), static_cast<unsigned long>(m.workingSet >> 10),
         static_cast<unsigned long>(m.pagefile >> 10));
}

// Waits for the end of a driven run; a message box on the way is read,
// answered and counted as a failure.
long waitForEnd(ProgramRun* run, std::string* message) {
  for (int i = 0; i < 2400; ++i) {  // 10 minutes
    long code = run->wait(250);
    if (code != -1) return code;
    HWND box = waitForWindow(TEXT_CAPTION, 0, run->pid());
    if (box) {
      *message = messageBoxText(box);
      PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
  }
  run->kill();
  return -1;
}

// The peak so far once the last dialog before the job has settled.
Memory peakWithDialogs(MemoryWatch* watch) {
  Sleep(500);
  return watch->peak();
}

void report(const char* what, const Memory& idle, const Memory& dialogs, const Memory& peak, double seconds,
            unsigned samples) {
  printf("%s: %.1f s, %u samples; at the first dialog: working set %.2f MiB, page file %.2f MiB; "
         "peak with every dialog shown, before the job: %.2f MiB; "
         "peak working set %.2f MiB, peak page file %.2f MiB; peak added to the temporary folder %.1f MB\n",
         what, seconds, samples, mib(idle.workingSet), mib(idle.pagefile), mib(dialogs.peakWorkingSet),
         mib(peak.peakWorkingSet), mib(peak.pagefile), peak.temporary / 1e6);
  std::string prefix = what;
  figure(prefix + "_s", seconds);
  figure(prefix + "_idle_ws", static_cast<double>(idle.workingSet));
  figure(prefix + "_idle_pagefile", static_cast<double>(idle.pagefile));
  figure(prefix + "_dialogs_peak_ws", static_cast<double>(dialogs.peakWorkingSet));
  figure(prefix + "_peak_ws", static_cast<double>(peak.peakWorkingSet));
  figure(prefix + "_peak_pagefile", static_cast<double>(peak.pagefile));
  figure(prefix + "_peak_temp", static_cast<double>(peak.temporary));
  fflush(stdout);
}

bool fail(const std::string& what) {
  printf("FAILED: %s\n", what.c_str());
  return false;
}

bool encrypt(const std::string& exe, const std::string& corpus, const std::string& result) {
  ProgramRun run;
  double start = now();
  if (!run.start(exe, "xx /crpmode=0 \"" + corpus + "\"", true)) return fail("Kyvomar.exe did not start");
  MemoryWatch watch(run.pid());
  if (!watch.ok()) return fail("can't open the process for its memory counters");
  if (!waitForWindow("暗号化", 30000, run.pid())) return fail("no password dialog");
  Memory idle = watch.latest();
  printLinuxView(corpus, watch.process());
  if (!enterPassword(run.pid(), kPassword, kPassword)) return fail("password dialog");
  if (!enterFileName(run.pid(), "", 0)) return fail("file-name dialog");
  if (!waitForWindow("暗号化されたファイルを保存します", 30000, run.pid())) return fail("no save-as dialog");
  Memory dialogs = peakWithDialogs(&watch);
  if (!saveAs(run.pid(), result)) return fail("save-as dialog");
  std::string message;
  long code = waitForEnd(&run, &message);
  double seconds = now() - start;
  Sleep(20);
  if (code != 0 || !message.empty()) return fail("encryption ended with " + std::to_string(code) + " " + message);
  if (!fileExists(result)) return fail("no result file");
  report("encryption", idle, dialogs, watch.peak(), seconds, watch.samples());
  return true;
}

bool decrypt(const std::string& result) {
  ProgramRun run;
  double start = now();
  if (!run.start(result, "")) return fail("the result did not start");
  MemoryWatch watch(run.pid());
  if (!watch.ok()) return fail("can't open the process for its memory counters");
  if (!waitForWindow("暗号化", 30000, run.pid())) return fail("no password dialog");
  Memory idle = watch.latest();
  printLinuxView(result, watch.process());
  if (!enterDecryptionPassword(run.pid(), kPassword)) return fail("decryption password dialog");
  if (!waitForFolderBrowser(run.pid(), 30000)) return fail("no folder browser");
  Memory dialogs = peakWithDialogs(&watch);
  if (!answerFolderBrowser(run.pid(), true, folderOf(result))) return fail("folder browser");
  std::string message;
  long code = waitForEnd(&run, &message);
  double seconds = now() - start;
  if (code != 0 || !message.empty()) return fail("decryption ended with " + std::to_string(code) + " " + message);
  report("decryption", idle, dialogs, watch.peak(), seconds, watch.samples());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: working_set_bench CORPUS WORK\n");
    return 2;
  }
  std::string corpus = argv[1], work = argv[2];
  std::string name = corpus.substr(corpus.find_last_of('\\') + 1);
  removeTree(work);
  makeFolder(work + "\\app");
  makeFolder(work + "\\restore");
  std::string exe = work + "\\app\\Kyvomar.exe";
  if (!CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE)) return fail("Kyvomar.exe not built"), 1;
  std::string result = work + "\\restore\\" + name + ".crpt.exe";
  printf("%s\n", corpus.c_str());
  bool ok = encrypt(exe, corpus, result) && decrypt(result);
  if (ok) {
    std::string difference = compareTrees(corpus, work + "\\restore\\" + name);
    ok = difference.empty() || fail("restored tree differs: " + difference);
    if (ok) printf("restored tree matches the corpus\n");
  }
  removeTree(work);
  return ok ? 0 : 1;
}
