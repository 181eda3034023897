// The context-menu handler as the file manager uses it: created through COM
// after registration, given a CF_HDROP selection, asked for its menu items
// and help texts, and told to start the manager, for which a recorder stands
// in that writes down the command line it was given.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "common/ui_texts.h"
#include "drop_data_object.h"
#include "shell_fixture.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const char* const kMenuTexts[] = {"暗号化してドライブに保存", "暗号化して外部メディアに保存", "暗号化してメール添付"};
const char* const kHelpTexts[] = {"暗号化して ドライブに保存します。（手動暗号化プログラムの起動）",
                                  "暗号化して 外部メディアに保存します。（手動暗号化プログラムの起動）",
                                  "暗号化して、メール添付します。（手動暗号化プログラムの起動）"};

// The handler speaks the UI language of the process that loads it: Japanese
// here, English in the run under en_US.
bool japaneseUi() { return uiLanguageFor(GetUserDefaultUILanguage()) == UI_LANGUAGE_JAPANESE; }
const char* expectedMenuText(UINT i) {
  return japaneseUi() ? kMenuTexts[i] : uiTextIn(UI_LANGUAGE_ENGLISH, static_cast<UiText>(TEXT_MENU_SAVE_TO_DRIVE + i));
}
const char* expectedHelpText(UINT i) {
  return japaneseUi() ? kHelpTexts[i] : uiTextIn(UI_LANGUAGE_ENGLISH, static_cast<UiText>(TEXT_HELP_SAVE_TO_DRIVE + i));
}

std::wstring wide(const char* text) {
  wchar_t buffer[256];
  int n = MultiByteToWideChar(932, 0, text, -1, buffer, 256);
  return n > 0 ? std::wstring(buffer, n - 1) : std::wstring();
}

