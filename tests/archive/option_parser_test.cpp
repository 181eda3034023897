// The option texts of the archive build.
#include "manager/archive/option_parser.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct Packed {
  std::string archive;
  std::string others;
};

Packed parsePack(const std::string& text) {
  static const char* const kOptions[] = {"S-i", "S-o", "N-x"};
  std::vector<char> others(text.size() + 2, 'Z');
  std::vector<char> slot(OPTION_SLOT_SIZE, '\0');
  char* const values[] = {nullptr, slot.data(), nullptr};
  parseOptionText(text.c_str(), kOptions, 3, values, others.data(), others.size());
  return Packed{slot.data(), others.data()};
}

TEST(PackOptions, SourcesAreCollectedRawAndTheArchiveTrimmed) {
  Packed p = parsePack("\"C:\\w\\a b.txt\" C:\\w\\Docs -o \"C:\\tmp\\TmpCrp_1.arv\"");
  EXPECT_EQ(p.archive, "C:\\tmp\\TmpCrp_1.arv");
  EXPECT_EQ(p.others, "\"C:\\w\\a b.txt\" C:\\w\\Docs ");
  // Blanks around tokens only separate.
  p = parsePack("   a    b   ");
  EXPECT_EQ(p.others, "a b ");
  EXPECT_EQ(p.archive, "");
  p = parsePack("");
  EXPECT_EQ(p.others, "");
}

TEST(PackOptions, OptionWordsMatchWithoutCaseButOnlyUnquoted) {
  EXPECT_EQ(parsePack("a -O out").archive, "out");
  Packed p = parsePack("a \"-o\" out");
  EXPECT_EQ(p.archive, "");
  EXPECT_EQ(p.others, "a \"-o\" out ");
  // The last "-o" wins.
  EXPECT_EQ(parsePack("-o first a -o second").archive, "second");
}

TEST(PackOptions, DashIHasNoEffectAndItsTokenIsASource) {
  Packed p = parsePack("-i a -I b -o x");
  EXPECT_EQ(p.others, "a b ");
  EXPECT_EQ(p.archive, "x");
}

TEST(PackOptions, DashXDropsPlainTokensUntilTheNextOptionWord) {
  Packed p = parsePack("a -x b c -o arc d -X e");
  EXPECT_EQ(p.others, "a d ");
  EXPECT_EQ(p.archive, "arc");
}

TEST(PackOptions, QuotesGroupSpacesAndMayStandInsideATokenToo) {
  Packed p = parsePack("C:\\\"x y\"\\z \"unclosed quote with spaces");
  EXPECT_EQ(p.others, "C:\\\"x y\"\\z \"unclosed quote with spaces ");
}

TEST(PackOptions, OverlongTokensNeverOverrunAndValuesAreKeptOnlyBelow2048Bytes) {
  std::string v2047(2047, 'v');
  EXPECT_EQ(parsePack("-o " + v2047).archive, v2047);
  EXPECT_EQ(parsePack("-o \"" + v2047 + "\"").archive, v2047);
  EXPECT_EQ(parsePack("-o " + std::string(2048, 'v')).archive, "");
  EXPECT_EQ(parsePack("-o " + std::string(100000, 'v')).archive, "");
  // An overlong source is handed on whole (the packer then refuses it).
  std::string huge(5000, 's');
  Packed p = parsePack(huge + " -o a");
  EXPECT_EQ(p.others, huge + " ");
  EXPECT_EQ(p.archive, "a");
}

TEST(TokenTrim, TrimsBlanksAndOnePairOfQuotesAndRefusesLongValues) {
  char out[OPTION_SLOT_SIZE];
  const char* cursor = "\"a b\"  c";
  TextToken token;
  ASSERT_TRUE(nextToken(&cursor, &token));
  EXPECT_EQ(std::string(token.start, token.length), "\"a b\"");
  EXPECT_TRUE(trimmedToken(token, out));
  EXPECT_STREQ(out, "a b");
  ASSERT_TRUE(nextToken(&cursor, &token));
  EXPECT_EQ(std::string(token.start, token.length), "c");
  EXPECT_FALSE(nextToken(&cursor, &token));
  std::string longToken(2049, 'x');
  token.start = longToken.c_str();
  token.length = longToken.size();
  EXPECT_FALSE(trimmedToken(token, out));
  EXPECT_STREQ(out, "");
}

}  // namespace
