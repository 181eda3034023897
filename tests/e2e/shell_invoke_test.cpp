// From the context menu to the delivered file: the registered Kyvoshell.dll,
// given a selection through CF_HDROP, starts the real Kyvomar.exe beside it for
// each of the three commands, and the dialogs are driven from here.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <memory>

#include "drop_data_object.h"
#include "e2e/program_driver.h"
#include "e2e/sample_tree.h"
#include "fake_mapi/fake_mapi.h"
#include "manager/archive/extractor.h"
#include "manager/base/job_state.h"
#include "shell_fixture.h"
#include "support/job_files.h"
#include "support/test_files.h"
#include "support/narrow_paths.h"
#include "support/restore_result.h"
#include "support/window_driver.h"

namespace {

const char kPassword[] = "メニューから";

// The Kyvomar process started from folder whose window has this title.
DWORD waitForProgram(const std::string& folder, const char* title, unsigned timeoutMs = 30000) {
  std::string exe = folder + "\\Kyvomar.exe";
  DWORD start = GetTickCount();
  do {
    HWND w = nullptr;
    while ((w = FindWindowExA(nullptr, w, nullptr, title)) != nullptr) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
      if (!process) continue;
      char image[MAX_PATH * 2];
      DWORD size = sizeof image;
      bool ours = QueryFullProcessImageNameA(process, 0, image, &size) && equalsPathIgnoringCase(image, exe);
      CloseHandle(process);
      if (ours && IsWindowVisible(w)) return pid;
    }
    Sleep(20);
  } while (GetTickCount() - start < timeoutMs);
  return 0;
}

bool waitForExit(DWORD pid, unsigned timeoutMs = 300000) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return true;  // already gone
  bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

class ShellInvoke : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    app = work / "app";
    ASSERT_TRUE(makeFolder(app + "\\Log"));
    ASSERT_TRUE(CopyFileA(builtKyvomarPath().c_str(), (app + "\\Kyvomar.exe").c_str(), FALSE));
    mapi.reset(new FakeMapiInProcess(FAKE_MAPI_SEND_MAIL));  // the mail program the extension's starts meet
    ASSERT_TRUE(mapi->ok());
    ASSERT_TRUE(createKey(HKEY_LOCAL_MACHINE, kApprovedKey));
    shell.reset(new LoadedShell(app, false));
    ASSERT_TRUE(shell->ok());
    ASSERT_EQ(shell->registerServer(), S_OK);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    source = makeSampleTree(work / "src");
    single = work / "src\\単独.txt";
    writeFile(single, "one file");
  }
  void TearDown() override {
    if (shell && shell->ok()) shell->unregisterServer();
    CoUninitialize();
    shell.reset();
    mapi.reset();
  }
  // Picks command `mode` on the selection, as the file manager does.
  void invoke(int mode, const std::vector<std::string>& selection) {
    IShellExtInit* init = nullptr;
    ASSERT_EQ(CoCreateInstance(kKyvoShlExtClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                               reinterpret_cast<void**>(&init)),
              S_OK);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    DropDataObject object(selection);
    ASSERT_EQ(init->Initialize(nullptr, &object, nullptr), S_OK);
    HMENU popup = CreatePopupMenu();
    ASSERT_EQ(HRESULT_CODE(menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL)), 3);
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCEA(mode);
    EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
    DestroyMenu(popup);
    menu->Release();
    init->Release();
  }
  // Restores a result in-process and compares it with the sources.
  void expectRestores(const std::string& result) {
    TempDir into;
    makeFolder(into / "out");
    ASSERT_EQ(restoreResult(result, into / "out", kPassword), 0);
    EXPECT_EQ(compareTrees(source, into / "out\\サンプル"), "");
    EXPECT_EQ(readFile(into / "out\\単独.txt"), "one file");
  }
  size_t logRecords() {
    std::string log = readFile(app + "\\Log\\Crypt.Log");
    size_t n = 0;
    for (size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2) ++n;
    return n;
  }
  RegistryGuard guard;
  TempDir work;
  std::string app, source, single;
  std::unique_ptr<LoadedShell> shell;
  std::unique_ptr<FakeMapiInProcess> mapi;
};

