// Whole encryptions and decryptions through the real Kyvomar.exe, its dialogs
// driven from this process.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "e2e/program_driver.h"
#include "manager/resources/resource.h"
#include "e2e/sample_tree.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/window_driver.h"

namespace {

const char kPassword[] = "表ソ能pass";

// Last-write and last-access times (Wine keeps no creation times of its own).
std::pair<unsigned long long, unsigned long long> fileTimes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  auto value = [](const FILETIME& t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return {value(data.ftLastWriteTime), value(data.ftLastAccessTime)};
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = work / "Kyvomar.exe";
    ASSERT_TRUE(CopyFileA(builtKyvomarPath().c_str(), exe.c_str(), FALSE));
    makeFolder(work / "out");
  }
  // Starts a program here, or under the locale set (then with the
  // arguments of the command line tail).
  bool start(ProgramRun& run, const std::string& program, const std::string& tail, const std::string& line) {
    if (!locale) return line.empty() ? run.start(program, tail) : run.start(program, line, true);
    std::vector<std::wstring> args;
    int count = 0;
    wchar_t** split = CommandLineToArgvW((L"x " + W(tail)).c_str(), &count);
    for (int i = 1; split && i < count; ++i) args.push_back(split[i]);
    LocalFree(split);
    return run.startUnder(locale, W(program), args);
  }
  // Encrypts through the switch form; returns the result path.
  std::string encrypt(int mode, const std::string& paths, const std::string& target, int ext = 0) {
    ProgramRun run;
    std::string tail = "/crpmode=" + std::to_string(mode) + " " + paths;
    EXPECT_TRUE(start(run, exe, tail, "xx " + tail));
    EXPECT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
    EXPECT_TRUE(enterFileName(run.pid(), "", ext));
    if (mode == 0) {
      EXPECT_TRUE(saveAs(run.pid(), target));
    }
    if (mode == 1) {
      EXPECT_TRUE(chooseFirstMedia(run.pid()));
    }
    EXPECT_EQ(run.wait(300000), 0);
    EXPECT_TRUE(workingFilesOf(run.pid()).empty());
    return target;
  }
  // Decrypts a result by starting it (or by handing it to Kyvomar.exe), into
  // the folder it lies in.
  std::string decrypt(const std::string& result, bool byArgument, const std::string& password = kPassword) {
    ProgramRun run;
    EXPECT_TRUE(startRestore(&run, [&] {
      return (byArgument ? start(run, exe, "\"" + result + "\"", "") : start(run, result, "", "")) &&
             enterDecryptionPassword(run.pid(), password);
    }, folderOf(result)));
    std::string text;
    answerMessage(run.pid(), &text, password == kPassword ? 1500 : 30000);
    EXPECT_EQ(run.wait(300000), 0);
    EXPECT_TRUE(workingFilesOf(run.pid()).empty());
    return text;
  }
  TempDir work;
  std::string exe;
  const char* locale = nullptr;  // the Linux locale the program runs under; null: this test's own
};

TEST_F(RoundTrip, FolderModeFileAndFolderComeBackWithNamesContentsAndTimes) {
  std::string source = makeSampleTree(work / "src");
  std::string file = work / "src\\単独.txt";
  writeFile(file, "single file");
  const char* const names[] = {"\\画像.bin", "\\表.txt", "\\報告書\\能力\\memo.txt"};
  std::vector<std::pair<unsigned long long, unsigned long long>> before;
  for (const char* name : names) before.push_back(fileTimes(source + name));  // reading would change them
  std::string result = encrypt(0, "\"" + file + "\" \"" + source + "\"", work / "out\\サンプル.crpt.exe");
  ASSERT_TRUE(fileExists(result));
  TempDir restore;
  std::string copy = restore / "r.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false), "");
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(fileTimes(restore / "サンプル" + names[i]), before[i]) << names[i];
  EXPECT_EQ(compareTrees(source, restore / "サンプル"), "");
  EXPECT_EQ(readFile(restore / "単独.txt"), "single file");
}

