// The real dialogs of the wizards, driven by window messages from a helper
// thread while this thread runs them.
#include <gtest/gtest.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "common/wide_text.h"
#include "manager/encryption/encryption_dialogs.h"
#include "manager/resources/resource.h"
#include "manager/base/job_state.h"
#include "support/message_capture.h"
#include "support/test_files.h"
#include "support/window_driver.h"
#include "support/narrow_paths.h"

namespace {

// A dialog of this process: the end-to-end tests, which may run meanwhile,
// show dialogs of the same titles in programs of their own.
HWND ownDialog(const char* title) { return waitForWindow(title, 10000, GetCurrentProcessId()); }

class WizardDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    jobState.appInstance = GetModuleHandleA(nullptr);
    clearWizardContext(&context);
  }
  void TearDown() override { releaseWizardContext(&context); }
  // Presses a button and waits until the dialog has handled it.
  static void press(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  }
  WizardContext context;
  MessageCapture messages;
};

TEST_F(WizardDialogsTest, EncryptionPasswordChecksRunInOrderAndKeepTheDialogOpen) {
  std::vector<std::vector<std::string>> seen;
  std::string heading;
  bool checkboxVisible = true, confirmVisible = false;
  DriverThread driver([&] {
    HWND d = ownDialog("暗号化");
    if (!d) return;
    heading = controlText(d, IDC_PASSWORD_HEADING);
    checkboxVisible = controlVisible(d, IDC_MAKE_EXE);
    confirmVisible = controlVisible(d, IDC_PASSWORD_CONFIRM);
    auto attempt = [&](const std::wstring& a, const std::wstring& b) {
      size_t before = messages.texts().size();
      setControlText(d, IDC_PASSWORD, a);
      setControlText(d, IDC_PASSWORD_CONFIRM, b);
      press(d, IDOK);
      auto all = messages.texts();
      seen.push_back(std::vector<std::string>(all.begin() + before, all.end()));
    };
    attempt(L"abc", L"");                                   // confirmation left empty
    attempt(L"abc", L"abd");                                // mismatch
    attempt(std::wstring(64, 'x'), std::wstring(64, 'x'));  // 64 bytes
    std::wstring japanese(32, L'表');                       // 32 characters, 64 bytes
    attempt(japanese, japanese);
    attempt(std::wstring(64, 'y'), L"");                    // two messages from one press
    // Characters code page 932 cannot hold: never turned into "?" or a look-alike.
    const std::wstring korean = L"\xD55C\xAD6D\xC5B4\xBE44\xBC00\xBC88\xD638";
    attempt(korean, korean);
    attempt(L"caf\x00E9", L"caf\x00E9");
    attempt(L"abc", L"caf\x00E9");
    attempt(std::wstring(63, 'z'), std::wstring(63, 'z'));  // accepted
  });
  EXPECT_EQ(askPassword(PASSWORD_ENCRYPT, &context), DIALOG_OK);
  driver.join();
  EXPECT_EQ(heading, "暗号化確認");
  EXPECT_FALSE(checkboxVisible);
  EXPECT_TRUE(confirmVisible);
  const std::string missing = "パスワードが入力されていません";
  const std::string mismatch = "再入力のパスワードが間違っていました。\r\nパスワードが一致するように入力してください。";
  const std::string tooLong = "パスワード文字が長すぎます\r\n63文字以内で入力してください。";
  const std::string character =
      "パスワードに使用できない文字が含まれています。\r\n日本語（シフトJIS）で表せる文字で入力してください。";
  ASSERT_EQ(seen.size(), 9u);
  EXPECT_EQ(seen[0], std::vector<std::string>{missing});
  EXPECT_EQ(seen[1], std::vector<std::string>{mismatch});
  EXPECT_EQ(seen[2], std::vector<std::string>{tooLong});
  EXPECT_EQ(seen[3], std::vector<std::string>{tooLong});
  EXPECT_EQ(seen[4], (std::vector<std::string>{missing, tooLong}));
  EXPECT_EQ(seen[5], std::vector<std::string>{character});
  EXPECT_EQ(seen[6], std::vector<std::string>{character});
  EXPECT_EQ(seen[7], std::vector<std::string>{character});
  EXPECT_TRUE(seen[8].empty());
  ASSERT_TRUE(context.enteredPassword);
  EXPECT_EQ(std::string(context.enteredPassword), std::string(63, 'z'));
}

