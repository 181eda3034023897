#include "shellext/menu_texts.h"

namespace {

const UiText kMenuTexts[kCommandCount] = {TEXT_MENU_SAVE_TO_DRIVE, TEXT_MENU_SAVE_TO_MEDIA, TEXT_MENU_ATTACH_TO_MAIL};
const UiText kHelpTexts[kCommandCount] = {TEXT_HELP_SAVE_TO_DRIVE, TEXT_HELP_SAVE_TO_MEDIA, TEXT_HELP_ATTACH_TO_MAIL};
const int kBitmapIds[kCommandCount] = {kSaveBitmapId, kSaveBitmapId, kMailBitmapId};

}  // namespace

const char* commandMenuText(unsigned offset, UiLanguage language) {
  return offset < kCommandCount ? uiTextIn(language, kMenuTexts[offset]) : nullptr;
}
const char* commandHelpText(unsigned offset, UiLanguage language) {
  return offset < kCommandCount ? uiTextIn(language, kHelpTexts[offset]) : nullptr;
}
int commandBitmapId(unsigned offset) { return offset < kCommandCount ? kBitmapIds[offset] : 0; }

int menuBitmapSize(int dotsPerInch, int checkMarkSize) {
  int size = dotsPerInch > 0 ? (kBitmapSize * dotsPerInch + 48) / 96 : kBitmapSize;
  if (checkMarkSize > 0 && size > checkMarkSize) size = checkMarkSize;
  return size < 1 ? 1 : size;
}