TEST_F(RoundTrip, ProvisionalExtensionIsDecryptedByHandingItToTheProgram) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\x.crpt.ex_", 1);
  ASSERT_TRUE(fileExists(result));
  EXPECT_EQ(decrypt(result, true), "");
  EXPECT_EQ(compareTrees(source, work / "out\\サンプル"), "");
}

TEST_F(RoundTrip, RemovableModeLeavesTheResultOnTheDrive) {
  std::string source = makeSampleTree(work / "src");
  std::string media = "R:\\サンプル.crpt.exe";
  DeleteFileA(media.c_str());
  encrypt(1, "\"" + source + "\"", "");
  ASSERT_TRUE(fileExists(media));
  TempDir restore;
  std::string copy = restore / "m.exe";
  ASSERT_TRUE(CopyFileA(media.c_str(), copy.c_str(), FALSE));
  DeleteFileA(media.c_str());
  EXPECT_EQ(decrypt(copy, false), "");
  EXPECT_EQ(compareTrees(source, restore / "サンプル"), "");
  EXPECT_FALSE(fileExists(tempFolder() + "サンプル.crpt.exe"));
}

// A result is started from wherever it was saved: a library lying beside it
// under the name of one that the window system loads on demand (here the
// display driver of the test prefix, "null") is never loaded.
TEST_F(RoundTrip, LibraryPlantedBesideAResultIsNotLoaded) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\p.exe");
  TempDir downloads;
  std::string copy = downloads / "p.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(windowsPathOf(PLANTED_DLL_UNIX_PATH).c_str(), (downloads / "null.dll").c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false), "");
  EXPECT_FALSE(fileExists(downloads / "null.dll.was-loaded"));
  EXPECT_EQ(compareTrees(source, downloads / "サンプル"), "");
}

TEST_F(RoundTrip, WrongPasswordRestoresNothing) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\w.exe");
  TempDir restore;
  std::string copy = restore / "w.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false, "wrong"), "復号出来ませんでした。\r\nパスワードを確認してください");
  EXPECT_EQ(listFolder(restore.path()), std::vector<std::string>{"w.exe"});
}

// A recipient whose UI language is English reads the decryption dialog, the
// folder browser's title and the wrong-password message in English, read
// back as UTF-16 from the running program.
TEST_F(RoundTrip, RecipientWithAnEnglishUiLanguageIsAnsweredInEnglish) {
  std::string result = encrypt(0, "\"" + makeSampleTree(work / "src") + "\"", work / "out\\en.exe");
  TempDir restore;
  std::string copy = restore / "en.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  locale = "en_US.UTF-8";
  ProgramRun run;
  ASSERT_TRUE(start(run, copy, "", ""));
  HWND d = waitForDialogWith(IDC_PASSWORD, 120000, run.pid());
  ASSERT_TRUE(d);
  auto wideText = [](HWND w) {
    wchar_t text[512] = L"";
    SendMessageW(w, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return std::wstring(text);
  };
  EXPECT_EQ(wideText(GetDlgItem(d, IDC_PASSWORD_HEADING)), W(uiTextIn(UI_LANGUAGE_ENGLISH, TEXT_HEADING_DECRYPT)));
  std::vector<HWND> windows = {d};  // the title and every control: nothing Japanese left
  for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) windows.push_back(c);
  for (HWND w : windows) {
    std::wstring text = wideText(w);
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; })) << A(text);
  }
  ASSERT_TRUE(enterDecryptionPassword(run.pid(), "wrong"));
  ASSERT_TRUE(answerFolderBrowser(run.pid(), true, folderOf(copy)));  // found by its English title
  HWND box = waitForWindow(uiTextIn(UI_LANGUAGE_ENGLISH, TEXT_CAPTION), 30000, run.pid());
  ASSERT_TRUE(box);
  EXPECT_EQ(wideText(GetDlgItem(box, 0xFFFF)), W(uiTextIn(UI_LANGUAGE_ENGLISH, TEXT_WRONG_PASSWORD)));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(run.wait(60000), 0);
  EXPECT_EQ(listFolder(restore.path()), std::vector<std::string>{"en.exe"});
}

