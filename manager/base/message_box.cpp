#include "manager/base/message_box.h"

#include <string.h>

#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/wide_text.h"

int platformMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  return MessageBoxW(owner, text, caption, flags);
}

MessageBoxFunction messageBoxFunction = platformMessageBox;

int showMessage(HWND owner, const char* text, const char* caption, UINT flags) {
  char textBuffer[1024];
  copyText(textBuffer, sizeof textBuffer, text ? text : "");
  wchar_t wide[1024];
  ansiToWide(textBuffer, wide, countOf(wide));
  return showMessage(owner, wide, caption, flags);
}

int showMessage(HWND owner, const wchar_t* text, const char* caption, UINT flags) {
  wchar_t textBuffer[1024];
  copyText(textBuffer, countOf(textBuffer), text ? text : L"");
  char captionBuffer[256];
  copyText(captionBuffer, sizeof captionBuffer, caption ? caption : uiText(TEXT_CAPTION));
  wchar_t wideCaption[256];
  ansiToWide(captionBuffer, wideCaption, countOf(wideCaption));
  return messageBoxFunction(owner, textBuffer, wideCaption, flags);
}

namespace {

// Copies text into out, cut safely to at most limit units; a cut text ends in "...".
void shortened(wchar_t* out, size_t cap, const wchar_t* text, size_t limit) {
  size_t len = textLength(text);
  if (len <= limit) {
    copyText(out, cap, text);
    return;
  }
  size_t keep = safeCutLength(text, len, limit > 3 ? limit - 3 : 0);
  copyTextN(out, cap, text, keep);
  appendText(out, cap, L"...");
}

}  // namespace

void formatPathMessage(wchar_t* out, size_t cap, const char* format, const wchar_t* path,
                       const wchar_t* secondPath) {
  // The format's own text, with the places of the paths kept as "%ls".
  wchar_t wideFormat[1024];
  ansiToWide(format, wideFormat, countOf(wideFormat));
  size_t places = 0;
  for (size_t i = 0; wideFormat[i] != 0; ++i) {
    if (wideFormat[i] == L'%' && wideFormat[i + 1] == L's') {
      // Room for the "l" of "%ls".
      size_t len = textLength(wideFormat);
      if (len + 1 >= countOf(wideFormat)) break;
      memmove(wideFormat + i + 2, wideFormat + i + 1, (len - i) * sizeof(wchar_t));
      wideFormat[i + 1] = L'l';
      ++places;
      i += 2;
    }
  }
  const size_t limit = cap < 1024 ? cap : 1024;
  size_t fixed = textLength(wideFormat) - 3 * places;
  size_t room = limit > fixed + 1 ? limit - fixed - 1 : 0;
  const wchar_t* second = secondPath ? secondPath : L"";
  size_t firstLength = textLength(path), secondLength = places > 1 ? textLength(second) : 0;
  // A path that needs less than its share leaves the rest to the other.
  size_t each = places > 1 ? room / 2 : room;
  size_t firstLimit = firstLength < each ? firstLength : each;
  size_t secondLimit = room - firstLimit;
  if (places > 1 && secondLength < secondLimit) {
    secondLimit = secondLength;
    firstLimit = room - secondLength;
  }
  wchar_t first[2049], other[2049];
  shortened(first, countOf(first), path, firstLimit);
  shortened(other, countOf(other), second, secondLimit);
  formatText(out, limit, wideFormat, first, other);
}

const char* codeMessage(char* buffer, size_t cap, const char* format, int code) {
  formatText(buffer, cap, format, code);
  return buffer;
}
