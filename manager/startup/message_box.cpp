#include "manager/startup/message_box.h"

#include "manager/startup/app_flows.h"
#include "manager/startup/text_util.h"

const char kDefaultCaption[] = "手動暗号 ";

int platformMessageBox(HWND owner, const char* text, const char* caption, UINT flags) {
  return MessageBoxA(owner, text, caption, flags);
}

int showMessage(HWND owner, const char* text, const char* caption, UINT flags) {
  char textBuffer[1024];
  char captionBuffer[256];
  copyText(textBuffer, sizeof textBuffer, text ? text : "");
  copyText(captionBuffer, sizeof captionBuffer, caption ? caption : kDefaultCaption);
  return appFlows.messageBox(owner, textBuffer, captionBuffer, flags);
}
