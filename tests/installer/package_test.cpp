// The installer package as an administrator uses it, in a fresh 64-bit
// prefix: a silent installation puts the programs, the reader page and the
// policy templates into Program Files\Kyvomar, writes the class, handler and
// approval entries into both registry views, each naming its own DLL, and
// the .kyvo entries; the file manager's way in (the class by its CLSID)
// loads Kyvoshell64.dll and starts the Kyvomar.exe beside it, and so does a
// double-click on a .kyvo file; LOGFOLDER=1 and CONTAINERFORMAT=2 add the
// Log folder and the policy value; a newer package replaces the older, the
// same one again repairs, and removal leaves nothing of ours behind.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "drop_data_object.h"
#include "kyvo_version.h"
#include "shell_fixture.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

struct View {
  const char* name;
  REGSAM flag;
  const char* dll;  // the DLL registered in this view
};
const View kViews[] = {{"32-bit view", KEY_WOW64_32KEY, "Kyvoshell.dll"},
                       {"64-bit view", KEY_WOW64_64KEY, "Kyvoshell64.dll"}};
const char* const kFiles[] = {"Kyvomar.exe", "Kyvoshell.dll", "Kyvoshell64.dll"};
const char kReaderPage[] = "kyvomar-reader.html";  // beside the program, for senders to forward
// The Group Policy templates beside the program, as in installer/policies.
const char* const kPolicyTemplates[] = {"Kyvomar.admx", "ja-JP\\Kyvomar.adml", "en-US\\Kyvomar.adml"};
const char kDataExtensionKey[] = ".kyvo";
const char kDataProgId[] = "Kyvomar.Data";

const char kPolicyKey[] = "Software\\Kyvomar";
const char kHandlersKey[] = "AllFilesystemObjects\\ShellEx\\ContextMenuHandlers";
// Entries of other programs beside ours, which removal must keep.
const char kNeighbourClsid[] = "{0D2F3C4B-5A69-4788-9A1B-2C3D4E5F6071}";
const char kNeighbourHandler[] = "AllFilesystemObjects\\ShellEx\\ContextMenuHandlers\\KyvoNeighbour";

std::string version() {
  char text[64];
  snprintf(text, sizeof text, "%d.%d.%d.%d", KYVO_VERSION_MAJOR, KYVO_VERSION_MINOR, KYVO_VERSION_PATCH,
           KYVO_VERSION_BUILD);
  return text;
}

std::string packagePath() { return windowsPathOf(KYVO_PACKAGE_UNIX_PATH); }
std::string newerPackagePath() { return windowsPathOf(KYVO_NEWER_PACKAGE_UNIX_PATH); }
std::string builtFile(const char* name) { return windowsPathOf(std::string(KYVO_WIN_BIN_UNIX_PATH) + "/" + name); }

std::string installFolder() {
  char folder[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);  // the 64-bit one
  return std::string(folder) + "\\Kyvomar";
}
std::string installed(const char* name) { return installFolder() + "\\" + name; }

// Runs msiexec with the arguments and waits for it; its exit code.
unsigned msiexec(const std::string& arguments) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  std::string program = std::string(system) + "\\msiexec.exe";
  std::string line = "\"" + program + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 0xFFFFFFFFu;
  DWORD code = 0xFFFFFFFFu;
  if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}
unsigned install(const std::string& package, const std::string& properties = "") {
  return msiexec("/i \"" + package + "\" /qn" + (properties.empty() ? "" : " " + properties));
}
unsigned uninstall(const std::string& package) { return msiexec("/x \"" + package + "\" /qn"); }

// Product codes of the package family's installed products.
std::vector<std::string> installedProducts() {
  std::vector<std::string> codes;
  char code[39];
  for (DWORD i = 0; MsiEnumRelatedProductsA(KYVO_UPGRADE_CODE, 0, i, code) == ERROR_SUCCESS; ++i) codes.push_back(code);
  return codes;
}

std::string productVersion(const std::string& code) {
  char text[64] = "";
  DWORD size = sizeof text;
  MsiGetProductInfoA(code.c_str(), INSTALLPROPERTY_VERSIONSTRING, text, &size);
  return text;
}