// A text as a caller of the ANSI forms gets it: in the system's code page
// ("?" for a character that page lacks), the bytes of the program on 932.
std::string systemAnsi(const char* text) {
  char buffer[256];
  int n = WideCharToMultiByte(CP_ACP, 0, wide(text).c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
  return n > 0 ? std::string(buffer) : std::string();
}

// One registered copy of the DLL and one handler made through COM.
class Handler : public ::testing::Test {
 protected:
  RegistryGuard guard;
  TempDir dir;
  std::string data = dir / "data";
  std::unique_ptr<LoadedShell> shell;
  IShellExtInit* init = nullptr;
  IContextMenu* menu = nullptr;
  bool comStarted = false;
  ProcessWatch watch;

  void SetUp() override { load(dir.path()); }

  void load(const std::string& folder, bool withRecorder = true) { load(W(folder), withRecorder); }
  void load(const std::wstring& folder, bool withRecorder = true) {
    ASSERT_TRUE(makeFolder(data));
    ASSERT_TRUE(createKey(HKEY_LOCAL_MACHINE, kApprovedKey));
    shell.reset(new LoadedShell(folder, withRecorder));
    ASSERT_TRUE(shell->ok()) << shell->dllPath();
    ASSERT_EQ(shell->registerServer(), S_OK);
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    comStarted = true;
    ASSERT_EQ(CoCreateInstance(kKyvoShlExtClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                               reinterpret_cast<void**>(&init)),
              S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    EXPECT_EQ(shell->canUnloadNow(), S_FALSE) << "COM loaded the registered copy";
  }

  void TearDown() override {
    if (menu) menu->Release();
    if (init) init->Release();
    menu = nullptr;
    init = nullptr;
    if (shell && shell->ok()) {
      EXPECT_EQ(shell->canUnloadNow(), S_OK);
    }
    EXPECT_TRUE(watch.waitForChildren()) << "a started program did not end";
    if (comStarted) CoUninitialize();
    shell.reset();
  }

  HRESULT select(const std::vector<std::string>& names, DropDataObject::Charset charset = DropDataObject::UTF16) {
    DropDataObject object(names, DropDataObject::SERVE, charset);
    return select(&object);
  }
  HRESULT select(const std::vector<std::wstring>& names) {
    DropDataObject object(names);
    return select(&object);
  }
  HRESULT select(DropDataObject* object) {
    HRESULT hr = init->Initialize(nullptr, object, nullptr);
    EXPECT_EQ(object->mediaReleased, object->getDataCalls);
    EXPECT_EQ(object->lockedAtRelease, 0);
    return hr;
  }

  static HRESULT invoke(IContextMenu* menu, UINT_PTR offset) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = reinterpret_cast<LPCSTR>(offset);
    return menu->InvokeCommand(&info);
  }
  HRESULT invoke(UINT_PTR offset) { return invoke(menu, offset); }

  // The command line as the manager, an ANSI program, reads it.
  std::string recordedLine() { return recorded().commandLine; }
  // The command line in UTF-16, as it was handed on.
  std::wstring recordedWideLine() { return recorded().wideCommandLine; }
  Recorded recorded() {
    Recorded recorded;
    if (!waitForRecord(shell->wideFolder(), &recorded)) recorded.commandLine = "(nothing recorded)";
    return recorded;
  }

  std::vector<std::string> dataPaths(int count, const char* stem = "f") {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back(data + "\\" + stem + std::to_string(i) + ".txt");
    return paths;
  }
};

std::string quoted(const std::vector<std::string>& paths) {
  std::string out;
  for (const std::string& p : paths) out += " \"" + p + "\"";
  return out;
}

TEST_F(Handler, MenuGetsASeparatorAndTheThreeCommandsAtTheGivenPosition) {
  HMENU popup = CreatePopupMenu();
  AppendMenuA(popup, MF_STRING, 1, "first");
  AppendMenuA(popup, MF_STRING, 2, "last");
  HRESULT hr = menu->QueryContextMenu(popup, 1, 100, 200, CMF_NORMAL);
  EXPECT_EQ(hr, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
  ASSERT_EQ(GetMenuItemCount(popup), 6);
  EXPECT_TRUE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
  HBITMAP bitmaps[3] = {};
  for (int i = 0; i < 3; ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(popup, 2 + i, text, 128, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), wide(expectedMenuText(i))) << i;
    EXPECT_EQ(GetMenuItemID(popup, 2 + i), static_cast<UINT>(100 + i));
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_CHECKMARKS;
    ASSERT_TRUE(GetMenuItemInfoA(popup, 2 + i, TRUE, &item));
    EXPECT_TRUE(item.hbmpUnchecked) << i;
    EXPECT_FALSE(item.hbmpChecked) << i;
    bitmaps[i] = item.hbmpUnchecked;
  }
  EXPECT_EQ(bitmaps[0], bitmaps[1]);  // the two save commands share the padlock
  BITMAP drawn = {};
  ASSERT_TRUE(GetObjectW(bitmaps[2], sizeof drawn, &drawn));
  EXPECT_EQ(drawn.bmWidth, 11);  // this prefix's 96 dots per inch
  EXPECT_EQ(drawn.bmHeight, 11);
  EXPECT_NE(bitmaps[0], bitmaps[2]);
  char text[32] = {};
  GetMenuStringA(popup, 0, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "first");
  GetMenuStringA(popup, 5, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "last");  // no separator after the third command
  DestroyMenu(popup);
}

TEST_F(Handler, DefaultOnlyAndVerbsOnlyRequestsAddNothing) {
  HMENU popup = CreatePopupMenu();
  AppendMenuA(popup, MF_STRING, 1, "open");
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 200, CMF_DEFAULTONLY), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 200, CMF_VERBSONLY), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 200, CMF_DEFAULTONLY | CMF_EXPLORE), 0);
  EXPECT_EQ(GetMenuItemCount(popup), 1);
  DestroyMenu(popup);
}

TEST_F(Handler, FewerThanThreeIdentifiersAddNothing) {
  HMENU popup = CreatePopupMenu();
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 101, CMF_NORMAL), 0);
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 99, CMF_NORMAL), 0);
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 0xFFFFFFFEu, 0xFFFFFFFFu, CMF_NORMAL), 0);
  EXPECT_EQ(GetMenuItemCount(popup), 0);
  EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 102, CMF_NORMAL), 3);  // exactly three
  EXPECT_EQ(GetMenuItemCount(popup), 4);
  DestroyMenu(popup);
}

TEST_F(Handler, PositionPastTheEndAppendsInOrder) {
  HMENU popup = CreatePopupMenu();
  AppendMenuA(popup, MF_STRING, 1, "a");
  AppendMenuA(popup, MF_STRING, 2, "b");
  EXPECT_EQ(menu->QueryContextMenu(popup, 0xFFFFFFFFu, 10, 20, CMF_NORMAL), 3);
  ASSERT_EQ(GetMenuItemCount(popup), 6);
  EXPECT_TRUE(GetMenuState(popup, 2, MF_BYPOSITION) & MF_SEPARATOR);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetMenuItemID(popup, 3 + i), static_cast<UINT>(10 + i));
  DestroyMenu(popup);
}