// Names code page 932 cannot hold travel as Unicode entries: they come back
// as they were, beside Shift-JIS names (whose second byte may be 0x5C) that
// stay ANSI entries. The operation log, which stays in code page 932, shows
// such a name with "?" for each character the code page lacks.
TEST_F(RoundTrip, NamesBeyondCodePage932ComeBackAsTheyWere) {
  const std::wstring src = work / L"names";
  const wchar_t emoji[] = {L'e', L'm', L'o', L'j', L'i', 0xD83D, 0xDE00, L'.', L't', L'x', L't', 0};
  struct File {
    std::wstring path;
    std::string data;
  } files[] = {
      {L"\x8B70\x4E8B\x9332\x301C" L"2024\\memo.txt", "minutes"},  // 議事録〜2024 (WAVE DASH)
      {L"caf\x00E9.txt", "with an accent"},
      {L"cafe.txt", "without"},
      {L"\x00C6r\x00F8\\data.txt", patternBytes(70000, 5)},
      {L"\xD55C\xAD6D\xC5B4.txt", "Korean"},
      {emoji, "emoji"},
      {W("表\\ソ能.txt"), "Shift-JIS"},
  };
  for (const File& f : files) {
    makeFolder((src + L"\\" + f.path).substr(0, (src + L"\\" + f.path).rfind(L'\\')));
    ASSERT_TRUE(writeFile(src + L"\\" + f.path, f.data));
  }
  const std::wstring single = work / L"\x00C6r\x00F8\x5831\x544A.txt";  // Ærø報告.txt
  ASSERT_TRUE(writeFile(single, "report"));
  makeFolder(work / "Log");
  ProgramRun run;
  ASSERT_TRUE(run.start(W(exe), L"xx /crpmode=0 \"" + src + L"\" \"" + single + L"\"", true));
  ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
  std::wstring proposed;
  ASSERT_TRUE(enterFileName(run.pid(), L"", 0, &proposed));
  EXPECT_TRUE(proposed == L"\x00C6r\x00F8\x5831\x544A.crpt") << A(proposed);
  std::string target = work / "out\\unicode.crpt.exe";
  ASSERT_TRUE(saveAs(run.pid(), target));
  EXPECT_EQ(run.wait(300000), 0);
  ASSERT_TRUE(fileExists(target));
  TempDir restore;
  std::string copy = restore / "u.exe";
  ASSERT_TRUE(CopyFileA(target.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(decrypt(copy, false), "");
  EXPECT_EQ(compareTrees(src, restore / L"names"), "");
  EXPECT_EQ(readFile(restore / L"\x00C6r\x00F8\x5831\x544A.txt"), "report");
  for (const File& f : files) {
    WIN32_FILE_ATTRIBUTE_DATA a = {}, b = {};
    GetFileAttributesExW((src + L"\\" + f.path).c_str(), GetFileExInfoStandard, &a);
    GetFileAttributesExW((restore / L"names" + L"\\" + f.path).c_str(), GetFileExInfoStandard, &b);
    EXPECT_EQ(CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime), 0) << A(f.path);
  }
  std::string log = readFile(work / "Log\\Crypt.Log");
  EXPECT_NE(log.find("OldFilePath=\"" + A(single) + "\";"), std::string::npos) << log;
  EXPECT_NE(A(single).find("?r?"), std::string::npos);
  EXPECT_NE(log.find("\\emoji?.txt\";"), std::string::npos);  // one "?" for a character of two units
  EXPECT_NE(log.find("\\" + std::string("表\\ソ能.txt") + "\";"), std::string::npos);
}

// A file in the way: the program asks, naming it with both sizes, and the
// answer "keep" leaves the user's newer copy without a message.
TEST_F(RoundTrip, ExistingFileIsKeptWhenTheUserSaysSo) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\k.crpt.exe");
  TempDir restore;
  std::string copy = restore / "k.exe", mine = restore / "サンプル\\表.txt";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  makeFolder(restore / "サンプル");
  writeFile(mine, "my newer edit");
  ProgramRun run;
  ASSERT_TRUE(startRestore(&run, [&] { return run.start(copy, "") && enterDecryptionPassword(run.pid(), kPassword); },
                           restore.path()));
  HWND question = waitForWindow("ファイルの置き換え確認", 60000, run.pid());
  ASSERT_TRUE(question);
  EXPECT_EQ(controlText(question, IDC_REPLACE_NAME), mine);
  EXPECT_EQ(controlText(question, IDC_REPLACE_EXISTING).find("既存のファイル: 13 バイト"), 0u);
  EXPECT_EQ(controlText(question, IDC_REPLACE_INCOMING).find("復号するファイル: " + std::to_string(fileSizeOf(source + "\\表.txt")) + " バイト"), 0u);
  PostMessageA(question, WM_COMMAND, IDC_KEEP_ONE, 0);
  std::string text;
  EXPECT_FALSE(answerMessage(run.pid(), &text, 1500)) << text;
  EXPECT_EQ(run.wait(300000), 0);
  EXPECT_EQ(readFile(mine), "my newer edit");
  EXPECT_EQ(readFile(restore / "サンプル\\画像.bin"), readFile(source + "\\画像.bin"));
}

