// The option texts of the archive build and of the extraction.
#include "manager/archive/option_parser.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::pair<std::string, std::string> parseExtract(const std::string& text) {
  std::vector<char> archive(OPTION_SLOT_SIZE, 'Z'), output(OPTION_SLOT_SIZE, 'Z');
  parseExtractionOptions(text.c_str(), archive.data(), output.data());
  return {archive.data(), output.data()};
}

// The tokens a selection splits into: blanks only separate, quotes group
// blanks and may stand inside a token, an unclosed quote runs to the end.
TEST(Tokens, BlanksSeparateAndQuotesGroup) {
  const struct {
    const char* text;
    std::vector<std::string> tokens;
  } cases[] = {
      {"   a    b   ", {"a", "b"}},
      {"", {}},
      {"\"C:\\w\\a b.txt\" C:\\w\\Docs", {"\"C:\\w\\a b.txt\"", "C:\\w\\Docs"}},
      {"C:\\\"x y\"\\z \"unclosed quote with spaces", {"C:\\\"x y\"\\z", "\"unclosed quote with spaces"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> tokens;
    const char* cursor = c.text;
    TextToken token;
    while (nextToken(&cursor, &token)) tokens.push_back(std::string(token.start, token.length));
    EXPECT_EQ(tokens, c.tokens) << c.text;
  }
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

TEST(ExtractOptions, ArchiveAndOutputFolderFromTheDecryptionJobsText) {
  auto r = parseExtract("-i \"C:\\tmp\\TmpCrp_1.arv\" -o \"D:\\表\\out\\\"");
  EXPECT_EQ(r.first, "C:\\tmp\\TmpCrp_1.arv");
  EXPECT_EQ(r.second, "D:\\表\\out\\");
  r = parseExtract("-O out -I arc");
  EXPECT_EQ(r.first, "arc");
  EXPECT_EQ(r.second, "out");
}

TEST(ExtractOptions, PlainTokensLandInTheArchiveSlotLastOneWins) {
  auto r = parseExtract("first -o out second");
  EXPECT_EQ(r.first, "second");
  EXPECT_EQ(r.second, "out");
  r = parseExtract("-i a b");
  EXPECT_EQ(r.first, "b");
}

TEST(ExtractOptions, AfterDashXPlainTokensAreIgnoredForGood) {
  auto r = parseExtract("a -x b -o out c");
  EXPECT_EQ(r.first, "a");
  EXPECT_EQ(r.second, "out");
  r = parseExtract("-x -i arc z");
  EXPECT_EQ(r.first, "arc");
}

TEST(ExtractOptions, TextOver1024BytesIsNotParsed) {
  std::string prefix = "-i a -o ";
  std::string fits = prefix + std::string(1024 - prefix.size(), 'o');
  auto r = parseExtract(fits);
  EXPECT_EQ(r.first, "a");
  EXPECT_EQ(r.second.size(), 1024 - prefix.size());
  r = parseExtract(fits + "o");
  EXPECT_EQ(r.first, "");
  EXPECT_EQ(r.second, "");
}

}  // namespace
