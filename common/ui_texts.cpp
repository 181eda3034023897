#include "common/ui_texts.h"

extern const char* const kJapaneseTexts[UI_TEXT_COUNT];
extern const char* const kEnglishTexts[UI_TEXT_COUNT];

UiLanguage uiLanguageFor(unsigned short languageId) {
  return (languageId & 0x3FF) == 0x11 ? UI_LANGUAGE_JAPANESE : UI_LANGUAGE_ENGLISH;
}

unsigned short resourceLanguageOf(UiLanguage language) {
  // MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
  return language == UI_LANGUAGE_ENGLISH ? 0x0409 : 0x0411;
}

const char* uiTextIn(UiLanguage language, UiText name) {
  if (name < 0 || name >= UI_TEXT_COUNT) return "";
  return (language == UI_LANGUAGE_ENGLISH ? kEnglishTexts : kJapaneseTexts)[name];
}
