// The three commands of the context menu: their texts, help texts and
// bitmaps. The command offset is also the mode passed to the manager.
#pragma once
#include "common/ui_texts.h"

const unsigned kCommandCount = 3;

const int kSaveBitmapId = 205;  // beside the two "save" commands
const int kMailBitmapId = 201;  // beside the mail command
// The size the bitmaps are drawn for, at 96 dots per inch.
const int kBitmapSize = 11;

// Texts of the program (Japanese in Shift-JIS, English in ASCII); null for an
// offset that is no command.
const char* commandMenuText(unsigned offset, UiLanguage language);
const char* commandHelpText(unsigned offset, UiLanguage language);
// Bitmap resource of a command; 0 for an offset that is no command.
int commandBitmapId(unsigned offset);
// The side of a menu bitmap in pixels on a screen of that many dots per inch,
// never larger than the menu's check-mark box.
int menuBitmapSize(int dotsPerInch, int checkMarkSize);