TEST_F(ShellInvoke, SaveToADriveThroughTheSaveAsDialog) {
  invoke(0, {single, source});
  DWORD pid = waitForProgram(app, "暗号化");
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(enterPassword(pid, kPassword, kPassword));
  std::string proposed;
  ASSERT_TRUE(enterFileName(pid, "", 0, &proposed));
  EXPECT_EQ(proposed, "サンプル.crpt");
  std::string result = work / "saved.crpt.exe";
  ASSERT_TRUE(saveAs(pid, result));
  ASSERT_TRUE(waitForExit(pid));
  expectRestores(result);
  EXPECT_EQ(logRecords(), 6u);  // six files were packed
}

TEST_F(ShellInvoke, SaveToAnExternalDriveMarkedRemovable) {
  DeleteFileA("R:\\サンプル.crpt.exe");
  invoke(1, {single, source});
  DWORD pid = waitForProgram(app, "暗号化");
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(enterPassword(pid, kPassword, kPassword));
  ASSERT_TRUE(enterFileName(pid, "", 0));
  ASSERT_TRUE(chooseFirstMedia(pid));
  ASSERT_TRUE(waitForExit(pid));
  ASSERT_TRUE(fileExists("R:\\サンプル.crpt.exe"));
  expectRestores("R:\\サンプル.crpt.exe");
  EXPECT_NE(readFile(app + "\\Log\\Crypt.Log").find("DrvType=2;DrvName=R:;FilePath=\"R:\\サンプル.crpt.exe\";"),
            std::string::npos);
  DeleteFileA("R:\\サンプル.crpt.exe");
  EXPECT_FALSE(fileExists(tempFolder() + "サンプル.crpt.exe"));
}

TEST_F(ShellInvoke, AttachToMailHandsTheFileOverAndDeletesIt) {
  TempDir mailed;
  ScopedEnvironment copyTo("KYVO_FAKE_MAPI_COPY_TO", mailed.path());
  invoke(2, {single, source});
  DWORD pid = waitForProgram(app, "暗号化");
  ASSERT_NE(pid, 0u);
  ASSERT_TRUE(enterPassword(pid, kPassword, kPassword));
  ASSERT_TRUE(enterFileName(pid, "", 1));  // the provisional extension
  ASSERT_TRUE(waitForExit(pid));
  std::string attachment = mailed / "サンプル.crpt.ex_";
  ASSERT_TRUE(fileExists(attachment));
  expectRestores(attachment);
  EXPECT_FALSE(fileExists(tempFolder() + "サンプル.crpt.ex_"));  // deleted after the hand-off
  EXPECT_EQ(logRecords(), 6u);
}

TEST_F(ShellInvoke, TenProcessesEncryptingAtOnceLogEveryRecordWhole) {
  std::vector<DWORD> pids;
  const int kProcesses = 10;
  for (int p = 0; p < kProcesses; ++p) {
    std::vector<std::string> files;
    for (int f = 0; f < 3; ++f) {
      std::string name = work / ("p" + std::to_string(p) + "_" + std::to_string(f) + ".txt");
      writeFile(name, patternBytes(20000 + f, p * 3 + f));
      files.push_back(name);
    }
    invoke(2, files);
    DWORD pid = 0;
    for (int tries = 0; tries < 3000 && pid == 0; ++tries) {
      DWORD found = waitForProgram(app, "暗号化", 50);
      if (found && std::find(pids.begin(), pids.end(), found) == pids.end()) pid = found;
    }
    ASSERT_NE(pid, 0u);
    pids.push_back(pid);
  }
  // Confirm every password first, then every name, so that the jobs overlap.
  for (DWORD pid : pids) ASSERT_TRUE(enterPassword(pid, kPassword, kPassword));
  for (DWORD pid : pids) ASSERT_TRUE(enterFileName(pid, "", 0));
  for (DWORD pid : pids) ASSERT_TRUE(waitForExit(pid));
  std::string log = readFile(app + "\\Log\\Crypt.Log");
  size_t records = 0, start = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string record = log.substr(start, end - start);
    ++records;
    EXPECT_EQ(record.rfind("ProcName=Kyvomar.exe;CaptionName=;", 0), 0u) << record;
    EXPECT_EQ(record.substr(record.size() - 14), ";SrcDrvType=3;") << record;
  }
  EXPECT_EQ(start, log.size());
  EXPECT_EQ(records, static_cast<size_t>(kProcesses * 3));
  for (int p = 0; p < kProcesses; ++p)
    for (int f = 0; f < 3; ++f)
      EXPECT_NE(log.find("p" + std::to_string(p) + "_" + std::to_string(f) + ".txt\";"), std::string::npos);
}

}  // namespace
