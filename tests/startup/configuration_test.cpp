#include "manager/startup/configuration.h"

#include <gtest/gtest.h>
#include <string.h>
#include <string>

static long applied(const std::string& content) {
  long writeLog = 1;
  applyConfigurationText(content.data(), content.size(), &writeLog);
  return writeLog;
}

TEST(ConfigurationFile, KeyAndZeroSwitchTheLogOff) {
  EXPECT_EQ(applied("writelog=0"), 0);
  EXPECT_EQ(applied("writelog=0\r\n"), 0);
  EXPECT_EQ(applied("writelog,0"), 0);
  EXPECT_EQ(applied("  WRITELOG = 0 \r\n"), 0);
  EXPECT_EQ(applied("\tWriteLog=0"), 0);
}

TEST(ConfigurationFile, OtherContentKeepsTheDefault) {
  EXPECT_EQ(applied(""), 1);
  EXPECT_EQ(applied("writelog=1"), 1);
  EXPECT_EQ(applied("writelog=1\r\n"), 1);
  EXPECT_EQ(applied("#writelog=0"), 1);
  EXPECT_EQ(applied("   # writelog=0"), 1);
  EXPECT_EQ(applied("other=0\r\nwritelog=0\r\n"), 1);  // the first line's key decides
  EXPECT_EQ(applied("writelogs=0"), 1);
}

TEST(ConfigurationFile, SecondLineIsMoreValueText) {
  // "=" and "," are dropped wherever they stand: the value is "0\r\nx1".
  EXPECT_EQ(applied("writelog=0\r\nx=1"), 0);
  EXPECT_EQ(applied("writelog=1\r\nx=0"), 1);
}

TEST(ConfigurationFile, OnlyTheFirst1023BytesCount) {
  std::string padded = std::string(1023, ' ');
  EXPECT_EQ(applied(padded + "writelog=0"), 1);
  std::string key = "writelog=" + std::string(1023 - 10, ' ') + "0";
  ASSERT_EQ(key.size(), 1023u);
  // The value field keeps 255 bytes: the digit at the end falls outside it.
  EXPECT_EQ(applied(key), 0);  // an empty value converts to 0 as well
}

TEST(ConfigurationFile, ReadingStopsAtANulByte) {
  std::string content("writelog\0=1", 11);
  EXPECT_EQ(applied(content), 0);  // key "writelog", value empty
}

TEST(ConfigurationTrim, SingleLeadingNonBlankKeepsTrailingBytes) {
  char field[32];
  strcpy(field, "  1\r\n");
  trimConfigField(field);
  EXPECT_STREQ(field, "1\r\n");
  strcpy(field, " 10 \r\n");
  trimConfigField(field);
  EXPECT_STREQ(field, "10");
  strcpy(field, " \r\n");
  trimConfigField(field);
  EXPECT_STREQ(field, "");
}