std::string fileVersion(const std::string& path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  std::vector<char> block(size ? size : 1);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!size || !GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length))
    return "(none)";
  char text[64];
  snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
           fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
  return text;
}

// The entries the DLL's own registration writes, in one view, naming dll.
void expectRegistration(const View& view, const std::string& dll) {
  SCOPED_TRACE(view.name);
  std::string text;
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, kClsidKey, "", &text, view.flag));
  EXPECT_EQ(text, "KyvoShlExt Class");
  std::string server = std::string(kClsidKey) + "\\InprocServer32";
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, server, "", &text, view.flag));
  EXPECT_EQ(text, dll);
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, server, "ThreadingModel", &text, view.flag));
  EXPECT_EQ(text, "Apartment");
  EXPECT_EQ(valueNames(HKEY_CLASSES_ROOT, server, view.flag), std::vector<std::string>({"", "ThreadingModel"}));
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, kHandlerKey, "", &text, view.flag));
  EXPECT_EQ(text, kClsidText);
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText, &type, &bytes, view.flag));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, std::string("KyvoShlExt extension", 21));  // with its terminator
}

// The .kyvo entries, in the 64-bit view (the file manager's): the ProgID
// with the program's icon and its open command.
void expectDataForm() {
  const std::string program = installed("Kyvomar.exe");
  const std::string entries[][2] = {{kDataExtensionKey, kDataProgId},
                                    {"Kyvomar.Data\\DefaultIcon", program + ",0"},
                                    {"Kyvomar.Data\\shell\\open\\command", "\"" + program + "\" \"%1\""}};
  for (const auto& entry : entries) {
    std::string text = "(missing)";
    readText(HKEY_CLASSES_ROOT, entry[0], "", &text, KEY_WOW64_64KEY);
    EXPECT_EQ(text, entry[1]) << entry[0];
  }
}

// The policy value in a view: its data if it is a REG_DWORD, -1 if missing.
long long policyValue(REGSAM view) {
  DWORD type = 0;
  std::string bytes;
  if (!readValue(HKEY_LOCAL_MACHINE, kPolicyKey, "ContainerFormat", &type, &bytes, view)) return -1;
  if (type != REG_DWORD || bytes.size() != 4) return -2;
  DWORD value = 0;
  memcpy(&value, bytes.data(), 4);
  return value;
}

void invoke(IContextMenu* menu, UINT_PTR offset) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = reinterpret_cast<LPCSTR>(offset);
  EXPECT_EQ(menu->InvokeCommand(&info), S_OK) << offset;
}

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(installedProducts().empty()) << "a product of ours is installed already";
    for (const View& view : kViews) {
      ASSERT_TRUE(writeText(HKEY_LOCAL_MACHINE, kApprovedKey, kNeighbourClsid, "neighbour", view.flag));
      ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, kNeighbourHandler, "", kNeighbourClsid, view.flag));
    }
  }

  void TearDown() override {
    // Whatever a failed test left installed goes, and so do the neighbours.
    for (const std::string& code : installedProducts()) msiexec("/x " + code + " /qn");
    for (const View& view : kViews) {
      deleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, kNeighbourClsid, view.flag);
      deleteTree(HKEY_CLASSES_ROOT, kNeighbourHandler, view.flag);
    }
  }

  // After removal: no file, folder, key or value of ours, and the other
  // programs' entries beside ours as they were.
  void expectNothingOfOursLeft() {
    EXPECT_FALSE(folderExists(installFolder())) << installFolder();
    EXPECT_TRUE(installedProducts().empty());
    for (const View& view : kViews) {
      SCOPED_TRACE(view.name);
      EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClsidKey, view.flag));
      EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kHandlerKey, view.flag));
      DWORD type = 0;
      std::string bytes;
      EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText, &type, &bytes, view.flag));
      EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kPolicyKey, view.flag));
      EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kDataExtensionKey, view.flag));
      EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kDataProgId, view.flag));
      std::string text;
      EXPECT_TRUE(readText(HKEY_LOCAL_MACHINE, kApprovedKey, kNeighbourClsid, &text, view.flag));
      EXPECT_TRUE(readText(HKEY_CLASSES_ROOT, kNeighbourHandler, "", &text, view.flag));
    }
  }
};

