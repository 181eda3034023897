// The real Kyvomar.exe, started as Explorer would start it.
#include <gtest/gtest.h>

#include "manager/archive/payload_trailer.h"
#include "manager/base/message_box.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

namespace {

std::string kyvomarPath() { return windowsPathOf(KYVOMAR_UNIX_PATH); }

struct Started {
  PROCESS_INFORMATION pi = {};
  bool ok = false;
  ~Started() {
    if (ok) {
      TerminateProcess(pi.hProcess, 1);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
};

void start(Started* s, const std::string& exe, const std::string& args) {
  std::string line = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  s->ok = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &s->pi);
}

TEST(Program, BareStartShowsTheHintAndEndsSoonAfterItIsAnswered) {
  std::string exe = kyvomarPath();
  ASSERT_TRUE(fileExists(exe)) << exe;
  TempDir dir;
  std::string copy = dir / "Kyvomar.exe";
  ASSERT_TRUE(CopyFileA(exe.c_str(), copy.c_str(), FALSE));
  Started p;
  start(&p, copy, "");
  ASSERT_TRUE(p.ok);
  HWND box = waitForWindow(TEXT_CAPTION, 15000, p.pi.dwProcessId);
  ASSERT_TRUE(box) << "no message box";
  EXPECT_EQ(messageBoxText(box), "暗号化するファイル、フォルダをドラッグ&ドロップして下さい");
  DWORD pressed = GetTickCount();
  pressButton(box, IDOK);
  ASSERT_EQ(WaitForSingleObject(p.pi.hProcess, 5000), WAIT_OBJECT_0);
  DWORD elapsed = GetTickCount() - pressed;
  DWORD code = 99;
  GetExitCodeProcess(p.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  // One timer period plus scheduling; generous for a loaded machine.
  EXPECT_LT(elapsed, 3000u);
  printf("ended %lu ms after the hint was answered\n", elapsed);
}

// A result cut short or added to starts with the program but is no result:
// it says so, started by itself or named to the program.
TEST(Program, DamagedResultSaysSo) {
  TempDir dir;
  std::string exe = dir / "Kyvomar.exe", damaged = dir / "r.crpt.exe";
  ASSERT_TRUE(CopyFileA(kyvomarPath().c_str(), exe.c_str(), FALSE));
  unsigned char t[PAYLOAD_TRAILER_SIZE];
  encodePayloadTrailer(7, t);
  std::string result = readFile(exe) + "payload" + std::string(reinterpret_cast<char*>(t), sizeof t);
  for (bool named : {false, true}) {
    writeFile(damaged, named ? result + "x" : result.substr(0, result.size() - 1));
    Started p;
    start(&p, named ? exe : damaged, named ? "\"" + damaged + "\"" : "");
    HWND box = p.ok ? waitForWindow(TEXT_CAPTION, 15000, p.pi.dwProcessId) : nullptr;
    ASSERT_TRUE(box) << named;
    EXPECT_EQ(messageBoxText(box), "暗号化ファイルが壊れているか、不完全です。\r\nファイルをもう一度受け取ってください");
    pressButton(box, IDOK);
    EXPECT_EQ(WaitForSingleObject(p.pi.hProcess, 5000), WAIT_OBJECT_0);
  }
}

}  // namespace
