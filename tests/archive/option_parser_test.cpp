// The option texts of the archive build.
#include "manager/archive/option_parser.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

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

}  // namespace