// Two restores of one result into one folder at once: whichever way they
// meet, the tree comes back whole and no staging folder is left.
TEST_F(RoundTrip, ConcurrentRestoresIntoOneFolderLeaveNothingStaged) {
  std::string source = makeSampleTree(work / "src");
  writeFile(source + "\\large.bin", patternBytes(12 << 20, 4));
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\c.crpt.exe");
  TempDir restore;
  ProgramRun runs[2];
  for (int i = 0; i < 2; ++i) {
    std::string copy = restore / ("c" + std::to_string(i) + ".exe");
    ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(runs[i].start(copy, ""));
    ASSERT_TRUE(enterDecryptionPassword(runs[i].pid(), kPassword));
  }
  // Both browsers are answered only once both are ready, so that the two
  // restores start together and neither browser lists a folder the other is
  // already writing into.
  HWND browsers[2] = {};
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(browsers[i] = readyFolderBrowser(runs[i].pid(), restore.path()));
  for (HWND browser : browsers) PostMessageA(browser, WM_COMMAND, IDOK, 0);
  std::vector<std::string> texts;
  for (DWORD start = GetTickCount(); (runs[0].running() || runs[1].running()) && GetTickCount() - start < 300000;) {
    for (ProgramRun& run : runs) {
      if (HWND question = waitForWindow("ファイルの置き換え確認", 50, run.pid()))
        PostMessageA(question, WM_COMMAND, IDC_REPLACE_ALL, 0);
      std::string text;
      if (answerMessage(run.pid(), &text, 50)) texts.push_back(text);
    }
  }
  for (ProgramRun& run : runs) EXPECT_EQ(run.wait(1000), 0);
  for (const std::string& text : texts) EXPECT_EQ(text.find("次のフォルダは"), 0u) << text;
  EXPECT_LE(texts.size(), 1u);
  EXPECT_EQ(listFolder(restore.path()), (std::vector<std::string>{"c0.exe", "c1.exe", "サンプル"}));
  EXPECT_EQ(compareTrees(source, restore / "サンプル"), "");
}

