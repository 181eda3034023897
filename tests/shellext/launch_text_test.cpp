// The texts the handler produces: the module directory, the manager's path
// and command line, and the menu and help texts.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "shellext/command_line.h"
#include "shellext/menu_texts.h"
#include "shellext/module_path.h"
#include "shellext/shift_jis.h"

namespace {

std::string directoryOf(const char* path, size_t size = 260) {
  std::vector<char> out(size, 'x');
  bool ok = directoryOfPath(path, out.data(), out.size());
  return ok ? std::string(out.data()) : "(refused:" + std::string(out.data()) + ")";
}

TEST(ModulePath, DirectoryLosesItsTrailingBackslash) {
  EXPECT_EQ(directoryOf("C:\\Program Files\\Kyvo\\Kyvoshell.dll"), "C:\\Program Files\\Kyvo");
  EXPECT_EQ(directoryOf("C:\\Kyvoshell.dll"), "C:");  // drive root
  EXPECT_EQ(directoryOf("\\\\server\\share\\Kyvoshell.dll"), "\\\\server\\share");
  EXPECT_EQ(directoryOf("C:Kyvoshell.dll"), "C:");
  EXPECT_EQ(directoryOf("Kyvoshell.dll"), "");
  EXPECT_EQ(directoryOf("C:/dir/Kyvoshell.dll"), "C:/dir");
  EXPECT_EQ(directoryOf("C:\\dir\\\\Kyvoshell.dll"), "C:\\dir\\");  // one backslash goes
}

TEST(ModulePath, TrailByteOfADoubleByteCharacterIsNoSeparator) {
  // 表 = 95 5C, ソ = 83 5C, 能 = 94 5C.
  EXPECT_EQ(directoryOf("C:\\\x95\x5C\\Kyvoshell.dll"), "C:\\\x95\x5C");
  EXPECT_EQ(directoryOf("C:\\dir\\\x83\x5C.dll"), "C:\\dir");
  EXPECT_EQ(directoryOf("C:\\\x94\x5C\x83\x5C"), "C:");
  EXPECT_EQ(directoryOf("C:\\a\\\x83\x5C\\\x94\x5C\\x.dll"), "C:\\a\\\x83\x5C\\\x94\x5C");
}

TEST(ModulePath, DirectoryThatDoesNotFitIsRefused) {
  EXPECT_EQ(directoryOf("C:\\abc\\x.dll", 7), "C:\\abc");
  EXPECT_EQ(directoryOf("C:\\abcd\\x.dll", 7), "(refused:)");
}

TEST(ModulePath, ProgramPathHasOneSeparator) {
  char out[1024];
  ASSERT_TRUE(buildProgramPath("C:", out, sizeof out));
  EXPECT_STREQ(out, "C:\\Kyvomar.exe");
  ASSERT_TRUE(buildProgramPath("D:\\Tools\\\x95\x5C", out, sizeof out));
  EXPECT_STREQ(out, "D:\\Tools\\\x95\x5C\\Kyvomar.exe");
  // Without a directory the manager is not looked for in the current drive's root.
  EXPECT_FALSE(buildProgramPath("", out, sizeof out));
  EXPECT_STREQ(out, "");
  char small[15];
  EXPECT_TRUE(buildProgramPath("C:", small, sizeof small));  // 14 bytes and the NUL
  EXPECT_FALSE(buildProgramPath("CC:", small, sizeof small));
  EXPECT_STREQ(small, "");
}

std::vector<char> slotsOf(const std::vector<std::string>& paths) {
  std::vector<char> slots(paths.size() * kSelectionSlotSize, '\0');
  for (size_t i = 0; i < paths.size(); ++i) memcpy(&slots[i * kSelectionSlotSize], paths[i].c_str(), paths[i].size() + 1);
  return slots;
}

std::string commandLine(unsigned mode, const std::vector<std::string>& paths, long* length = nullptr) {
  std::vector<char> slots = slotsOf(paths);
  size_t size = static_cast<size_t>(commandLineBound(static_cast<unsigned>(paths.size()))) + 1;
  std::vector<char> out(size, 'x');
  long n = buildManagerCommandLine(mode, slots.data(), static_cast<unsigned>(paths.size()), out.data(), size);
  if (length) *length = n;
  return n < 0 ? "(refused)" : std::string(out.data());
}

TEST(ManagerCommandLine, ModeAndQuotedPathsInSelectionOrder) {
  EXPECT_EQ(commandLine(0, {"C:\\data\\a.txt", "C:\\data\\folder"}),
            "xx /crpmode=0 \"C:\\data\\a.txt\" \"C:\\data\\folder\"");
  EXPECT_EQ(commandLine(1, {"C:\\data"}), "xx /crpmode=1 \"C:\\data\"");
  EXPECT_EQ(commandLine(2, {"D:\\b.doc", "C:\\a.txt"}), "xx /crpmode=2 \"D:\\b.doc\" \"C:\\a.txt\"");
  EXPECT_EQ(commandLine(0, {}), "xx /crpmode=0");
  EXPECT_EQ(commandLine(2, {""}), "xx /crpmode=2 \"\"");  // a slot without a name
}

TEST(ManagerCommandLine, BoundAdmitsAtMost124Items) {
  EXPECT_EQ(commandLineBound(0), 13u);
  EXPECT_EQ(commandLineBound(124), 32625u);
  EXPECT_EQ(commandLineBound(125), 32888u);
  EXPECT_LE(commandLineBound(124), kCommandLineLimit);
  EXPECT_GT(commandLineBound(125), kCommandLineLimit);
  EXPECT_EQ(commandLineBound(0xFFFFFFFFu), 13ull + 263ull * 0xFFFFFFFFull);  // no overflow
}

TEST(ManagerCommandLine, LongestPathsFitTheBound) {
  std::vector<std::string> paths(124, "C:\\" + std::string(256, 'a'));  // 259 bytes each
  long length = 0;
  std::string line = commandLine(2, paths, &length);
  ASSERT_NE(line, "(refused)");
  EXPECT_EQ(static_cast<size_t>(length), line.size());
  EXPECT_EQ(line.size(), 13u + 124u * 262u);
  EXPECT_EQ(line.substr(0, 18), "xx /crpmode=2 \"C:\\");
  EXPECT_EQ(line.back(), '"');
}

TEST(ManagerCommandLine, ShiftJisPathsPassUnchanged) {
  std::string path = "C:\\\x95\x5C\\\x83\x5C\x94\x5C.txt";
  EXPECT_EQ(commandLine(0, {path}), "xx /crpmode=0 \"" + path + "\"");
}

TEST(ManagerCommandLine, TextThatDoesNotFitIsRefusedNotOverrun) {
  // A large offset has more digits than the bound reserves.
  std::vector<std::string> paths = {"C:\\" + std::string(256, 'b')};
  std::vector<char> slots = slotsOf(paths);
  size_t size = static_cast<size_t>(commandLineBound(1)) + 1;
  std::vector<char> out(size + 16, 'x');
  EXPECT_EQ(buildManagerCommandLine(65535, slots.data(), 1, out.data(), size), -1);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[size], 'x');  // nothing written past the buffer
  char tiny[13];
  EXPECT_EQ(buildManagerCommandLine(0, nullptr, 0, tiny, sizeof tiny), -1);  // "xx /crpmode=0" needs 14
  char exact[14];
  EXPECT_EQ(buildManagerCommandLine(0, nullptr, 0, exact, sizeof exact), 13);
}

