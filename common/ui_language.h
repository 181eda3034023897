// The language of the user interface of this process: Japanese when the
// user's UI language (GetUserDefaultUILanguage) is Japanese, English for any
// other. Both deliverables follow it; the shell extension thus follows the
// program that loads it. Tests set it.
#pragma once
#include "common/ui_texts.h"

// Asks the system once, on the first call, unless a language was set.
UiLanguage uiLanguage();
// Sets the language of this process (tests; call before any window opens).
void setUiLanguage(UiLanguage language);

// The text of that name in the language of this process.
inline const char* uiText(UiText name) { return uiTextIn(uiLanguage(), name); }