TEST_F(Handler, HelpTextsInBothCharacterSets) {
  for (UINT i = 0; i < 3; ++i) {
    char ansi[256];
    ASSERT_EQ(menu->GetCommandString(i, GCS_HELPTEXTA, nullptr, ansi, sizeof ansi), S_OK);
    EXPECT_EQ(std::string(ansi), systemAnsi(expectedHelpText(i)));
    wchar_t unicode[256];
    ASSERT_EQ(menu->GetCommandString(i, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(unicode), 256), S_OK);
    EXPECT_EQ(std::wstring(unicode), wide(expectedHelpText(i)));
  }
  if (!japaneseUi()) return;
  // The ASCII blank and the ideographic comma after 暗号化して.
  wchar_t unicode[64];
  menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(unicode), 64);
  EXPECT_EQ(unicode[5], L' ');
  menu->GetCommandString(2, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(unicode), 64);
  EXPECT_EQ(unicode[5], 0x3001);
}

TEST_F(Handler, HelpTextsAreCutToTheGivenSize) {
  wchar_t unicode[16];
  for (wchar_t& c : unicode) c = L'#';
  ASSERT_EQ(menu->GetCommandString(2, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(unicode), 10), S_OK);
  EXPECT_EQ(std::wstring(unicode), wide(kHelpTexts[2]).substr(0, 9));
  EXPECT_EQ(unicode[9], 0);
  EXPECT_EQ(unicode[10], L'#');  // nothing beyond cchMax

  char ansi[16];
  memset(ansi, '#', sizeof ansi);
  ASSERT_EQ(menu->GetCommandString(2, GCS_HELPTEXTA, nullptr, ansi, 10), S_OK);
  // Nine bytes of room: four double-byte characters, never half of a fifth.
  EXPECT_EQ(std::string(ansi), std::string(kHelpTexts[2], 8));
  EXPECT_EQ(ansi[10], '#');
  memset(ansi, '#', sizeof ansi);
  ASSERT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, 12), S_OK);
  EXPECT_EQ(std::string(ansi), std::string(kHelpTexts[0], 11));  // 暗号化して and the blank
  ASSERT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, 1), S_OK);
  EXPECT_EQ(ansi[0], '\0');
  // No room at all: nothing is written.
  memset(ansi, '#', sizeof ansi);
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, ansi, 0), S_OK);
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, ansi, 0), S_OK);
  EXPECT_EQ(ansi[0], '#');
}

TEST_F(Handler, VerbsValidationAndUnknownCommandsLeaveTheOutputAlone) {
  const UINT types[] = {GCS_VERBA, GCS_VERBW, GCS_VALIDATEA, GCS_VALIDATEW};
  for (UINT type : types) {
    char out[64];
    memset(out, '#', sizeof out);
    EXPECT_EQ(menu->GetCommandString(0, type, nullptr, out, 32), E_INVALIDARG) << type;
    EXPECT_EQ(out[0], '#') << type;
  }
  char out[64];
  memset(out, '#', sizeof out);
  EXPECT_EQ(menu->GetCommandString(3, GCS_HELPTEXTA, nullptr, out, 32), E_INVALIDARG);
  EXPECT_EQ(menu->GetCommandString(3, GCS_HELPTEXTW, nullptr, out, 16), E_INVALIDARG);
  EXPECT_EQ(menu->GetCommandString(static_cast<UINT_PTR>(-1), GCS_HELPTEXTA, nullptr, out, 32), E_INVALIDARG);
  EXPECT_EQ(out[0], '#');
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, nullptr, 32), E_INVALIDARG);
}

TEST_F(Handler, InitializeRefusesMissingOrEmptyDropListsAndReleasesTheMedium) {
  DropDataObject failing({data + "\\a.txt"}, DropDataObject::FAIL_GET_DATA);
  EXPECT_EQ(init->Initialize(nullptr, &failing, nullptr), E_INVALIDARG);
  EXPECT_EQ(failing.getDataCalls, 1);

  DropDataObject unlockable({}, DropDataObject::UNLOCKABLE_MEMORY);
  EXPECT_EQ(init->Initialize(nullptr, &unlockable, nullptr), E_INVALIDARG);
  EXPECT_EQ(unlockable.mediaReleased, 1);

  // A list without names; Wine counts it as one empty name, which is refused
  // all the same: no empty path is handed on.
  for (DropDataObject::Charset charset : {DropDataObject::UTF16, DropDataObject::ANSI})
    EXPECT_EQ(select(std::vector<std::string>(), charset), E_INVALIDARG) << charset;
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);

  // None of these left a selection to start the manager with.
  EXPECT_EQ(invoke(0), E_INVALIDARG);
  EXPECT_EQ(watch.started(), 0u);
}