// A result reads the same on every system: made under code page 932 and
// restored under another system code page, or the other way round, its names
// and contents come back exactly, the program's texts read as they were
// written, and the log stays in code page 932.
TEST_F(RoundTrip, ResultsTravelBetweenSystemCodePages) {
  const std::wstring korean = L"\xD55C\xAD6D\xC5B4";  // 한국어
  const struct {
    std::wstring path;
    std::string data;
  } files[] = {
      {W("表示\\ソ能.txt"), "trail byte 0x5C"},  {L"caf\x00E9.txt", "with an accent"},
      {L"cafe.txt", "without"},                  {L"na\x00EFve\\" + korean + L".txt", patternBytes(70000, 3)},
      {L"\x301C.txt", "wave dash"},
  };
  const std::wstring src = work / L"names";
  for (const auto& f : files) {
    std::wstring path = src + L"\\" + f.path;
    makeFolder(path.substr(0, path.rfind(L'\\')));
    ASSERT_TRUE(writeFile(path, f.data));
  }
  makeFolder(work / "Log");
  const struct {
    const char* locale;  // code page 1252, 949
    bool madeThere;      // else made here (932) and restored there
  } cases[] = {{"en_US.UTF-8", false}, {"en_US.UTF-8", true}, {"ko_KR.UTF-8", false}, {"ko_KR.UTF-8", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + (c.madeThere ? ": made there" : ": restored there"));
    DeleteFileA((work / "Log\\Crypt.Log").c_str());
    locale = c.madeThere ? c.locale : nullptr;
    std::string result = encrypt(0, "\"" + (work / "names") + "\"", work / "out\\cp.crpt.exe");
    ASSERT_TRUE(fileExists(result));
    if (c.madeThere) {
      EXPECT_NE(readFile(work / "Log\\Crypt.Log").find("\\表示\\ソ能.txt\";"), std::string::npos);
    }
    locale = c.madeThere ? nullptr : c.locale;
    TempDir restore;
    std::string copy = restore / "w.exe";
    ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
    // Restored there, it speaks English: neither UI language is Japanese.
    EXPECT_EQ(decrypt(copy, false, "wrong"),
              uiTextIn(c.madeThere ? UI_LANGUAGE_JAPANESE : UI_LANGUAGE_ENGLISH, TEXT_WRONG_PASSWORD));
    EXPECT_EQ(listFolder(restore.path()), std::vector<std::string>{"w.exe"});
    EXPECT_EQ(decrypt(copy, false), "");
    EXPECT_EQ(compareTrees(src, restore / L"names"), "");
    DeleteFileA(result.c_str());
  }
}

