// DllRegisterServer and DllUnregisterServer on the prefix's registry: the
// approval value first, exactly the class and handler entries, idempotence,
// paths with a quotation mark, and removal that keeps the shared parents.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell_fixture.h"
#include "support/test_files.h"

namespace {

const std::string kServerKey = std::string(kClsidKey) + "\\InprocServer32";
const char kHandlersKey[] = "AllFilesystemObjects\\ShellEx\\ContextMenuHandlers";

struct Registration : ::testing::Test {
  RegistryGuard guard;
  TempDir dir;

  void SetUp() override { ASSERT_TRUE(createKey(HKEY_LOCAL_MACHINE, kApprovedKey)); }
};

// The DLL's path as the loader reports it.
std::string modulePathOf(HMODULE module) {
  char path[1024];
  DWORD n = GetModuleFileNameA(module, path, sizeof path);
  return std::string(path, n);
}

void expectRegisteredEntries(const std::string& dllPath) {
  std::string text;
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, kClsidKey, "", &text));
  EXPECT_EQ(text, "KyvoShlExt Class");
  EXPECT_EQ(valueNames(HKEY_CLASSES_ROOT, kClsidKey), std::vector<std::string>({""}));
  EXPECT_EQ(subKeyNames(HKEY_CLASSES_ROOT, kClsidKey), std::vector<std::string>({"InprocServer32"}));

  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, kServerKey, "", &text));
  EXPECT_EQ(text, dllPath);
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", &text));
  EXPECT_EQ(text, "Apartment");
  EXPECT_EQ(valueNames(HKEY_CLASSES_ROOT, kServerKey), std::vector<std::string>({"", "ThreadingModel"}));
  EXPECT_TRUE(subKeyNames(HKEY_CLASSES_ROOT, kServerKey).empty());

  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, kHandlerKey, "", &text));
  EXPECT_EQ(text, kClsidText);
  EXPECT_EQ(valueNames(HKEY_CLASSES_ROOT, kHandlerKey), std::vector<std::string>({""}));
  EXPECT_TRUE(subKeyNames(HKEY_CLASSES_ROOT, kHandlerKey).empty());

  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText, &type, &bytes));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, std::string("KyvoShlExt extension", 21));  // with its terminator
}

TEST_F(Registration, RegisterWritesExactlyTheClassHandlerAndApprovalEntries) {
  LoadedShell shell(dir.path(), false);
  ASSERT_TRUE(shell.ok());
  EXPECT_EQ(shell.registerServer(), S_OK);
  expectRegisteredEntries(modulePathOf(shell.module()));
  expectRegisteredEntries(shell.dllPath());
}

TEST_F(Registration, WithoutTheApprovalKeyNothingIsWrittenAndAccessIsDenied) {
  if (!guard.removeApprovedKey()) GTEST_SKIP() << "the approval key has sub-keys here; left alone";
  ASSERT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kApprovedKey));
  LoadedShell shell(dir.path(), false);
  ASSERT_TRUE(shell.ok());
  EXPECT_EQ(shell.registerServer(), E_ACCESSDENIED);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClsidKey));
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kApprovedKey));  // opened, never created
  guard.restoreApprovedKey();
}

TEST_F(Registration, RegisteringTwiceLeavesTheSameEntriesAndWipesWhatStoodBeneath) {
  LoadedShell shell(dir.path(), false);
  ASSERT_TRUE(shell.ok());
  ASSERT_EQ(shell.registerServer(), S_OK);
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\Extra\\Deeper", "x", "1"));
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, kClsidKey, "Stale", "1"));
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, kServerKey, "Stale", "1"));
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, std::string(kHandlerKey) + "\\Extra", "", "1"));
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, kHandlerKey, "Stale", "1"));
  EXPECT_EQ(shell.registerServer(), S_OK);
  expectRegisteredEntries(shell.dllPath());
}

TEST_F(Registration, PathWithASingleQuotationMarkIsRegisteredWhole) {
  std::string folder = dir / "Kyvo's tools";
  ASSERT_TRUE(makeFolder(folder));
  LoadedShell shell(folder, false);
  ASSERT_TRUE(shell.ok());
  EXPECT_EQ(shell.registerServer(), S_OK);
  expectRegisteredEntries(folder + "\\" + builtDllName());
}

TEST_F(Registration, ShiftJisPathIsRegisteredUnchanged) {
  std::string folder = dir / "表示ソフト''能";  // trail bytes 0x5C, and two quotation marks
  ASSERT_TRUE(makeFolder(folder));
  LoadedShell shell(folder, false);
  ASSERT_TRUE(shell.ok());
  EXPECT_EQ(shell.registerServer(), S_OK);
  expectRegisteredEntries(folder + "\\" + builtDllName());
}

TEST_F(Registration, PathOutsideTheCodePageIsRegisteredExactly) {
  // U+00E9 and U+2603 have no place in code page 932; an ANSI path would name
  // another folder.
  WideFolder folder(dir.path(), L"Kyvo caf\u00E9 \u2603's");
  ASSERT_TRUE(folder.ok());
  {
    LoadedShell shell(folder.path(), false);
    ASSERT_TRUE(shell.ok());
    EXPECT_EQ(shell.registerServer(), S_OK);
    std::wstring text;
    ASSERT_TRUE(readWideText(HKEY_CLASSES_ROOT, kServerKey, "", &text));
    EXPECT_EQ(text, shell.wideDllPath());
    EXPECT_EQ(shell.unregisterServer(), S_OK);
  }
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClsidKey));
}

TEST_F(Registration, UnregisterRemovesBothKeysAndKeepsTheSharedParents) {
  LoadedShell shell(dir.path(), false);
  ASSERT_TRUE(shell.ok());
  ASSERT_EQ(shell.registerServer(), S_OK);
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\Extra", "", "1"));
  ASSERT_TRUE(writeText(HKEY_CLASSES_ROOT, std::string(kHandlersKey) + "\\KyvoNeighbour", "", "n"));
  EXPECT_EQ(shell.unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClsidKey));
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, "CLSID"));
  EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, kHandlersKey));
  EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, std::string(kHandlersKey) + "\\KyvoNeighbour"));
  DWORD type = 0;
  std::string bytes;
  EXPECT_FALSE(readValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText, &type, &bytes));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kApprovedKey));
  deleteTree(HKEY_CLASSES_ROOT, std::string(kHandlersKey) + "\\KyvoNeighbour");
  // Unregistering again finds nothing and still succeeds.
  EXPECT_EQ(shell.unregisterServer(), S_OK);
}

TEST_F(Registration, UnregisterWorksWithoutTheApprovalValueOrKey) {
  LoadedShell shell(dir.path(), false);
  ASSERT_TRUE(shell.ok());
  ASSERT_EQ(shell.registerServer(), S_OK);
  deleteValue(HKEY_LOCAL_MACHINE, kApprovedKey, kClsidText);
  EXPECT_EQ(shell.unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClsidKey));
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kHandlerKey));

  ASSERT_EQ(shell.registerServer(), S_OK);
  if (!guard.removeApprovedKey()) GTEST_SKIP() << "the approval key has sub-keys here; left alone";
  EXPECT_EQ(shell.unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClsidKey));
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kHandlerKey));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kApprovedKey));
  guard.restoreApprovedKey();
}

}  // namespace