TEST_F(Handler, OneFolderStartsTheManagerWithItsPath) {
  ASSERT_EQ(select({data}), S_OK);
  std::string cwd = dir / "working";
  ASSERT_TRUE(makeFolder(cwd));
  char before[MAX_PATH];
  GetCurrentDirectoryA(sizeof before, before);
  ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));
  SetEnvironmentVariableA("KYVO_SHELL_PROBE", "inherited");
  HRESULT hr = invoke(0);
  SetEnvironmentVariableA("KYVO_SHELL_PROBE", nullptr);
  SetCurrentDirectoryA(before);
  EXPECT_EQ(hr, S_OK);
  Recorded recorded;
  ASSERT_TRUE(waitForRecord(shell->folder(), &recorded));
  EXPECT_EQ(recorded.commandLine, "xx /crpmode=0 \"" + data + "\"");
  // No current directory and no environment of its own: the file manager's.
  EXPECT_TRUE(equalsPathIgnoringCase(recorded.currentDirectory, cwd)) << recorded.currentDirectory;
  EXPECT_EQ(recorded.probe, "inherited");
  EXPECT_EQ(watch.started(), 1u);
}

TEST_F(Handler, TwoFilesInEachOfTheThreeModes) {
  std::vector<std::string> files = {data + "\\a.txt", data + "\\b.doc"};
  for (UINT mode = 0; mode < 3; ++mode) {
    ASSERT_EQ(select(files), S_OK);
    EXPECT_EQ(invoke(mode), S_OK);
    EXPECT_EQ(recordedLine(), "xx /crpmode=" + std::to_string(mode) + quoted(files)) << mode;
    EXPECT_TRUE(watch.waitForChildren());
  }
  EXPECT_EQ(watch.started(), 3u);
}