// A selection that cannot be packed whole: the job stops with a message that
// names the item and the reason, and writes no result. (Names are built wide:
// some cases hold names code page 932 cannot.)
TEST_F(RoundTrip, SelectionThatCannotBePackedWholeIsRefusedWithItsReason) {
  const std::string src = work / "src";
  makeFolder(src + "\\d1");
  makeFolder(src + "\\d2");
  writeFile(src + "\\d1\\same.txt", "first");
  writeFile(src + "\\d2\\same.txt", "second");
  writeFile(src + "\\locked.txt", "held by another program");
  writeFile(src + "\\a.txt", "a");
  // A folder the listing shows but that cannot be opened, and an item that
  // cannot be resolved: made on the Linux side, as Wine shows them.
  makeFolder(src + "\\tree");
  writeFile(src + "\\tree\\ok.txt", "ok");
  ASSERT_EQ(runUnix("mkdir '" + unixPathOf(src + "\\tree") + "/back\\slash' && ln -s loop '" + unixPathOf(src) + "/loop'"), 0);
  const std::string notFound = "次のファイルまたはフォルダが見つかりませんでした。\r\n";
  const std::string unreadable = "次のファイルまたはフォルダを読み込めませんでした。\r\n";
  const std::string end = "\r\n処理を中断します。";
  struct Case {
    const char* what;
    std::string paths;
    std::string message;
  } cases[] = {
      {"vanished file", "\"" + src + "\\gone.txt\"", notFound + src + "\\gone.txt" + end},
      {"same-name pair", "\"" + src + "\\d1\\same.txt\" \"" + src + "\\d2\\same.txt\"",
       "同じ名前のファイルまたはフォルダが選択されています。\r\n" + src + "\\d1\\same.txt\r\n" + src +
           "\\d2\\same.txt\r\n名前を変えるか、別々に暗号化してください。"},
      {"locked file", "\"" + src + "\\a.txt\" \"" + src + "\\locked.txt\"",
       "次のファイルは他のプログラムが使用中のため読み込めませんでした。\r\n" + src + "\\locked.txt" + end},
      {"unresolvable item", "\"" + src + "\\loop\"", unreadable + src + "\\loop" + end},
      {"unlistable sub-folder", "\"" + src + "\\tree\"", unreadable + src + "\\tree\\back\\slash" + end},
  };
  HANDLE lock = CreateFileA((src + "\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string target = work / "out\\refused.crpt.exe";
    ProgramRun run;
    ASSERT_TRUE(run.start(exe, "xx /crpmode=0 " + c.paths, true));
    ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
    ASSERT_TRUE(enterFileName(run.pid(), "refused.crpt", 0));
    ASSERT_TRUE(saveAs(run.pid(), target));
    std::string text;
    ASSERT_TRUE(answerMessage(run.pid(), &text, 60000));
    EXPECT_EQ(text, c.message);
    EXPECT_EQ(run.wait(60000), 0);
    EXPECT_FALSE(fileExists(target));
    EXPECT_TRUE(listFolder(work / "out").empty());
    EXPECT_TRUE(workingFilesOf(run.pid()).empty());
  }
  CloseHandle(lock);
  // Made on the Linux side, and removed there: Wine can neither open nor remove them.
  runUnix("rm -rf '" + unixPathOf(src) + "/loop' '" + unixPathOf(src + "\\tree") + "/back\\slash'");
}

// The temporary folder takes only what a large file spills beyond what is
// held in memory: when it is full, the message says so.
TEST_F(RoundTrip, FullTemporaryFolderIsReportedAsAFileThatCannotBeWritten) {
  TmpfsMount temp("256k");
  KYVO_REQUIRE_MOUNT(temp);
  std::string source = work / "big.bin";
  ASSERT_TRUE(writeFile(source, patternBytes(6 << 20, 11)));
  std::string target = work / "out\\big.crpt.exe";
  char saved[MAX_PATH] = "";
  GetEnvironmentVariableA("TMP", saved, sizeof saved);
  SetEnvironmentVariableA("TMP", temp.windowsPath().c_str());
  ProgramRun run;
  bool started = run.start(exe, "xx /crpmode=0 \"" + source + "\"", true);
  SetEnvironmentVariableA("TMP", saved);
  ASSERT_TRUE(started);
  ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
  ASSERT_TRUE(enterFileName(run.pid(), "", 0));
  ASSERT_TRUE(saveAs(run.pid(), target));
  std::string text;
  ASSERT_TRUE(answerMessage(run.pid(), &text, 60000));
  EXPECT_EQ(text, "ファイルが書けません。\r\nディスク容量、書き込み権限を確認してください");
  EXPECT_EQ(run.wait(60000), 0);
  EXPECT_FALSE(fileExists(target));
  EXPECT_TRUE(listFolder(temp.windowsPath()).empty());
}

// A restore needs room for the restored files alone: a small disk that
// holds the result, its temporary folder and the restored file, but no
// second copy of the result, is enough.
TEST_F(RoundTrip, RestoreNeedsNoRoomBesideTheRestoredFiles) {
  std::string source = work / "big.bin";
  ASSERT_TRUE(writeFile(source, patternBytes(2 << 20, 12)));
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\big.crpt.exe");
  TmpfsMount disk("5m");
  KYVO_REQUIRE_MOUNT(disk);
  std::string copy = disk.windowsPath() + "\\big.exe";
  ASSERT_TRUE(CopyFileA(result.c_str(), copy.c_str(), FALSE));
  char saved[MAX_PATH] = "";
  GetEnvironmentVariableA("TMP", saved, sizeof saved);
  SetEnvironmentVariableA("TMP", disk.windowsPath().c_str());
  std::string text = decrypt(copy, false);
  SetEnvironmentVariableA("TMP", saved);
  EXPECT_EQ(text, "");
  EXPECT_TRUE(readFile(disk.windowsPath() + "\\big.bin") == readFile(source));
  removeTree(disk.windowsPath() + "\\big.bin");
  removeTree(copy);
}

// The command line is read as typed: a program name or an argument of
// Japanese characters is never split at the bytes of their ANSI form.
TEST_F(RoundTrip, CommandLineIsReadAsTyped) {
  std::string source = makeSampleTree(work / "src");
  std::string result = encrypt(0, "\"" + source + "\"", work / "out\\表示.crpt.exe");
  ASSERT_TRUE(fileExists(result));
  writeFile(work / "表示.txt", "text");
  struct Case {
    const char* what;
    std::string exe, line;
    std::string dialog;  // the first dialog: its heading, or the proposed file name
    std::string folder;  // the current folder, which a result named there proposes for its files
  } cases[] = {
      {"result started by an unquoted name", result, "表示.crpt.exe", "復号確認"},
      {"unquoted Japanese argument", exe, "Kyvomar.exe 表示.txt", "表示.crpt"},
      {"quoted program and argument", exe, "\"" + exe + "\" \"" + (work / "表示.txt") + "\"", "表示.crpt"},
      {"result named relative to the current folder", exe, "Kyvomar.exe 表示.crpt.exe", "復号確認", work / "out"},
  };
  wchar_t here[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, here);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRun run;
    if (!c.folder.empty()) SetCurrentDirectoryA(c.folder.c_str());
    bool started = run.start(c.exe, c.line, true);
    SetCurrentDirectoryW(here);
    ASSERT_TRUE(started);
    HWND d = waitForWindow("暗号化", 30000, run.pid());
    ASSERT_TRUE(d);
    if (c.dialog == "復号確認") {
      EXPECT_EQ(controlText(d, IDC_PASSWORD_HEADING), c.dialog);
      if (c.folder.empty()) PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
      else EXPECT_TRUE(enterDecryptionPassword(run.pid(), kPassword) && answerFolderBrowser(run.pid(), false, c.folder));
    } else {
      ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
      HWND names = waitForWindow("暗号化ファイル名指定", 30000, run.pid());
      ASSERT_TRUE(names);
      EXPECT_EQ(controlText(names, IDC_FILE_NAME), c.dialog);
      PostMessageA(names, WM_COMMAND, IDCANCEL, 0);
    }
    EXPECT_EQ(run.wait(30000), 0);
  }
}

TEST_F(RoundTrip, CancelDuringALargeFileLeavesNoResultAndNoWorkingFiles) {
  makeFolder(work / "big");
  std::string big = work / "big\\large.bin";
  ASSERT_TRUE(writeFile(big, patternBytes(80 << 20, 9)));
  ProgramRun run;
  ASSERT_TRUE(run.start(exe, "xx /crpmode=0 \"" + big + "\"", true));
  ASSERT_TRUE(enterPassword(run.pid(), kPassword, kPassword));
  ASSERT_TRUE(enterFileName(run.pid(), "", 0));
  std::string target = work / "out\\large.crpt.exe";
  ASSERT_TRUE(saveAs(run.pid(), target));
  ASSERT_TRUE(cancelProgress(run.pid()));
  std::string text;
  ASSERT_TRUE(answerMessage(run.pid(), &text, 60000));
  EXPECT_EQ(text, "処理を中断しました");
  EXPECT_EQ(run.wait(60000), 0);
  EXPECT_FALSE(fileExists(target));
  EXPECT_TRUE(listFolder(work / "out").empty());
  EXPECT_TRUE(workingFilesOf(run.pid()).empty());
}

}  // namespace
