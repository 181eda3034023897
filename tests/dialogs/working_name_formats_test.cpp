// Time texts, working names and unique names from fixed inputs.
#include "manager/dialogs/working_name_formats.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>

namespace {

const LocalTimeFields kMarch = {2010, 3, 4, 5, 6, 7, 9};
const LocalTimeFields kDecember = {2010, 12, 24, 14, 35, 59, 123};

std::string timeText(int kind, const LocalTimeFields& t) {
  char out[64];
  EXPECT_EQ(formatTimeText(out, sizeof out, kind, t), 0);
  return out;
}

TEST(TimeTexts, StampIsZeroPaddedAndLogTimeIsNot) {
  EXPECT_EQ(timeText(0, kMarch), "20100304_050607009");
  EXPECT_EQ(timeText(1, kMarch), "2010-3-4 5:6:7");
  EXPECT_EQ(timeText(0, kDecember), "20101224_143559123");
  EXPECT_EQ(timeText(1, kDecember), "2010-12-24 14:35:59");
  LocalTimeFields midnight = {2011, 1, 1, 0, 0, 0, 0};
  EXPECT_EQ(timeText(0, midnight), "20110101_000000000");
  EXPECT_EQ(timeText(1, midnight), "2011-1-1 0:0:0");
}

TEST(TimeTexts, UnknownKindOrShortBufferGivesAnEmptyText) {
  char out[64] = "x";
  EXPECT_EQ(formatTimeText(out, sizeof out, 2, kMarch), 1);
  EXPECT_STREQ(out, "");
  char small[18] = "x";  // the stamp needs 19 bytes with its terminator
  EXPECT_EQ(formatTimeText(small, sizeof small, 0, kMarch), 1);
  EXPECT_STREQ(small, "");
  char exact[19];
  EXPECT_EQ(formatTimeText(exact, sizeof exact, 0, kMarch), 0);
  EXPECT_STREQ(exact, "20100304_050607009");
}

TEST(WorkingNameFormats, NamesShareOneStampAndCarryBothNumbersInLowercaseHex) {
  WorkingNames names;
  ASSERT_EQ(formatWorkingNames(&names, L"C:\\Temp\\", "20100304_050607009", 0x0ABC, 0x1F), 0);
  EXPECT_EQ(std::wstring(names.sourceList), L"C:\\Temp\\TmpCrp_20100304_050607009_abc_1f.prc");
}

TEST(WorkingNameFormats, SameStampInAnotherProcessGivesOtherNames) {
  WorkingNames first, second;
  ASSERT_EQ(formatWorkingNames(&first, L"C:\\Temp\\", "20100304_050607009", 0x10, 0x20), 0);
  ASSERT_EQ(formatWorkingNames(&second, L"C:\\Temp\\", "20100304_050607009", 0x11, 0x20), 0);
  EXPECT_NE(std::wstring(first.sourceList), std::wstring(second.sourceList));
}

TEST(WorkingNameFormats, FolderIsKeptAsItIs) {
  // (Texts code page 932 lacks stay out of the assertions, which quote them.)
  const std::wstring folder = L"C:\\表\\café\\";
  WorkingNames names;
  ASSERT_EQ(formatWorkingNames(&names, folder.c_str(), "20100304_050607009", 1, 2), 0);
  EXPECT_EQ(std::wstring(names.sourceList), folder + L"TmpCrp_20100304_050607009_1_2.prc");
}

TEST(WorkingNameFormats, NameOver2048CharactersIsRefusedNotCut) {
  const std::wstring stem = L"TmpCrp_20100304_050607009_abc_1f.prc";  // 36 characters after the folder
  // Folder of "C:\" + filler + "\": the name is exactly 2048 characters.
  std::wstring folder = L"C:\\" + std::wstring(2048 - stem.size() - 4, L'f') + L"\\";
  WorkingNames names;
  ASSERT_EQ(formatWorkingNames(&names, folder.c_str(), "20100304_050607009", 0xabc, 0x1f), 0);
  EXPECT_EQ(std::wstring(names.sourceList).size(), 2048u);
  EXPECT_EQ(std::wstring(names.sourceList), folder + L"TmpCrp_20100304_050607009_abc_1f.prc");

  std::wstring longer = L"C:\\" + std::wstring(2048 - stem.size() - 3, L'f') + L"\\";
  wcscpy(names.sourceList, L"stale");
  EXPECT_EQ(formatWorkingNames(&names, longer.c_str(), "20100304_050607009", 0xabc, 0x1f), 1);
  EXPECT_EQ(std::wstring(names.sourceList), L"");
  // A longer process number alone tips it over, too.
  EXPECT_EQ(formatWorkingNames(&names, folder.c_str(), "20100304_050607009", 0xabcd, 0x1f), 1);
  EXPECT_EQ(std::wstring(names.sourceList), L"");
}

std::string drawn(unsigned seed) {
  std::string out;
  srand(seed);
  for (int i = 0; i < 8; ++i) out += kUniqueNameAlphabet[rand() % 62];
  return out;
}

TEST(UniqueNameFormat, TimeEightDrawnCharactersAndPaddedNumbers) {
  char out[64];
  ASSERT_EQ(formatUniqueName(out, sizeof out, kMarch, 12345, 0x1a2b, 0x3c), 0);
  std::string name = out;
  ASSERT_EQ(name.size(), 39u);
  EXPECT_EQ(name.substr(0, 15), "20100304-050607");
  EXPECT_EQ(name.substr(15, 8), drawn(12345));
  EXPECT_EQ(name.substr(23), "00001a2b0000003c");
  EXPECT_EQ(strlen(kUniqueNameAlphabet), 62u);
}

TEST(UniqueNameFormat, RepeatedSeedRepeatsTheCharacters) {
  char a[64], b[64], c[64];
  ASSERT_EQ(formatUniqueName(a, sizeof a, kMarch, 777, 1, 2), 0);
  srand(1);  // whatever the generator did in between
  (void)rand();
  ASSERT_EQ(formatUniqueName(b, sizeof b, kMarch, 777, 1, 2), 0);
  EXPECT_STREQ(a, b);
  ASSERT_EQ(formatUniqueName(c, sizeof c, kMarch, 778, 1, 2), 0);
  EXPECT_EQ(std::string(c).substr(15, 8), drawn(778));
  EXPECT_STRNE(a, c);
  for (const char* p = a + 15; p < a + 23; ++p) EXPECT_NE(strchr(kUniqueNameAlphabet, *p), nullptr);
}

TEST(UniqueNameFormat, BufferOf39BytesIsTooSmall) {
  char out[39] = "x";
  EXPECT_EQ(formatUniqueName(out, sizeof out, kMarch, 1, 1, 1), 1);
  EXPECT_STREQ(out, "");
  char exact[40];
  EXPECT_EQ(formatUniqueName(exact, sizeof exact, kMarch, 1, 1, 1), 0);
  EXPECT_EQ(strlen(exact), 39u);
}

}  // namespace
