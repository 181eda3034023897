// The texts the handler produces: the module directory, the manager's path
// and command line, and the menu and help texts.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "common/text_util.h"
#include "shellext/command_line.h"
#include "shellext/menu_texts.h"
#include "shellext/module_path.h"

namespace {

std::wstring directoryOf(const wchar_t* path, size_t size = 260) {
  std::vector<wchar_t> out(size, L'x');
  bool ok = directoryOfPath(path, out.data(), out.size());
  return ok ? std::wstring(out.data()) : L"(refused:" + std::wstring(out.data()) + L")";
}

TEST(ModulePath, DirectoryLosesItsTrailingBackslash) {
  EXPECT_EQ(directoryOf(L"C:\\Program Files\\Kyvo\\Kyvoshell.dll"), L"C:\\Program Files\\Kyvo");
  EXPECT_EQ(directoryOf(L"C:\\Kyvoshell.dll"), L"C:");  // drive root
  EXPECT_EQ(directoryOf(L"\\\\server\\share\\Kyvoshell.dll"), L"\\\\server\\share");
  EXPECT_EQ(directoryOf(L"C:Kyvoshell.dll"), L"C:");
  EXPECT_EQ(directoryOf(L"Kyvoshell.dll"), L"");
  EXPECT_EQ(directoryOf(L"C:/dir/Kyvoshell.dll"), L"C:/dir");
  EXPECT_EQ(directoryOf(L"C:\\dir\\\\Kyvoshell.dll"), L"C:\\dir\\");  // one backslash goes
}

TEST(ModulePath, NamesOfAnyScriptSplitOnlyAtSeparators) {
  // 表, ソ and 能 end in 0x5C in code page 932; in UTF-16 no character holds a separator.
  EXPECT_EQ(directoryOf(L"C:\\表\\Kyvoshell.dll"), L"C:\\表");
  EXPECT_EQ(directoryOf(L"C:\\dir\\ソ.dll"), L"C:\\dir");
  EXPECT_EQ(directoryOf(L"C:\\a\\ソ\\能\\x.dll"), L"C:\\a\\ソ\\能");
  EXPECT_EQ(directoryOf(L"C:\\Users\\Zo\u00EB\\caf\u00E9 \u2603\\Kyvoshell.dll"), L"C:\\Users\\Zo\u00EB\\caf\u00E9 \u2603");
}

TEST(ModulePath, DirectoryThatDoesNotFitIsRefused) {
  EXPECT_EQ(directoryOf(L"C:\\abc\\x.dll", 7), L"C:\\abc");
  EXPECT_EQ(directoryOf(L"C:\\abcd\\x.dll", 7), L"(refused:)");
}

TEST(ModulePath, ProgramPathHasOneSeparator) {
  wchar_t out[1024];
  ASSERT_TRUE(buildProgramPath(L"C:", out, 1024));
  EXPECT_STREQ(out, L"C:\\Kyvomar.exe");
  ASSERT_TRUE(buildProgramPath(L"D:\\Tools\\表 caf\u00E9", out, 1024));
  EXPECT_STREQ(out, L"D:\\Tools\\表 caf\u00E9\\Kyvomar.exe");
  // Without a directory the manager is not looked for in the current drive's root.
  EXPECT_FALSE(buildProgramPath(L"", out, 1024));
  EXPECT_STREQ(out, L"");
  wchar_t small[15];
  EXPECT_EQ(programPathSize(2), 15u);
  EXPECT_TRUE(buildProgramPath(L"C:", small, 15));  // 14 characters and the NUL
  EXPECT_FALSE(buildProgramPath(L"CC:", small, 15));
  EXPECT_STREQ(small, L"");
}

std::wstring commandLine(unsigned mode, const std::vector<std::wstring>& paths, size_t size = kCommandLineLimit,
                         long* length = nullptr) {
  std::vector<const wchar_t*> texts;
  for (const std::wstring& p : paths) texts.push_back(p.c_str());
  std::vector<wchar_t> out(size + 1, L'x');
  long n = buildManagerCommandLine(mode, texts.data(), static_cast<unsigned>(paths.size()), out.data(), size);
  if (length) *length = n;
  EXPECT_EQ(out[size], L'x') << "nothing written past the buffer";
  return n < 0 ? L"(refused:" + std::wstring(out.data()) + L")" : std::wstring(out.data());
}

TEST(ManagerCommandLine, ModeAndQuotedPathsInSelectionOrder) {
  EXPECT_EQ(commandLine(0, {L"C:\\data\\a.txt", L"C:\\data\\folder"}),
            L"xx /crpmode=0 \"C:\\data\\a.txt\" \"C:\\data\\folder\"");
  EXPECT_EQ(commandLine(1, {L"C:\\data"}), L"xx /crpmode=1 \"C:\\data\"");
  EXPECT_EQ(commandLine(2, {L"D:\\b.doc", L"C:\\a.txt"}), L"xx /crpmode=2 \"D:\\b.doc\" \"C:\\a.txt\"");
  EXPECT_EQ(commandLine(0, {}), L"xx /crpmode=0");
}

TEST(ManagerCommandLine, BoundAdmitsAtMost124Items) {
  EXPECT_EQ(commandLineBound(0), 13u);
  EXPECT_EQ(commandLineBound(124), 32625u);
  EXPECT_EQ(commandLineBound(125), 32888u);
  EXPECT_LE(commandLineBound(124), kCommandLineLimit);
  EXPECT_GT(commandLineBound(125), kCommandLineLimit);
  EXPECT_EQ(commandLineBound(0xFFFFFFFFu), 13ull + 263ull * 0xFFFFFFFFull);  // no overflow
}

TEST(ManagerCommandLine, PathsOfAnyLengthAndScriptPassWhole) {
  std::wstring longPath = L"C:\\" + std::wstring(296, L'a');  // 300 characters
  std::wstring foreign = L"C:\\data\\caf\u00E9 \u2603 表.txt";
  EXPECT_EQ(commandLine(0, {longPath, foreign}), L"xx /crpmode=0 \"" + longPath + L"\" \"" + foreign + L"\"");
  std::vector<std::wstring> paths(124, L"C:\\" + std::wstring(256, L'a'));  // 259 characters each
  long length = 0;
  std::wstring line = commandLine(2, paths, kCommandLineLimit, &length);
  EXPECT_EQ(static_cast<size_t>(length), line.size());
  EXPECT_EQ(line.size(), 13u + 124u * 262u);
}

TEST(ManagerCommandLine, LineUpToThePlatformLimitFitsALongerOneIsRefusedWhole) {
  // 13 + 4 * 3 characters around the paths; the line may have 32,766 and its NUL.
  const size_t around = 13 + 4 * 3;
  std::vector<std::wstring> paths(4, std::wstring(8185, L'p'));
  paths[3] += std::wstring(32766 - around - 4 * 8185, L'q');
  long length = 0;
  std::wstring line = commandLine(1, paths, kCommandLineLimit, &length);
  EXPECT_EQ(length, 32766);
  EXPECT_EQ(line.size(), 32766u);
  paths[3] += L"r";
  EXPECT_EQ(commandLine(1, paths, kCommandLineLimit, &length), L"(refused:)");
  EXPECT_EQ(length, -1);
}

TEST(ManagerCommandLine, TextThatDoesNotFitIsRefusedNotOverrun) {
  // A large offset has more digits than a tight buffer has room for.
  std::vector<std::wstring> paths = {L"C:\\" + std::wstring(256, L'b')};
  size_t size = 13 + 3 + 259 + 1;  // just the line for mode 0 and its NUL
  EXPECT_EQ(commandLine(65535, paths, size), L"(refused:)");
  EXPECT_EQ(commandLine(0, paths, size).size(), size - 1);
  EXPECT_EQ(commandLine(0, {}, 13), L"(refused:)");  // "xx /crpmode=0" needs 14
  EXPECT_EQ(commandLine(0, {}, 14), L"xx /crpmode=0");
  wchar_t out[32];
  EXPECT_EQ(buildManagerCommandLine(0, nullptr, 1, out, 32), -1);
  const wchar_t* missing[] = {L"C:\\a", nullptr};
  EXPECT_EQ(buildManagerCommandLine(0, missing, 2, out, 32), -1);
  EXPECT_STREQ(out, L"");
}

std::string hex(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    char b[4];
    snprintf(b, sizeof b, "%02X ", *p);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

TEST(MenuTexts, TextsAreShiftJis) {
  EXPECT_EQ(hex(commandMenuText(0, UI_LANGUAGE_JAPANESE)), "88 C3 8D 86 89 BB 82 B5 82 C4 83 68 83 89 83 43 83 75 82 C9 95 DB 91 B6");
  EXPECT_EQ(hex(commandMenuText(1, UI_LANGUAGE_JAPANESE)), "88 C3 8D 86 89 BB 82 B5 82 C4 8A 4F 95 94 83 81 83 66 83 42 83 41 82 C9 95 DB 91 B6");
  EXPECT_EQ(hex(commandMenuText(2, UI_LANGUAGE_JAPANESE)), "88 C3 8D 86 89 BB 82 B5 82 C4 83 81 81 5B 83 8B 93 59 95 74");
  const char tail[] = "82 B5 82 DC 82 B7 81 42 81 69 8E E8 93 AE 88 C3 8D 86 89 BB 83 76 83 8D 83 4F 83 89 83 80 82 CC 8B 4E 93 AE 81 6A";
  // An ASCII blank after 暗号化して in the first two, an ideographic comma in the third.
  EXPECT_EQ(hex(commandHelpText(0, UI_LANGUAGE_JAPANESE)),
            std::string("88 C3 8D 86 89 BB 82 B5 82 C4 20 83 68 83 89 83 43 83 75 82 C9 95 DB 91 B6 ") + tail);
  EXPECT_EQ(hex(commandHelpText(1, UI_LANGUAGE_JAPANESE)),
            std::string("88 C3 8D 86 89 BB 82 B5 82 C4 20 8A 4F 95 94 83 81 83 66 83 42 83 41 82 C9 95 DB 91 B6 ") + tail);
  EXPECT_EQ(hex(commandHelpText(2, UI_LANGUAGE_JAPANESE)),
            std::string("88 C3 8D 86 89 BB 82 B5 82 C4 81 41 83 81 81 5B 83 8B 93 59 95 74 ") + tail);
  EXPECT_STREQ(commandMenuText(0, UI_LANGUAGE_JAPANESE), "暗号化してドライブに保存");
  EXPECT_STREQ(commandHelpText(2, UI_LANGUAGE_JAPANESE), "暗号化して、メール添付します。（手動暗号化プログラムの起動）");
}

TEST(MenuTexts, BitmapsAndUnknownOffsets) {
  EXPECT_EQ(commandBitmapId(0), 205);
  EXPECT_EQ(commandBitmapId(1), 205);
  EXPECT_EQ(commandBitmapId(2), 201);
  EXPECT_EQ(commandBitmapId(3), 0);
  // Drawn for 96 dots per inch, scaled with the screen, held to the check-mark box.
  EXPECT_EQ(menuBitmapSize(96, 15), 11);
  EXPECT_EQ(menuBitmapSize(144, 20), 17);
  EXPECT_EQ(menuBitmapSize(192, 30), 22);
  EXPECT_EQ(menuBitmapSize(192, 15), 15);
  EXPECT_EQ(commandMenuText(3, UI_LANGUAGE_JAPANESE), nullptr);
  EXPECT_EQ(commandHelpText(3, UI_LANGUAGE_JAPANESE), nullptr);
  EXPECT_EQ(commandHelpText(0xFFFFFFFFu, UI_LANGUAGE_JAPANESE), nullptr);
}

TEST(ShiftJis, CutNeverSplitsACharacter) {
  const char* text = commandHelpText(2, UI_LANGUAGE_JAPANESE);  // 暗 = 88 C3 ...
  EXPECT_EQ(safeCutLength(text, strlen(text), 0), 0u);
  EXPECT_EQ(safeCutLength(text, strlen(text), 1), 0u);
  EXPECT_EQ(safeCutLength(text, strlen(text), 2), 2u);
  EXPECT_EQ(safeCutLength(text, strlen(text), 3), 2u);
  EXPECT_EQ(safeCutLength(text, strlen(text), 1000), strlen(text));
  EXPECT_EQ(safeCutLength("a\x95\x5C" "b", strlen("a\x95\x5C" "b"), 2), 1u);
  EXPECT_EQ(safeCutLength("a\x95\x5C" "b", strlen("a\x95\x5C" "b"), 3), 3u);
  EXPECT_EQ(safeCutLength("\x95", strlen("\x95"), 5), 1u);  // a lone lead byte at the end counts as one
}

}  // namespace
