// The two tables of the user's texts: every name has a text in each language,
// the English one holds no Japanese, and both take the same conversions in the
// same order (a text of the other table's order would format the wrong
// arguments).
#include <gtest/gtest.h>

#include <string>

#include "common/ui_texts.h"

namespace {

// The whole text: the save dialog's filter runs on to its second NUL.
std::string wholeText(const char* text, UiText name) {
  std::string out = text;
  if (name == TEXT_SAVE_AS_FILTER)
    while (text[out.size()] || text[out.size() + 1]) out += text[out.size()] ? text[out.size()] : '|';
  return out;
}

// The conversions of a format ("%s", "%I64u", "%04u", ...), in order.
std::string conversions(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    size_t end = text.find_first_of("sdux%", i + 1);
    out += text.substr(i, end - i + 1) + " ";
    i = end;
  }
  return out;
}

bool hasNonAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return true;
  return false;
}

}  // namespace

TEST(UiTexts, EveryNameHasAJapaneseAndAnEnglishTextWithTheSameConversions) {
  for (int i = 0; i < UI_TEXT_COUNT; ++i) {
    UiText name = static_cast<UiText>(i);
    SCOPED_TRACE(i);
    std::string japanese = wholeText(uiTextIn(UI_LANGUAGE_JAPANESE, name), name);
    std::string english = wholeText(uiTextIn(UI_LANGUAGE_ENGLISH, name), name);
    EXPECT_FALSE(english.empty());
    EXPECT_TRUE(hasNonAscii(japanese)) << "Japanese text of " << i << " has no Japanese: " << japanese;
    EXPECT_FALSE(hasNonAscii(english)) << "English text of " << i << " holds Japanese";
    EXPECT_EQ(conversions(english), conversions(japanese));
  }
  EXPECT_STREQ(uiTextIn(UI_LANGUAGE_ENGLISH, UI_TEXT_COUNT), "");
}

TEST(UiTexts, OnlyAJapaneseUiLanguageGetsJapanese) {
  EXPECT_EQ(uiLanguageFor(0x0411), UI_LANGUAGE_JAPANESE);  // ja-JP
  EXPECT_EQ(uiLanguageFor(0x0409), UI_LANGUAGE_ENGLISH);   // en-US
  EXPECT_EQ(uiLanguageFor(0x0412), UI_LANGUAGE_ENGLISH);   // ko-KR
  EXPECT_EQ(uiLanguageFor(0x0804), UI_LANGUAGE_ENGLISH);   // zh-CN
  EXPECT_EQ(uiLanguageFor(0x0407), UI_LANGUAGE_ENGLISH);   // de-DE
}