TEST_F(Handler, ShiftJisNamesPassUnchanged) {
  std::vector<std::string> files = {data + "\\表示.txt", data + "\\ソフト\\能力"};
  ASSERT_EQ(select(files), S_OK);
  EXPECT_EQ(invoke(1), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=1" + quoted(files));
}

TEST_F(Handler, At124ItemsTheManagerStartsAt125ItIsRefused) {
  // The longest names the drop list yields: 259 bytes each.
  std::vector<std::string> paths;
  for (int i = 0; i < 125; ++i) {
    std::string name = data + "\\" + std::to_string(i) + "_";
    name += std::string(259 - name.size(), 'n');
    paths.push_back(name);
  }
  ASSERT_EQ(paths[0].size(), 259u);
  std::vector<std::string> first124(paths.begin(), paths.begin() + 124);
  ASSERT_EQ(select(first124), S_OK);
  EXPECT_EQ(invoke(2), S_OK);
  std::string line = recordedLine();
  EXPECT_EQ(line, "xx /crpmode=2" + quoted(first124));
  EXPECT_EQ(line.size(), 13u + 124u * 262u);
  ASSERT_TRUE(watch.waitForChildren());
  EXPECT_EQ(watch.started(), 1u);

  ASSERT_EQ(select(paths), S_OK);
  EXPECT_EQ(invoke(2), E_INVALIDARG);
  EXPECT_EQ(invoke(0), E_INVALIDARG);  // the refusal released the selection
  EXPECT_EQ(watch.started(), 1u);
}

TEST_F(Handler, PathsOf259AndMoreCharactersArePassedWhole) {
  std::string longest = data + "\\";
  longest += std::string(259 - longest.size(), 'x');
  std::string longer = longest + "yz";
  ASSERT_EQ(select({longest, longer, data}), S_OK);
  EXPECT_EQ(invoke(0), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=0 \"" + longest + "\" \"" + longer + "\" \"" + data + "\"");
}

TEST_F(Handler, NamesOutsideTheCodePageAndLongPathsArriveExactly) {
  // U+00E9 has no place in code page 932: an ANSI name would be "cafe.txt".
  std::wstring cafe = W(data) + L"\\caf\u00E9.txt";
  std::wstring deep = W(data) + L"\\";
  while (deep.size() < 284) deep += L"\u8868\u2603 deeper\\";  // 表, a snowman
  deep += std::wstring(296 - deep.size(), L'n') + L".txt";
  ASSERT_EQ(deep.size(), 300u);
  for (UINT mode = 0; mode < 3; ++mode) {
    ASSERT_EQ(select(std::vector<std::wstring>{cafe, deep}), S_OK);
    EXPECT_EQ(invoke(mode), S_OK);
    EXPECT_EQ(recordedWideLine(), L"xx /crpmode=" + std::to_wstring(mode) + L" \"" + cafe + L"\" \"" + deep + L"\"")
        << mode;
    EXPECT_TRUE(watch.waitForChildren());
  }
  EXPECT_EQ(watch.started(), 3u);
}

TEST_F(Handler, AnsiDropListsGiveTheSameCommandLine) {
  std::vector<std::string> files = {data + "\\表示.txt", data + "\\b.doc"};
  ASSERT_EQ(select(files, DropDataObject::ANSI), S_OK);
  EXPECT_EQ(invoke(2), S_OK);
  Recorded fromAnsi = recorded();
  EXPECT_EQ(fromAnsi.commandLine, "xx /crpmode=2" + quoted(files));
  EXPECT_EQ(fromAnsi.wideCommandLine, W(fromAnsi.commandLine));
}

// The line may have 32,766 characters and its terminator; one more and
// nothing starts, since a path is never cut.
TEST_F(Handler, CommandLineBeyondThePlatformLimitStartsNothing) {
  const size_t around = 13 + 4 * 3;  // "xx /crpmode=N" and a blank and two quotation marks per path
  std::vector<std::wstring> paths;
  for (int i = 0; i < 4; ++i) paths.push_back(W(data) + L"\\" + std::to_wstring(i) + L"_");
  size_t used = 0;
  for (const std::wstring& p : paths) used += p.size();
  size_t rest = 32766 - around - used;
  for (int i = 0; i < 4; ++i) paths[i] += std::wstring(rest / 4 + (i == 3 ? rest % 4 : 0), L'w');
  std::wstring expected = L"xx /crpmode=1";
  for (const std::wstring& p : paths) expected += L" \"" + p + L"\"";
  ASSERT_EQ(expected.size(), 32766u);
  ASSERT_EQ(select(paths), S_OK);
  EXPECT_EQ(invoke(1), S_OK);
  EXPECT_EQ(recordedWideLine(), expected);
  ASSERT_TRUE(watch.waitForChildren());

  paths[3] += L"w";
  ASSERT_EQ(select(paths), S_OK);
  EXPECT_EQ(invoke(1), HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_EQ(invoke(1), E_INVALIDARG);  // the refusal released the selection
  EXPECT_EQ(watch.started(), 1u);
}

TEST_F(Handler, SecondInitializeReplacesTheSelection) {
  ASSERT_EQ(select({data + "\\old1", data + "\\old2"}), S_OK);
  ASSERT_EQ(select({data + "\\new"}), S_OK);
  EXPECT_EQ(invoke(1), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=1 \"" + data + "\\new\"");
}

TEST_F(Handler, SecondInvokeWithoutInitializeStartsNothing) {
  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(0), S_OK);
  EXPECT_NE(recordedLine(), "(nothing recorded)");
  EXPECT_EQ(invoke(0), E_INVALIDARG);
  EXPECT_EQ(invoke(1), E_INVALIDARG);
  EXPECT_EQ(watch.started(), 1u);
}

TEST_F(Handler, VerbsByNameAndUnknownOffsetsStartNothingAndReleaseTheSelection) {
  ASSERT_EQ(select({data}), S_OK);
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof info;
  info.lpVerb = "open";
  EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
  EXPECT_EQ(invoke(0), E_INVALIDARG);  // released

  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(3), E_INVALIDARG);
  EXPECT_EQ(invoke(0), E_INVALIDARG);

  // An offset with more digits than the command line's room, with the longest path.
  std::string longest = data + "\\";
  longest += std::string(259 - longest.size(), 'q');
  ASSERT_EQ(select({longest}), S_OK);
  EXPECT_EQ(invoke(65535), E_INVALIDARG);
  EXPECT_EQ(menu->InvokeCommand(nullptr), E_INVALIDARG);
  EXPECT_EQ(watch.started(), 0u);
}

