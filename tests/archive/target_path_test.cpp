// Target paths and the completion of drive-less paths.
#include "manager/archive/target_path.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

std::string target(const std::string& out, const std::string& folder, const std::string& name, int* result,
                   size_t* part = nullptr) {
  char buffer[TARGET_PATH_SIZE];
  memset(buffer, 'Z', sizeof buffer);
  size_t partLength = 0;
  *result = buildTargetPath(out.c_str(), folder.c_str(), name.c_str(), buffer, &partLength);
  if (part) *part = partLength;
  return buffer;
}

TEST(TargetPath, OutputFolderWithOrWithoutBackslashGivesTheSamePath) {
  int r = -1;
  EXPECT_EQ(target("C:\\out", "a\\b", "x.txt", &r), "C:\\out\\a\\b\\x.txt");
  EXPECT_EQ(r, TARGET_OK);
  EXPECT_EQ(target("C:\\out\\", "a\\b", "x.txt", &r), "C:\\out\\a\\b\\x.txt");
  EXPECT_EQ(target("C:\\", "", "x.txt", &r), "C:\\x.txt");
  EXPECT_EQ(target("C:\\out", "", "x.txt", &r), "C:\\out\\x.txt");
  size_t part = 0;
  EXPECT_EQ(target("C:\\out", "Docs\\Old", "", &r, &part), "C:\\out\\Docs\\Old\\");  // folder-end entry
  EXPECT_EQ(part, strlen("C:\\out\\Docs\\Old\\"));
}

TEST(TargetPath, TrailByte5CIsNoSeparator) {
  int r = -1;
  // The output folder ends with 表 (95 5C): a separator is still needed.
  EXPECT_EQ(target("C:\\表", "ソ", "能", &r), "C:\\表\\ソ\\能");
  EXPECT_EQ(target("C:\\表\\", "", "能", &r), "C:\\表\\能");
}

TEST(TargetPath, LengthRulesAreCheckedBeforeAnythingIsWritten) {
  int r = -1;
  EXPECT_EQ(target("", "", "x", &r), "");
  EXPECT_EQ(r, TARGET_TOO_LONG);  // empty part before the name
  EXPECT_EQ(target("", "a", "x", &r), "a\\x");
  EXPECT_EQ(r, TARGET_OK);
  std::string out = "C:\\" + std::string(251, 'o');  // 254 bytes
  // Part 257 (out, '\\', "d", '\\'), name 2: 259 bytes fits.
  EXPECT_EQ(target(out, "d", "nn", &r).size(), 259u);
  EXPECT_EQ(r, TARGET_OK);
  target(out, "d", "nnn", &r);
  EXPECT_EQ(r, TARGET_TOO_LONG);  // 260 bytes
  // A part of exactly 260 bytes with an empty name is still 260 bytes long.
  target(out, "dddd", "", &r);
  EXPECT_EQ(r, TARGET_TOO_LONG);
  EXPECT_EQ(target(out, "ddd", "", &r).size(), 259u);  // part 259
  EXPECT_EQ(r, TARGET_OK);
  target(out + "o", "dddd", "", &r);  // part 261
  EXPECT_EQ(r, TARGET_TOO_LONG);
  target(out, std::string(2048, 'd'), "n", &r);
  EXPECT_EQ(r, TARGET_TOO_LONG);
  target(std::string(2048, 'o'), "", "n", &r);
  EXPECT_EQ(r, TARGET_TOO_LONG);
}

TEST(AbsolutePath, CompletesDriveLessPathsFromTheBase) {
  char out[2049];
  EXPECT_EQ(makeAbsolutePathFrom(out, "D:\\x\\y", "C:\\prog\\"), 0);
  EXPECT_STREQ(out, "D:\\x\\y");
  EXPECT_EQ(makeAbsolutePathFrom(out, "\\\\server\\share\\f", "C:\\prog\\"), 0);
  EXPECT_STREQ(out, "\\\\server\\share\\f");
  EXPECT_EQ(makeAbsolutePathFrom(out, "\\tmp\\a", "C:\\prog\\"), 0);
  EXPECT_STREQ(out, "C:\\tmp\\a");
  EXPECT_EQ(makeAbsolutePathFrom(out, "sub\\a", "C:\\prog\\"), 0);
  EXPECT_STREQ(out, "C:\\prog\\sub\\a");
  EXPECT_EQ(makeAbsolutePathFrom(out, "  \"C:\\q u\\a\"  ", "C:\\prog\\"), 0);
  EXPECT_STREQ(out, "C:\\q u\\a");
  EXPECT_EQ(makeAbsolutePathFrom(out, "表", "C:\\表\\"), 0);
  EXPECT_STREQ(out, "C:\\表\\表");
}

TEST(AbsolutePath, RefusesPathsOver2048BytesAndResultsThatDoNotFit) {
  char out[2049];
  strcpy(out, "old");
  std::string p2049(2049, 'a');
  EXPECT_EQ(makeAbsolutePathFrom(out, p2049.c_str(), "C:\\"), 1);
  EXPECT_STREQ(out, "");
  std::string p2048 = "D:" + std::string(2046, 'a');
  EXPECT_EQ(makeAbsolutePathFrom(out, p2048.c_str(), "C:\\"), 0);
  EXPECT_EQ(strlen(out), 2048u);
  std::string rel(2045, 'a');
  EXPECT_EQ(makeAbsolutePathFrom(out, rel.c_str(), "C:\\"), 0);  // 2048 bytes
  EXPECT_EQ(makeAbsolutePathFrom(out, (rel + "b").c_str(), "C:\\"), 1);
  EXPECT_STREQ(out, "");
}

}  // namespace
