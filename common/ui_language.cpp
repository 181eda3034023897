#include "common/ui_language.h"

#include <windows.h>

namespace {

// -1 until asked or set. Every thread that asks gets the same answer, so a
// second asker racing the first stores the same value.
volatile LONG chosenLanguage = -1;

}  // namespace

UiLanguage uiLanguage() {
  LONG language = chosenLanguage;
  if (language < 0) {
    language = uiLanguageFor(GetUserDefaultUILanguage());
    InterlockedExchange(&chosenLanguage, language);
  }
  return static_cast<UiLanguage>(language);
}

void setUiLanguage(UiLanguage language) { InterlockedExchange(&chosenLanguage, language); }