TEST(ManagerCommandLine, SlotWithoutTerminatorEndsAtTheSlot) {
  std::vector<char> slots(2 * kSelectionSlotSize, 'z');
  slots[kSelectionSlotSize] = 'y';
  slots[kSelectionSlotSize + 1] = '\0';
  std::vector<char> out(commandLineBound(2) + 1);
  long n = buildManagerCommandLine(1, slots.data(), 2, out.data(), out.size());
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(out.data()), "xx /crpmode=1 \"" + std::string(kSelectionSlotSize, 'z') + "\" \"y\"");
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
  EXPECT_EQ(hex(commandMenuText(0)), "88 C3 8D 86 89 BB 82 B5 82 C4 83 68 83 89 83 43 83 75 82 C9 95 DB 91 B6");
  EXPECT_EQ(hex(commandMenuText(1)), "88 C3 8D 86 89 BB 82 B5 82 C4 8A 4F 95 94 83 81 83 66 83 42 83 41 82 C9 95 DB 91 B6");
  EXPECT_EQ(hex(commandMenuText(2)), "88 C3 8D 86 89 BB 82 B5 82 C4 83 81 81 5B 83 8B 93 59 95 74");
  const char tail[] = "82 B5 82 DC 82 B7 81 42 81 69 8E E8 93 AE 88 C3 8D 86 89 BB 83 76 83 8D 83 4F 83 89 83 80 82 CC 8B 4E 93 AE 81 6A";
  // An ASCII blank after 暗号化して in the first two, an ideographic comma in the third.
  EXPECT_EQ(hex(commandHelpText(0)),
            std::string("88 C3 8D 86 89 BB 82 B5 82 C4 20 83 68 83 89 83 43 83 75 82 C9 95 DB 91 B6 ") + tail);
  EXPECT_EQ(hex(commandHelpText(1)),
            std::string("88 C3 8D 86 89 BB 82 B5 82 C4 20 8A 4F 95 94 83 81 83 66 83 42 83 41 82 C9 95 DB 91 B6 ") + tail);
  EXPECT_EQ(hex(commandHelpText(2)),
            std::string("88 C3 8D 86 89 BB 82 B5 82 C4 81 41 83 81 81 5B 83 8B 93 59 95 74 ") + tail);
  EXPECT_STREQ(commandMenuText(0), "暗号化してドライブに保存");
  EXPECT_STREQ(commandHelpText(2), "暗号化して、メール添付します。（手動暗号化プログラムの起動）");
}

TEST(MenuTexts, BitmapsAndUnknownOffsets) {
  EXPECT_EQ(commandBitmapId(0), 205);
  EXPECT_EQ(commandBitmapId(1), 205);
  EXPECT_EQ(commandBitmapId(2), 201);
  EXPECT_EQ(commandBitmapId(3), 0);
  EXPECT_EQ(commandMenuText(3), nullptr);
  EXPECT_EQ(commandHelpText(3), nullptr);
  EXPECT_EQ(commandHelpText(0xFFFFFFFFu), nullptr);
}

TEST(ShiftJis, CutNeverSplitsACharacter) {
  const char* text = commandHelpText(2);  // 暗 = 88 C3 ...
  EXPECT_EQ(shiftJisCutLength(text, 0), 0u);
  EXPECT_EQ(shiftJisCutLength(text, 1), 0u);
  EXPECT_EQ(shiftJisCutLength(text, 2), 2u);
  EXPECT_EQ(shiftJisCutLength(text, 3), 2u);
  EXPECT_EQ(shiftJisCutLength(text, 1000), strlen(text));
  EXPECT_EQ(shiftJisCutLength("a\x95\x5C" "b", 2), 1u);
  EXPECT_EQ(shiftJisCutLength("a\x95\x5C" "b", 3), 3u);
  EXPECT_EQ(shiftJisCutLength("\x95", 5), 1u);  // a lone lead byte at the end counts as one
}

}  // namespace
