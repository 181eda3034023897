// The main job end to end: a sample tree is encrypted by the real Kyvomar.exe,
// started the way the shell extension starts it and driven through its
// dialogs; the result is then started bare, driven, and the restored tree is
// compared with the original.
//   kyvo_demo.exe [work folder] [--screens folder] [--locale name]
// --locale starts the program under that Linux locale (and so under its code
// page and UI language: en_US.UTF-8 for the English screens); the driver
// stays under its own.
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "e2e/program_driver.h"
#include "e2e/sample_tree.h"
#include "manager/resources/resource.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

namespace {

std::string screensFolder;
int screenCount = 0;
const char* productLocale = nullptr;

// Starts a program of the demo, under productLocale when one is given. The
// switch form goes as the shell extension writes it ("xx /crpmode=0 ...").
bool startProduct(ProgramRun& run, const std::string& exe, const std::vector<std::string>& args) {
  if (productLocale) {
    std::vector<std::wstring> wide;
    for (const std::string& a : args) wide.push_back(W(a));
    return run.startUnder(productLocale, W(exe), wide);
  }
  std::string line;
  for (const std::string& a : args) line += " " + (a[0] == '/' ? a : "\"" + a + "\"");
  if (!args.empty() && args[0][0] == '/') return run.start(exe, "xx" + line, true);
  return run.start(exe, line.empty() ? line : line.substr(1));
}

void takeScreenshot(const char* name) {
  Sleep(300);  // let the dialog paint
  char file[64];
  snprintf(file, sizeof file, "%02d-%s.png", ++screenCount, name);
  std::string target = unixPathOf(screensFolder) + "/" + file;
  // The screen cut down to the windows on it (the desktop is one colour).
  if (runUnix("import -window root png:- | convert - -trim +repage '" + target + "'") == 0)
    printf("  screenshot %s\n", file);
}

bool fail(const char* what) {
  printf("FAILED: %s\n", what);
  return false;
}

bool encrypt(const std::string& exe, const std::string& source, const std::string& result) {
  ProgramRun run;
  if (!startProduct(run, exe, {"/crpmode=0", source})) return fail("Kyvomar.exe did not start");
  std::string proposed;
  if (!enterPassword(run.pid(), "デモ用パスワード", "デモ用パスワード")) return fail("no password dialog");
  if (!enterFileName(run.pid(), "", 0, &proposed)) return fail("no file-name dialog");
  printf("  proposed name: %s\n", proposed.c_str());
  if (!saveAs(run.pid(), result)) return fail("no save-as dialog");
  if (run.wait(300000) != 0) {
    std::string text;
    if (answerMessage(run.pid(), &text, 1000)) printf("  message: %s\n", text.c_str());
    return fail("encryption did not end normally");
  }
  return true;
}

bool decrypt(const std::string& result) {
  ProgramRun run;
  if (!startProduct(run, result, {})) return fail("the result did not start");
  if (!enterDecryptionPassword(run.pid(), "デモ用パスワード")) return fail("no password dialog");
  if (!answerFolderBrowser(run.pid(), true, folderOf(result)))
    return fail("no folder browser showing the result's folder");
  if (run.wait(300000) != 0) return fail("decryption did not end normally");
  std::string text;
  if (answerMessage(run.pid(), &text, 500)) {
    printf("  message: %s\n", text.c_str());
    return fail("decryption reported a failure");
  }
  return true;
}

// The dialogs the main job doesn't pass: a dropped folder (destination and
// media dialogs, the progress window on a larger file), passwords that differ,
// a wrong password, and a restore over files already there.
void screenTour(const std::string& exe, const std::string& work, const std::string& result) {
  printf("screen tour\n");
  ProgramRun differ;
  if (startProduct(differ, exe, {"/crpmode=0", work + "\\source"}) && enterPassword(differ.pid(), "abc", "abd")) {
    std::string text;
    answerMessage(differ.pid(), &text, 20000);  // the passwords do not match
    if (HWND d = waitForDialogWith(IDC_PASSWORD, 20000, differ.pid())) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
    differ.wait(60000);
  }
  std::string tour = work + "\\tour";
  makeFolder(tour);
  writeFile(tour + "\\大きなファイル.bin", patternBytes(48 << 20, 7));
  ProgramRun drop;
  if (startProduct(drop, exe, {tour}) && enterPassword(drop.pid(), "abc", "abc") &&
      enterFileName(drop.pid(), "", 0) && chooseDestinationMode(drop.pid(), 1) && chooseFirstMedia(drop.pid())) {
    if (waitForDialogWith(IDC_PROGRESS_STATUS, 20000, drop.pid())) {
      Sleep(200);  // let it show some progress
      takeScreenshot("progress");
    }
    drop.wait(600000);
  }
  DeleteFileA("R:\\tour.crpt.exe");
  ProgramRun wrong;
  if (startProduct(wrong, result, {}) && enterDecryptionPassword(wrong.pid(), "まちがい") &&
      answerFolderBrowser(wrong.pid(), true, folderOf(result))) {
    std::string text;
    answerMessage(wrong.pid(), &text, 60000);
    wrong.wait(60000);
  }
  ProgramRun again;  // the restored files are there already
  if (startProduct(again, result, {}) && enterDecryptionPassword(again.pid(), "デモ用パスワード") &&
      answerFolderBrowser(again.pid(), true, folderOf(result))) {
    if (HWND question = waitForDialogWith(IDC_REPLACE_ONE, 60000, again.pid())) {
      if (dialogShown) dialogShown("replace");
      PostMessageA(question, WM_COMMAND, IDC_KEEP_ALL, 0);
    }
    again.wait(60000);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string work;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--screens" && i + 1 < argc)
      screensFolder = argv[++i];
    else if (std::string(argv[i]) == "--locale" && i + 1 < argc)
      productLocale = argv[++i];
    else
      work = argv[i];
  }
  if (!screensFolder.empty()) {
    makeFolder(screensFolder);
    dialogShown = takeScreenshot;
    startUnderDesktop = "kyvo,1280x1024";  // the desktop scripts/demo runs the screens on
  }
  TempDir scratch;
  if (work.empty()) work = scratch.path();
  removeTree(work + "\\source");
  removeTree(work + "\\app");
  removeTree(work + "\\out");
  removeTree(work + "\\restore");
  makeFolder(work + "\\app");
  makeFolder(work + "\\out");
  makeFolder(work + "\\restore");
  std::string source = makeSampleTree(work + "\\source");
  std::string exe = work + "\\app\\Kyvomar.exe";
  if (!CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE)) return fail("Kyvomar.exe not built"), 1;

  printf("encrypting %s\n", source.c_str());
  std::string result = work + "\\out\\サンプル.crpt.exe";
  DWORD t0 = GetTickCount();
  if (!encrypt(exe, source, result)) return 1;
  DWORD t1 = GetTickCount();
  printf("result: %s (%lld bytes), encryption %lu ms\n", result.c_str(), fileSizeOf(result), t1 - t0);

  std::string copy = work + "\\restore\\サンプル.crpt.exe";
  CopyFileA(result.c_str(), copy.c_str(), FALSE);
  printf("decrypting into %s\n", (work + "\\restore").c_str());
  DWORD t2 = GetTickCount();
  if (!decrypt(copy)) return 1;
  DWORD t3 = GetTickCount();
  printf("decryption %lu ms\n", t3 - t2);

  std::string difference = compareTrees(source, work + "\\restore\\サンプル");
  if (!screensFolder.empty()) screenTour(exe, work, copy);
  if (difference.empty()) {
    printf("identical\n");
    return 0;
  }
  printf("first difference: %s\n", difference.c_str());
  return 2;
}
