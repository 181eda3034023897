// Names and folder paths an archive may bring along.
#include "manager/archive/entry_check.h"

#include <gtest/gtest.h>

#include <string>

#include "manager/archive/utf8_text.h"

namespace {

TEST(EntryCheck, PlainNamesAndShiftJisNamesWithTrailBackslashArePlain) {
  for (const char* name : {"a", "a.txt", "..a", "a..b", "表", "ソ", "能", "表ソ能.doc", "ポ", ".profile",
                           "CONX", "xCON", "CON1", "COM0", "COM10", "LPT", "a b", "nul_"})
    EXPECT_TRUE(isSafeEntryName(name, false)) << name;
  for (const char* folder : {"", "a", "表", "表\\ソ", "ソ\\能\\表", "Docs\\Old", "a b\\c.d", "..ve\\il."})
    EXPECT_TRUE(isSafeFolderPath(folder)) << folder;
}

TEST(EntryCheck, DotsEmptyComponentsAndRootsAreRefused) {
  for (const char* folder : {"..", ".", "...", " ", ". .", "a\\..", "..\\a", "a\\.\\b", "\\a", "a\\", "a\\\\b",
                             "\\\\server\\share", "表\\", "\\表"})
    EXPECT_FALSE(isSafeFolderPath(folder)) << folder;
  for (const char* name : {"..", ".", "...", " ", "a\\b", "..\\x", "\\x", "x\\"})
    EXPECT_FALSE(isSafeEntryName(name, false)) << name;
}

TEST(EntryCheck, DrivesColonsAndSlashesAreRefused) {
  for (const char* folder : {"C:", "C:\\x", "x\\C:", "a:b", "a/b", "/a", "../x", "a\\b/..", "file:stream"})
    EXPECT_FALSE(isSafeFolderPath(folder)) << folder;
  for (const char* name : {"C:", "a:b", "a/b", "/", "x.txt:ads"}) EXPECT_FALSE(isSafeEntryName(name, false)) << name;
}

TEST(EntryCheck, DeviceNamesInAnyCaseWithExtensionsAndTrailingDotsAreRefused) {
  for (const char* name : {"CON", "con", "CoN", "PRN", "AUX", "NUL", "nul.txt", "CON.tar.gz", "con .txt", "NUL.",
                           "NUL...", "aux ", "AUX. .", "COM1", "com9.log", "LPT1", "lpt9", "Lpt5.x", "CONIN$",
                           "conout$.x"})
    EXPECT_FALSE(isSafeEntryName(name, false)) << name;
  EXPECT_FALSE(isSafeFolderPath("a\\con\\b"));
  EXPECT_FALSE(isSafeFolderPath("COM3.dir"));
}

TEST(EntryCheck, ControlAndWildcardCharactersAreRefusedButNotAsTrailBytes) {
  for (const char* name : {"a*b", "a?b", "<", ">", "a|b", "q\"q", "tab\there", "\x01"})
    EXPECT_FALSE(isSafeEntryName(name, false)) << name;
  // 83 7C is a double-byte character whose second byte is '|'.
  EXPECT_TRUE(isSafeEntryName("\x83\x7C", false));
  // A lead byte before a byte that cannot be a trail byte hides nothing.
  EXPECT_FALSE(isSafeEntryName("\x83:", false));
  EXPECT_FALSE(isSafeFolderPath("\x83/x"));
}

TEST(EntryCheck, EmptyNameOnlyForFolderEntries) {
  EXPECT_TRUE(isSafeEntryName("", true));
  EXPECT_FALSE(isSafeEntryName("", false));
  EXPECT_FALSE(isSafeEntryName("..", true));
  EXPECT_FALSE(isSafeEntryName("CON", true));
}

// Names of Unicode entries: UTF-8 bytes of 0x80 and above never pair up as
// Shift-JIS, and only the one well-formed spelling of each character counts.
TEST(EntryCheck, UnicodeEntryNamesAreCheckedAsWellFormedUtf8) {
  for (const char* name : {"caf\xC3\xA9.txt", "\xED\x95\x9C\xEA\xB5\xAD", "emoji\xF0\x9F\x98\x80.txt",
                           "\xE8\xAD\xB0\xE4\xBA\x8B\xE9\x8C\xB2\xE3\x80\x9C" "2024"})
    EXPECT_TRUE(isSafeEntryName(name, false, true)) << name;
  // In code page 932, E3 80 would pair up; in UTF-8 it is the start of a character.
  EXPECT_TRUE(isSafeFolderPath("\xE3\x80\x9C\\x", true));
  for (const char* name : {"..", "a:b", "CON", "\xC0\xAE", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                           "\xC3", "\x80", "\xFF"})
    EXPECT_FALSE(isSafeEntryName(name, false, true)) << name;
  EXPECT_FALSE(isSafeFolderPath("ok\\\xC0\xAE\xC0\xAE", true));
}

TEST(Utf8Text, WideTextRoundTripsAndHalfPairsAreRefused) {
  const wchar_t pair[] = {0xD83D, 0xDE00, 0};  // U+1F600 where wchar_t holds UTF-16
  std::wstring samples[] = {L"", L"a", L"caf\x00E9", L"\x8B70\x4E8B\x9332\x301C" L"2024", L"\xD55C\xAD6D"};
  for (const std::wstring& text : samples) {
    char utf8[64];
    ASSERT_TRUE(utf8FromWide(text.c_str(), utf8, sizeof utf8));
    wchar_t back[64];
    ASSERT_TRUE(wideFromUtf8(utf8, back, 64));
    EXPECT_EQ(std::wstring(back), text);
  }
  char utf8[16];
  if (sizeof(wchar_t) == 2) {
    ASSERT_TRUE(utf8FromWide(pair, utf8, sizeof utf8));
    EXPECT_EQ(std::string(utf8), "\xF0\x9F\x98\x80");
    const wchar_t half[] = {L'a', 0xD83D, L'b', 0};
    EXPECT_FALSE(utf8FromWide(half, utf8, sizeof utf8));
    EXPECT_EQ(utf8[0], '\0');
  }
  // Too long for its buffer: refused, never cut.
  EXPECT_FALSE(utf8FromWide(L"caf\x00E9", utf8, 5));
  wchar_t wide[4];
  EXPECT_FALSE(wideFromUtf8("abcd", wide, 4));
  EXPECT_FALSE(wideFromUtf8("a\xC0\xAE", wide, 4));
}

}  // namespace