TEST_F(Package, SilentInstallWritesBothViewsAndRemovalLeavesNothingOfOurs) {
  ASSERT_EQ(install(packagePath()), 0u);
  std::vector<std::string> files(std::begin(kFiles), std::end(kFiles));
  files.insert(files.end(), {kReaderPage, "Kyvomar.admx", "en-US", "ja-JP"});
  std::sort(files.begin(), files.end());
  EXPECT_EQ(listFolder(installFolder()), files);  // no Log folder unless asked
  EXPECT_TRUE(readFile(installed(kReaderPage)) == readFile(builtFile(kReaderPage)));
  for (const char* name : kPolicyTemplates) {
    std::string source = std::string(KYVO_POLICIES_UNIX_PATH) + "/" + name;
    std::replace(source.begin(), source.end(), '\\', '/');
    EXPECT_TRUE(readFile(installed(name)) == readFile(windowsPathOf(source))) << name;
  }
  expectDataForm();
  for (const char* name : kFiles) {
    std::string bytes = readFile(installed(name));
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_TRUE(bytes == readFile(builtFile(name))) << name;
    EXPECT_EQ(fileVersion(installed(name)), version()) << name;
  }
  for (const View& view : kViews) {
    expectRegistration(view, installed(view.dll));
    EXPECT_EQ(policyValue(view.flag), -1) << view.name;
  }
  std::vector<std::string> products = installedProducts();
  ASSERT_EQ(products.size(), 1u);
  EXPECT_EQ(productVersion(products[0]), version());

  ASSERT_EQ(uninstall(packagePath()), 0u);
  expectNothingOfOursLeft();
}

TEST_F(Package, TheClassAndAKyvoFileStartTheInstalledManager) {
  ASSERT_EQ(install(packagePath()), 0u);
  // The recorder stands in for the installed Kyvomar.exe.
  ASSERT_TRUE(CopyFileA(builtRecorderPath().c_str(), installed("Kyvomar.exe").c_str(), FALSE));
  TempDir dir;
  std::string data = dir / "data";
  ASSERT_TRUE(makeFolder(data));
  ProcessWatch watch;
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    IShellExtInit* init = nullptr;
    ASSERT_EQ(CoCreateInstance(kKyvoShlExtClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                               reinterpret_cast<void**>(&init)),
              S_OK);
    char loaded[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("Kyvoshell64.dll"), loaded, MAX_PATH);
    EXPECT_TRUE(equalsPathIgnoringCase(loaded, installed("Kyvoshell64.dll"))) << loaded;
    IContextMenu* menu = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);

    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 1, "first");
    EXPECT_EQ(menu->QueryContextMenu(popup, 1, 100, 200, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
    ASSERT_EQ(GetMenuItemCount(popup), 5);
    EXPECT_TRUE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
    const char* const texts[] = {"暗号化してドライブに保存", "暗号化して外部メディアに保存", "暗号化してメール添付"};
    for (int i = 0; i < 3; ++i) {
      char text[128] = "";
      GetMenuStringA(popup, 2 + i, text, sizeof text, MF_BYPOSITION);
      EXPECT_STREQ(text, texts[i]);
      EXPECT_EQ(GetMenuItemID(popup, 2 + i), static_cast<UINT>(100 + i));
    }
    DestroyMenu(popup);

    // Names outside the ANSI code page, and a path of 300 characters, arrive
    // whole (the ANSI bytes of the selections that code page holds are the
    // handler tests' part, for both DLLs).
    std::wstring cafe = W(data) + L"\\caf\u00E9.txt";
    std::wstring deep = W(data) + L"\\" + std::wstring(296 - data.size() - 1, L'd') + L".txt";
    ASSERT_EQ(deep.size(), 300u);
    DropDataObject wideNames(std::vector<std::wstring>{cafe, deep});
    ASSERT_EQ(init->Initialize(nullptr, &wideNames, nullptr), S_OK);
    invoke(menu, 0);
    Recorded recorded;
    ASSERT_TRUE(waitForRecord(installFolder(), &recorded));
    EXPECT_EQ(recorded.wideCommandLine, L"xx /crpmode=0 \"" + cafe + L"\" \"" + deep + L"\"");

    menu->Release();
    init->Release();
  }
  // A double-click on a .kyvo file starts the installed program with it.
  std::wstring result = W(data) + L"\\\u8868 \u00E9.kyvo";
  ASSERT_TRUE(writeFile(result, "data"));
  SHELLEXECUTEINFOW open = {};
  open.cbSize = sizeof open;
  open.lpFile = result.c_str();
  open.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(ShellExecuteExW(&open));
  Recorded recorded;
  ASSERT_TRUE(waitForRecord(installFolder(), &recorded));
  EXPECT_EQ(recorded.wideCommandLine, L"\"" + W(installed("Kyvomar.exe")) + L"\" \"" + result + L"\"");
  EXPECT_TRUE(watch.waitForChildren());
  EXPECT_EQ(watch.started(), 2u);
  CoUninitialize();  // lets the DLL go before it is removed
  EXPECT_FALSE(GetModuleHandleA("Kyvoshell64.dll"));

  ASSERT_EQ(uninstall(packagePath()), 0u);
  expectNothingOfOursLeft();
}

