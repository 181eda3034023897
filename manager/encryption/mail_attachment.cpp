#include "manager/encryption/mail_attachment.h"

#include <windows.h>
#include <mapi.h>
#include <stddef.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/encryption/guarded_call.h"
#include "manager/startup/message_box.h"

// The records are the platform's Simple MAPI ones (32-bit layout in the
// program; the 64-bit test build has the platform's 64-bit one).
#if defined(__i386__)
static_assert(sizeof(MapiMessage) == 48 && offsetof(MapiMessage, lpFiles) == 44, "MapiMessage layout");
static_assert(sizeof(MapiRecipDesc) == 24 && sizeof(MapiFileDesc) == 24, "Simple MAPI record layout");
#endif
static_assert((MAPI_LOGON_UI | MAPI_DIALOG) == 0x9, "Simple MAPI flags");

namespace {


struct SendRequest {
  MAPISENDMAIL* send;
  MapiMessage* message;
};

void sendMail(void* context) {
  SendRequest* request = static_cast<SendRequest*>(context);
  // Sent, cancelled by the user or refused by the mail system: all count as
  // done, so the value returned is not examined.
  request->send(0, 0, request->message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
}

}  // namespace

int attachToMail(const wchar_t* widePath) {
  // Simple MAPI takes the attachment's path in the ANSI code page: a path
  // that it cannot hold exactly goes by its short form.
  char path[2049];
  if (!wideToAnsiExact(widePath, path, sizeof path)) {
    wchar_t shortPath[2049];
    DWORD n = GetShortPathNameW(widePath, shortPath, countOf(shortPath));
    if (n == 0 || n >= countOf(shortPath) || !wideToAnsiExact(shortPath, path, sizeof path)) return -1;
  }
  // The mail library of the system folder, never one beside the program: a
  // result file runs from wherever it was saved.
  UniqueLibrary library(loadSystemLibrary(L"MAPI32.DLL"));
  if (!library) return -1;
  FARPROC entry = GetProcAddress(library.get(), "MAPISendMail");
  if (entry == nullptr) return -1;
  MAPISENDMAIL* send = reinterpret_cast<MAPISENDMAIL*>(reinterpret_cast<void (*)()>(entry));

  char subject[1] = "";
  char noteText[1] = "";
  char recipientName[1] = "";

  // Prepared but not counted: with nRecipCount 0 the mail program opens its
  // compose window without recipients.
  MapiRecipDesc recipient = {};
  recipient.ulRecipClass = MAPI_TO;
  recipient.lpszName = recipientName;

  MapiFileDesc attachment = {};
  attachment.flFlags = 0;
  attachment.nPosition = 0xFFFFFFFF;  // not placed inside the text
  attachment.lpszPathName = path;
  attachment.lpszFileName = nullptr;  // the mail program shows the file's own name

  MapiMessage message = {};
  message.lpszSubject = subject;
  message.lpszNoteText = noteText;
  message.nRecipCount = 0;
  message.lpRecips = &recipient;
  message.nFileCount = 1;
  message.lpFiles = &attachment;

  SendRequest request = {send, &message};
  int result = 0;
  if (callGuarded(sendMail, &request) != 0) {
    showMessage(nullptr, "メーラーを起動できませんでした", nullptr, MB_OK | MB_ICONEXCLAMATION);
    result = -1;
  }
  return result;  // the library is freed on the way out
}