TEST_F(Handler, ManagerMissingBesideTheDllGivesSuccessAndStartsNothing) {
  ASSERT_TRUE(DeleteFileA((shell->folder() + "\\Kyvomar.exe").c_str()));
  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(0), S_OK);
  EXPECT_EQ(watch.started(), 0u);
  EXPECT_EQ(invoke(0), E_INVALIDARG);  // the selection went all the same
}

TEST_F(Handler, HandlerFromAnotherFactoryRequestGetsItsOwnSelection) {
  IContextMenu* other = nullptr;
  ASSERT_EQ(CoCreateInstance(kKyvoShlExtClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                             reinterpret_cast<void**>(&other)),
            S_OK);
  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(other, 0), E_INVALIDARG);  // nothing selected there
  other->Release();
  EXPECT_EQ(invoke(0), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=0 \"" + data + "\"");
}

// A DLL in a folder whose path holds a quotation mark and a 0x5C trail byte.
class HandlerInAwkwardFolder : public Handler {
 protected:
  void SetUp() override {
    std::string folder = dir / "Kyvo's 表";
    ASSERT_TRUE(makeFolder(folder));
    load(folder);
  }
};

TEST_F(HandlerInAwkwardFolder, StartsTheManagerBesideTheDll) {
  std::string text;
  ASSERT_TRUE(readText(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InprocServer32", "", &text));
  EXPECT_EQ(text, shell->dllPath());
  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(2), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=2 \"" + data + "\"");
}

// A DLL in a folder whose name code page 932 cannot hold: registered with its
// real path, loaded through COM from there, and the manager beside it started.
class HandlerOutsideTheCodePage : public Handler {
 protected:
  std::unique_ptr<WideFolder> folder;
  void SetUp() override {
    folder.reset(new WideFolder(dir.path(), L"Kyvo caf\u00E9 \u2603"));
    ASSERT_TRUE(folder->ok());
    load(folder->path());
  }
  void TearDown() override {
    Handler::TearDown();
    folder.reset();
  }
};

TEST_F(HandlerOutsideTheCodePage, StartsTheManagerBesideTheDll) {
  std::wstring text;
  ASSERT_TRUE(readWideText(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InprocServer32", "", &text));
  EXPECT_EQ(text, shell->wideDllPath());
  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(0), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=0 \"" + data + "\"");
}

// A DLL at the root of a drive: the module directory is "K:" and the manager
// is "K:\Kyvomar.exe". The drive is a link in the prefix's dosdevices folder.
class HandlerAtDriveRoot : public Handler {
 protected:
  std::string link;
  void SetUp() override {
    std::string dosdevices = unixPathOf("C:\\");
    while (!dosdevices.empty() && dosdevices.back() == '/') dosdevices.pop_back();
    dosdevices.erase(dosdevices.find_last_of('/'));
    char letter = 0;
    for (char c = 'k'; c <= 'y' && !letter; ++c) {
      std::string root = std::string(1, c) + ":\\";
      if (GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR && !folderExists(root)) letter = c;
    }
    if (!letter) GTEST_SKIP() << "no free drive letter";
    std::string target = dir / "root";
    ASSERT_TRUE(makeFolder(target));
    link = dosdevices + "/" + letter + ":";
    if (runUnix("ln -sn '" + unixPathOf(target) + "' '" + link + "'") != 0) GTEST_SKIP() << "can't link a drive";
    std::string root = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":";
    if (!folderExists(root + "\\")) GTEST_SKIP() << "the new drive isn't seen";
    driveRoot = root;
    load(root);
  }
  void TearDown() override {
    Handler::TearDown();
    if (!link.empty()) runUnix("rm -f '" + link + "'");
  }
  std::string driveRoot;
};

TEST_F(HandlerAtDriveRoot, StartsTheManagerFromTheRootWithOneSeparator) {
  char path[MAX_PATH];
  GetModuleFileNameA(shell->module(), path, sizeof path);
  EXPECT_TRUE(equalsPathIgnoringCase(path, driveRoot + "\\" + builtDllName())) << path;
  ASSERT_EQ(select({data}), S_OK);
  EXPECT_EQ(invoke(1), S_OK);
  EXPECT_EQ(recordedLine(), "xx /crpmode=1 \"" + data + "\"");
}

}  // namespace
