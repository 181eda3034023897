// Names and folder paths an archive may bring along.
#include "manager/archive/entry_check.h"

#include <gtest/gtest.h>

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

}  // namespace
