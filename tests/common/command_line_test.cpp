#include "common/command_line.h"

#include <gtest/gtest.h>
#include <string>

static CommandLineInfo classify(const wchar_t* text) {
  CommandLineInfo info;
  classifyCommandLine(text, &info);
  return info;
}

TEST(CommandLineForms, EmptyAndPlain) {
  EXPECT_EQ(classify(nullptr).form, FORM_EMPTY);
  EXPECT_EQ(classify(L"").form, FORM_EMPTY);
  CommandLineInfo plain = classify(L"\"C:\\a b\\x.crpt.exe\"");
  EXPECT_EQ(plain.form, FORM_PLAIN);
  EXPECT_STREQ(plain.pathList, L"\"C:\\a b\\x.crpt.exe\"");
  EXPECT_EQ(plain.destinationMode, -1);
}

TEST(CommandLineForms, SwitchWithModeAndPaths) {
  CommandLineInfo info = classify(L"/crpmode=1 \"C:\\a.txt\" \"C:\\b c\"");
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, 1);
  EXPECT_STREQ(info.pathList, L"\"C:\\a.txt\" \"C:\\b c\"");
  info = classify(L"/crpmode=2");
  EXPECT_EQ(info.destinationMode, 2);
  EXPECT_STREQ(info.pathList, L"");
  info = classify(L"/crpmode=7 \"C:\\a\"");
  EXPECT_EQ(info.destinationMode, 7);
}

TEST(CommandLineForms, SwitchWithoutUsableMode) {
  CommandLineInfo info = classify(L"/crpmode=");
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, -1);
  info = classify(L"/crpmode= \"C:\\a\"");  // a blank follows the switch at once
  EXPECT_EQ(info.destinationMode, -1);
  EXPECT_STREQ(info.pathList, L" \"C:\\a\"");
  info = classify(L"/crpmode=x \"C:\\a\"");  // not a number: the decimal rule gives 0
  EXPECT_EQ(info.destinationMode, 0);
  info = classify(L"/crpmode=0123456789 \"C:\\a\"");  // longer than 9 characters
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, -1);
  info = classify(L"\"C:\\a\" /crpmode=0");  // not at the start
  EXPECT_EQ(info.form, FORM_SWITCH);
  EXPECT_EQ(info.destinationMode, -1);
  info = classify(L"/crpmode=000000001 x");  // nine characters are still a token
  EXPECT_EQ(info.destinationMode, 1);
}

// The program name is split off as the platform does, whatever the bytes of
// its characters; what follows is the text of the arguments as typed.
TEST(CommandLineArguments, ProgramNameIsSplitOffByThePlatformRule) {
  struct Case {
    const wchar_t* line;
    const wchar_t* arguments;
  } cases[] = {
      {L"表示.crpt.exe", L""},
      {L"表示.crpt.exe  ", L""},
      {L"Kyvomar.exe 表示.txt", L"表示.txt"},
      {L"Kyvomar.exe\t表示.txt", L"表示.txt"},
      {L"\"C:\\My Tools\\表示.crpt.exe\"", L""},
      {L"\"C:\\My Tools\\Kyvomar.exe\" \"C:\\a b\\表.txt\"", L"\"C:\\a b\\表.txt\""},
      {L"\"C:\\x\\Kyvomar.exe\" /crpmode=0 \"C:\\café.txt\"", L"/crpmode=0 \"C:\\café.txt\""},
      {L"C:\\x\\Kyvomar.exe /crpmode=1 \"C:\\w\\ソ\"", L"/crpmode=1 \"C:\\w\\ソ\""},
      {L"\"C:\\unclosed quote", L""},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_STREQ(commandLineArguments(c.line), c.arguments) << c.line;
  EXPECT_STREQ(commandLineArguments(nullptr), L"");
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
