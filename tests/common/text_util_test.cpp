#include "common/text_util.h"

#include <gtest/gtest.h>
#include <string.h>

// 表 is 95 5C in code page 932: its second byte is a backslash.
static const char kHyo[] = "表";

TEST(ShiftJisScan, ClassifiesLeadTrailAndSingleBytes) {
  ASSERT_STREQ(kHyo, "\x95\x5C");
  const char text[] = "a\x95\x5C" "b";
  EXPECT_EQ(isTrailByteAt(text, 0), 0);
  EXPECT_EQ(isTrailByteAt(text, 1), 1);
  EXPECT_EQ(isTrailByteAt(text, 2), 2);
  EXPECT_EQ(isTrailByteAt(text, 3), 0);
  // A lead byte followed by a byte below 0x40 leaves that byte single.
  const char broken[] = "\x95\x31\x5C";
  EXPECT_EQ(isTrailByteAt(broken, 1), 0);
  EXPECT_EQ(isTrailByteAt(broken, 2), 0);
  // A pair is consumed whole: the second 0x81 of 81 81 is a trail byte.
  const char pairs[] = "\x81\x81\x81\x5C";
  EXPECT_EQ(isTrailByteAt(pairs, 1), 2);
  EXPECT_EQ(isTrailByteAt(pairs, 3), 2);
}

TEST(ShiftJisScan, TrailByteBackslashIsNoSeparator) {
  EXPECT_FALSE(endsWithSeparator("C:\\data\\表"));
  EXPECT_TRUE(endsWithSeparator("C:\\data\\表\\"));
  EXPECT_TRUE(endsWithSeparator("C:\\"));
  EXPECT_FALSE(endsWithSeparator(""));
  char path[32];
  strcpy(path, "C:\\ソ");  // 83 5C
  EXPECT_FALSE(removeTrailingBackslash(path));
  EXPECT_STREQ(path, "C:\\ソ");
  strcpy(path, "C:\\能\\");  // 94 5C
  EXPECT_TRUE(removeTrailingBackslash(path));
  EXPECT_STREQ(path, "C:\\能");
}

TEST(BoundedCopy, CutsBeforeALeadByteNeverInsideACharacter) {
  char out[4];
  EXPECT_TRUE(copyText(out, sizeof out, "abc"));
  EXPECT_STREQ(out, "abc");
  EXPECT_FALSE(copyText(out, sizeof out, "ab表"));  // only one byte of 表 would fit
  EXPECT_STREQ(out, "ab");
  EXPECT_FALSE(copyText(out, sizeof out, "a表c"));
  EXPECT_STREQ(out, "a表");
  char big[8] = "xy";
  EXPECT_FALSE(appendText(big, sizeof big, "12表表"));
  EXPECT_STREQ(big, "xy12表");
  EXPECT_FALSE(copyText(out, 0, "a"));
}

TEST(BoundedCopy, FormatIsCutSafely) {
  char out[6];
  EXPECT_TRUE(formatText(out, sizeof out, "%s", "ab"));
  EXPECT_FALSE(formatText(out, sizeof out, "%s%s", "abcd", "表"));
  EXPECT_STREQ(out, "abcd");
  EXPECT_FALSE(formatText(out, sizeof out, "%d", 1234567));
  EXPECT_STREQ(out, "12345");
}

TEST(PathParts, SplitsLikeTheRuntimeAndRespectsDoubleByteNames) {
  PathParts p;
  splitPath("C:\\dir\\sub\\name.tar.gz", &p);
  EXPECT_STREQ(p.drive, "C:");
  EXPECT_STREQ(p.dir, "\\dir\\sub\\");
  EXPECT_STREQ(p.name, "name.tar");
  EXPECT_STREQ(p.ext, ".gz");
  splitPath("C:\\表\\ソ.txt", &p);
  EXPECT_STREQ(p.dir, "\\表\\");
  EXPECT_STREQ(p.name, "ソ");
  EXPECT_STREQ(p.ext, ".txt");
  splitPath("C:\\data\\表", &p);  // 表 ends in 0x5C but is a name
  EXPECT_STREQ(p.dir, "\\data\\");
  EXPECT_STREQ(p.name, "表");
  splitPath("E:\\", &p);
  EXPECT_STREQ(p.drive, "E:");
  EXPECT_STREQ(p.dir, "\\");
  EXPECT_STREQ(p.name, "");
  splitPath("\\\\server\\share\\f.doc", &p);
  EXPECT_STREQ(p.drive, "");
  EXPECT_STREQ(p.dir, "\\\\server\\share\\");
  EXPECT_STREQ(p.name, "f");
  splitPath("plain", &p);
  EXPECT_STREQ(p.dir, "");
  EXPECT_STREQ(p.name, "plain");
}

TEST(DecimalRule, ReadsLeadingDigitsLikeAtoi) {
  EXPECT_EQ(textToInt("0"), 0);
  EXPECT_EQ(textToInt(" 12abc"), 12);
  EXPECT_EQ(textToInt("-3"), -3);
  EXPECT_EQ(textToInt("abc"), 0);
  EXPECT_EQ(textToInt(""), 0);
  EXPECT_EQ(textToInt("99999999999999999999"), 2147483647L);
}

TEST(DecimalRule, ComparesAsciiWithoutCase) {
  EXPECT_TRUE(equalsIgnoreAsciiCase("WriteLog", "writelog"));
  EXPECT_FALSE(equalsIgnoreAsciiCase("writelog2", "writelog"));
  EXPECT_FALSE(equalsIgnoreAsciiCase("表", "\x95\x7C"));
}
