#include "manager/startup/command_line.h"

#include <gtest/gtest.h>
#include <string>

static CommandLineInfo classify(const char* text) {
  CommandLineInfo info;
  classifyCommandLine(text, &info);
  return info;
}

TEST(CommandLineForms, EmptyAndPlain) {
  EXPECT_EQ(classify(nullptr).form, FORM_EMPTY);
  EXPECT_EQ(classify("").form, FORM_EMPTY);
  CommandLineInfo plain = classify("\"C:\\a b\\x.crpt.exe\"");
  EXPECT_EQ(plain.form, FORM_PLAIN);
  EXPECT_STREQ(plain.pathList, "\"C:\\a b\\x.crpt.exe\"");
  EXPECT_EQ(plain.destinationMode, -1);
}

TEST(CommandLineForms, SwitchWithModeAndPaths) {
  CommandLineInfo info = classify("/crpmode=1 \"C:\\a.txt\" \"C:\\b c\"");
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, 1);
  EXPECT_STREQ(info.pathList, "\"C:\\a.txt\" \"C:\\b c\"");
  info = classify("/crpmode=2");
  EXPECT_EQ(info.destinationMode, 2);
  EXPECT_STREQ(info.pathList, "");
  info = classify("/crpmode=7 \"C:\\a\"");
  EXPECT_EQ(info.destinationMode, 7);
}

TEST(CommandLineForms, SwitchWithoutUsableMode) {
  CommandLineInfo info = classify("/crpmode=");
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, -1);
  info = classify("/crpmode= \"C:\\a\"");  // a blank follows the switch at once
  EXPECT_EQ(info.destinationMode, -1);
  EXPECT_STREQ(info.pathList, " \"C:\\a\"");
  info = classify("/crpmode=x \"C:\\a\"");  // not a number: the decimal rule gives 0
  EXPECT_EQ(info.destinationMode, 0);
  info = classify("/crpmode=0123456789 \"C:\\a\"");  // longer than 9 characters
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, -1);
  info = classify("\"C:\\a\" /crpmode=0");  // not at the start
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, -1);
  info = classify("/crpmode=000000001 x");  // nine characters are still a token
  EXPECT_EQ(info.destinationMode, 1);
}

static std::string trimmed(const char* text) {
  char out[300];
  trimCommandLinePath(out, sizeof out, text);
  return out;
}

TEST(CommandLineTrim, QuotesAndBlanks) {
  EXPECT_EQ(trimmed("  \"C:\\my files\\a.txt\"  "), "C:\\my files\\a.txt");
  EXPECT_EQ(trimmed("C:\\plain\\path.txt"), "C:\\plain\\path.txt");
  EXPECT_EQ(trimmed("\"C:\\a.txt\" \"C:\\b.txt\""), "C:\\a.txt\" \"C:\\b.txt");
  EXPECT_EQ(trimmed("   "), "   ");
  EXPECT_EQ(trimmed(""), "");
  EXPECT_EQ(trimmed("\""), "\"");
  EXPECT_EQ(trimmed("\"C:\\表\""), "C:\\表");
  EXPECT_EQ(trimmed("\"C:\\x   "), "C:\\x");
}

TEST(CommandLineTrim, OutputIsBounded) {
  std::string longPath(400, 'a');
  char out[16];
  trimCommandLinePath(out, sizeof out, longPath.c_str());
  EXPECT_EQ(std::string(out), std::string(15, 'a'));
}