TEST_F(Package, LogFolderAndContainerFormatOnlyWhenAsked) {
  struct Case {
    const char* properties;
    bool logFolder;
    bool policy;
  } cases[] = {{"LOGFOLDER=1", true, false},
               {"CONTAINERFORMAT=2", false, true},
               {"LOGFOLDER=1 CONTAINERFORMAT=2", true, true},
               {"LOGFOLDER=0 CONTAINERFORMAT=1", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.properties);
    ASSERT_EQ(install(packagePath(), c.properties), 0u);
    EXPECT_EQ(folderExists(installed("Log")), c.logFolder);
    EXPECT_EQ(policyValue(KEY_WOW64_64KEY), c.policy ? 2 : -1);
    EXPECT_EQ(policyValue(KEY_WOW64_32KEY), -1);
    ASSERT_EQ(uninstall(packagePath()), 0u);
    expectNothingOfOursLeft();
  }
}

TEST_F(Package, NewerPackageReplacesTheOlderAndKeepsThePolicy) {
  ASSERT_EQ(install(packagePath(), "CONTAINERFORMAT=2"), 0u);
  std::vector<std::string> before = installedProducts();
  ASSERT_EQ(before.size(), 1u);

  ASSERT_EQ(install(newerPackagePath()), 0u);
  std::vector<std::string> after = installedProducts();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_NE(after[0], before[0]);
  EXPECT_EQ(productVersion(after[0]), KYVO_NEWER_VERSION);
  for (const char* name : kFiles) EXPECT_TRUE(fileExists(installed(name))) << name;
  for (const View& view : kViews) expectRegistration(view, installed(view.dll));
  EXPECT_EQ(policyValue(KEY_WOW64_64KEY), 2);

  // The older package does not go back over the newer one.
  EXPECT_NE(install(packagePath()), 0u);
  after = installedProducts();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(productVersion(after[0]), KYVO_NEWER_VERSION);

  ASSERT_EQ(uninstall(newerPackagePath()), 0u);
  expectNothingOfOursLeft();
}

TEST_F(Package, InstallingTheSameVersionAgainRepairs) {
  ASSERT_EQ(install(packagePath()), 0u);
  ASSERT_TRUE(DeleteFileA(installed("Kyvoshell64.dll").c_str()));
  deleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText, KEY_WOW64_32KEY);

  // The package asks for the repair itself; the log shows the request.
  TempDir logs;
  std::string log = logs / "repair.log";
  ASSERT_EQ(install(packagePath(), "/l*v \"" + log + "\""), 0u);
  EXPECT_NE(readFile(log).find("REINSTALL = ALL"), std::string::npos);
  EXPECT_TRUE(readFile(installed("Kyvoshell64.dll")) == readFile(builtFile("Kyvoshell64.dll")));
  for (const View& view : kViews) expectRegistration(view, installed(view.dll));
  EXPECT_EQ(installedProducts().size(), 1u);

  ASSERT_EQ(uninstall(packagePath()), 0u);
  expectNothingOfOursLeft();
}

}  // namespace