TEST_F(WizardDialogsTest, DecryptionPasswordAsksOnceAndAcceptsAnEmptyEntry) {
  std::string heading, okText;
  bool confirmVisible = true, labelVisible = true;
  DriverThread driver([&] {
    HWND d = ownDialog("暗号化");
    if (!d) return;
    heading = controlText(d, IDC_PASSWORD_HEADING);
    okText = controlText(d, IDOK);
    confirmVisible = controlVisible(d, IDC_PASSWORD_CONFIRM);
    labelVisible = controlVisible(d, IDC_PASSWORD_CONFIRM_LABEL);
    press(d, IDOK);
  });
  EXPECT_EQ(askPassword(PASSWORD_DECRYPT, &context), DIALOG_OK);
  driver.join();
  EXPECT_EQ(heading, "復号確認");
  EXPECT_EQ(okText, "OK");
  EXPECT_FALSE(confirmVisible);
  EXPECT_FALSE(labelVisible);
  EXPECT_EQ(context.enteredPassword, nullptr);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(WizardDialogsTest, PasswordCancelGivesTwo) {
  DriverThread driver([&] {
    if (HWND d = ownDialog("暗号化")) press(d, IDCANCEL);
  });
  EXPECT_EQ(askPassword(PASSWORD_ENCRYPT, &context), DIALOG_CANCEL);
}

// A password with a character code page 932 lacks is refused; what its
// conversion got to before that must not stay in the buffer.
TEST(PasswordText, AConversionThatFailsLeavesNothingOfThePassword) {
  char buffer[32];
  memset(buffer, 'Z', sizeof buffer);
  EXPECT_FALSE(wideToAnsiExact(L"secret\u8868pass\u00e9", buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '\0'));
}

TEST_F(WizardDialogsTest, FileNameProposesCrptAndJoinsTheExtension) {
  wcscpy(context.proposedPath, L"C:\\data\\表.exe");
  std::string proposal, selected;
  int count = 0;
  DriverThread driver([&] {
    HWND d = ownDialog("暗号化ファイル名指定");
    if (!d) return;
    proposal = controlText(d, IDC_FILE_NAME);
    count = static_cast<int>(SendDlgItemMessageA(d, IDC_FILE_EXT, CB_GETCOUNT, 0, 0));
    selected = controlText(d, IDC_FILE_EXT);
    SendDlgItemMessageA(d, IDC_FILE_EXT, CB_SETCURSEL, 1, 0);
    press(d, IDOK);
  });
  EXPECT_EQ(askFileName(&context), DIALOG_OK);
  driver.join();
  EXPECT_EQ(proposal, "表.crpt");
  EXPECT_EQ(count, 3);
  EXPECT_EQ(selected, "exe");
  ASSERT_TRUE(context.fileName);
  EXPECT_EQ(A(context.fileName), "表.crpt.ex_");

  DriverThread again([&] {
    HWND d = ownDialog("暗号化ファイル名指定");
    if (!d) return;
    setControlText(d, IDC_FILE_NAME, "");
    press(d, IDOK);
  });
  EXPECT_EQ(askFileName(&context), DIALOG_OK);
  again.join();
  EXPECT_EQ(A(context.fileName), ".exe");

  // Where the administrators' policy says so, the data form is preselected.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Kyvomar", 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"ResultForm", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"kyvo"), 10);
  DriverThread third([&] {
    HWND d = ownDialog("暗号化ファイル名指定");
    if (!d) return;
    selected = controlText(d, IDC_FILE_EXT);
    press(d, IDOK);
  });
  EXPECT_EQ(askFileName(&context), DIALOG_OK);
  third.join();
  RegDeleteValueW(key, L"ResultForm");
  RegCloseKey(key);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Kyvomar", KEY_WOW64_64KEY, 0);
  EXPECT_EQ(selected, "kyvo");
  EXPECT_EQ(A(context.fileName), "表.crpt.kyvo");
}

TEST_F(WizardDialogsTest, DestinationStartsOnTheDriveChoice) {
  bool driveChecked = false;
  DriverThread driver([&] {
    HWND d = ownDialog("暗号化ファイル保存先選択");
    if (!d) return;
    driveChecked = IsDlgButtonChecked(d, IDC_DEST_DRIVE) == BST_CHECKED;
    CheckRadioButton(d, IDC_DEST_DRIVE, IDC_DEST_MAIL, IDC_DEST_MAIL);
    press(d, IDOK);
  });
  EXPECT_EQ(chooseDestination(), DIALOG_OK);
  driver.join();
  EXPECT_TRUE(driveChecked);
  EXPECT_EQ(jobState.destinationMode, 2);
  DriverThread cancel([&] {
    if (HWND d = ownDialog("暗号化ファイル保存先選択")) press(d, IDCANCEL);
  });
  EXPECT_EQ(chooseDestination(), DIALOG_CANCEL);
}

TEST_F(WizardDialogsTest, MediaDialogListsRemovableDrivesAndKeepsTheRoot) {
  std::vector<std::string> lines;
  DriverThread driver([&] {
    HWND d = ownDialog("メディア選択");
    if (!d) return;
    int n = static_cast<int>(SendDlgItemMessageA(d, IDC_MEDIA_LIST, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char line[512] = "";
      SendDlgItemMessageA(d, IDC_MEDIA_LIST, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(line));
      lines.push_back(line);
    }
    press(d, IDOK);
  });
  EXPECT_EQ(chooseRemovableDrive(&context), DIALOG_OK);
  driver.join();
  // The test prefix has R: as a removable drive.
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(0, 5), "R:\\ [");
  EXPECT_EQ(lines[0].back(), ']');
  EXPECT_EQ(A(jobState.mediaPath), "R:\\");
}



TEST_F(WizardDialogsTest, SaveAsAppendsExeUnlessTheNameEndsInExeOrEx_) {
  TempDir dir;
  wcscpy(context.proposedPath, W(dir.path() + "\\src.exe").c_str());
  setContextText(&context.fileName, L"src.crpt.exe");
  struct Case {
    std::string typed, expected;
  } cases[] = {
      {dir / "plain", dir / "plain.exe"},
      {dir / "other.txt", dir / "other.txt.exe"},
      {dir / "kept.EX_", dir / "kept.EX_"},
      {dir / "kept.Exe", dir / "kept.Exe"},
  };
  for (const Case& c : cases) {
    std::string initial;
    DriverThread driver([&] {
      HWND d = ownDialog("暗号化されたファイルを保存します");
      if (!d) return;
      initial = controlText(d, 0x47c);  // the file-name box
      setControlText(d, 0x47c, c.typed);
      PostMessageA(d, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(askSaveAsPath(&context), 1);
    driver.join();
    EXPECT_EQ(initial, "src.crpt.exe");
    ASSERT_TRUE(context.chosenPath);
    EXPECT_EQ(A(context.chosenPath), c.expected);
  }
  DriverThread cancel([&] {
    if (HWND d = ownDialog("暗号化されたファイルを保存します")) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(askSaveAsPath(&context), 0);
}

TEST_F(WizardDialogsTest, SaveAsRefusesAnInitialPathOf260Bytes) {
  wcscpy(context.proposedPath, W("C:\\" + std::string(200, 'd') + "\\x.exe").c_str());
  setContextText(&context.fileName, W(std::string(60, 'n')).c_str());  // 3 + 200 + 1 + 60 = 264
  EXPECT_EQ(askSaveAsPath(&context), SAVE_AS_PATH_TOO_LONG);
}

TEST_F(WizardDialogsTest, FolderBrowserPreselectsTheInitialFolder) {
  TempDir dir;
  wchar_t out[2048] = L"unchanged";
  DriverThread driver([&] {
    if (HWND d = waitForFolderBrowser(GetCurrentProcessId())) {
      waitForBrowserSelection(d, dir.path());
      PostMessageA(d, WM_COMMAND, IDOK, 0);
    }
  });
  EXPECT_EQ(browseForFolder(nullptr, W(dir.path()).c_str(), out, 2048), DIALOG_OK);
  driver.join();
  EXPECT_EQ(A(out), dir.path());
  wchar_t small[4] = L"abc";
  DriverThread again([&] {
    if (HWND d = waitForFolderBrowser(GetCurrentProcessId())) {
      waitForBrowserSelection(d, dir.path());
      PostMessageA(d, WM_COMMAND, IDOK, 0);
    }
  });
  EXPECT_EQ(browseForFolder(nullptr, W(dir.path()).c_str(), small, 4), DIALOG_OK);
  again.join();
  EXPECT_EQ(A(small), "abc");  // too long for the output: left as it was
  DriverThread cancel([&] {
    if (HWND d = waitForFolderBrowser(GetCurrentProcessId())) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(browseForFolder(nullptr, W(dir.path()).c_str(), out, 2048), DIALOG_CANCEL);
}

}  // namespace
