#include "manager/encryption/mail_attachment.h"

#include <windows.h>
#include <mapi.h>
#include <stddef.h>

#include "common/file_util.h"
#include "common/policy.h"
#include "common/text_util.h"
#include "common/ui_language.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "manager/encryption/guarded_call.h"
#include "manager/encryption/mapi_wide.h"
#include "manager/base/message_box.h"

// The records are the platform's Simple MAPI ones (32-bit layout in the
// program; the 64-bit test build has the platform's 64-bit one).
#if defined(__i386__)
static_assert(sizeof(MapiMessage) == 48 && offsetof(MapiMessage, lpFiles) == 44, "MapiMessage layout");
static_assert(sizeof(MapiRecipDesc) == 24 && sizeof(MapiFileDesc) == 24, "Simple MAPI record layout");
#endif
static_assert((MAPI_LOGON_UI | MAPI_DIALOG) == 0x9, "Simple MAPI flags");

namespace {

// The records of the wide call and of the ANSI one, by the kind of text.
template <typename Char>
struct MapiRecords;
template <>
struct MapiRecords<char> {
  typedef MapiMessage Message;
  typedef MapiRecipDesc Recip;
  typedef MapiFileDesc File;
  typedef MAPISENDMAIL Send;
};
template <>
struct MapiRecords<wchar_t> {
  typedef MapiMessageW Message;
  typedef MapiRecipDescW Recip;
  typedef MapiFileDescW File;
  typedef MAPISENDMAILW Send;
};

template <typename Char>
struct SendRequest {
  typename MapiRecords<Char>::Send* send;
  typename MapiRecords<Char>::Message* message;
  ULONG result;
};

template <typename Char>
void sendMail(void* context) {
  SendRequest<Char>* request = static_cast<SendRequest<Char>*>(context);
  request->result = request->send(0, 0, request->message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
}

// The administrators' note for the new message's text (policy.h), in the
// kind of text of the call: UTF-16, or the system's code page as far as it
// holds it.
void noteTextOf(wchar_t* out, size_t cap) { policyMailNoteText(out, cap); }
void noteTextOf(char* out, size_t cap) {
  wchar_t note[kPolicyMailNoteMaxLength + 1];
  out[0] = '\0';
  if (policyMailNoteText(note, countOf(note)) && !wideToSystemAnsiExact(note, out, cap)) {
    int n = WideCharToMultiByte(CP_ACP, 0, note, -1, out, static_cast<int>(cap), nullptr, nullptr);
    if (n <= 0) out[0] = '\0';
  }
}

// A new message without recipients, the file attached; fileName null lets the
// mail program show the file's own name. Sent, or its window closed by the
// user (MAPI_USER_ABORT), counts as done; any other answer means that no
// mail program took the file.
template <typename Char>
int sendMessage(FARPROC entry, Char* path, Char* fileName) {
  typedef MapiRecords<Char> Records;
  Char subject[1] = {0};
  static Char noteText[(kPolicyMailNoteMaxLength + 1) * 2];
  noteTextOf(noteText, countOf(noteText));
  Char recipientName[1] = {0};

  // Prepared but not counted: with nRecipCount 0 the mail program opens its
  // compose window without recipients.
  typename Records::Recip recipient = {};
  recipient.ulRecipClass = MAPI_TO;
  recipient.lpszName = recipientName;

  typename Records::File attachment = {};
  attachment.flFlags = 0;
  attachment.nPosition = 0xFFFFFFFF;  // not placed inside the text
  attachment.lpszPathName = path;
  attachment.lpszFileName = fileName;

  typename Records::Message message = {};
  message.lpszSubject = subject;
  message.lpszNoteText = noteText;
  message.nRecipCount = 0;
  message.lpRecips = &recipient;
  message.nFileCount = 1;
  message.lpFiles = &attachment;

  SendRequest<Char> request = {reinterpret_cast<typename Records::Send*>(reinterpret_cast<void (*)()>(entry)),
                               &message, MAPI_E_FAILURE};
  if (callGuarded(sendMail<Char>, &request) != 0) {
    showMessage(nullptr, uiText(TEXT_MAILER_NOT_STARTED), nullptr, MB_OK | MB_ICONEXCLAMATION);
    return -1;
  }
  return request.result == SUCCESS_SUCCESS || request.result == MAPI_USER_ABORT ? 0 : -1;
}

// The ANSI call takes the path in the system's code page: a path that code
// page cannot hold exactly goes by its short form, which it can, and the
// file's own name then goes as the display name where the code page holds it.
int sendAnsiMessage(FARPROC entry, const wchar_t* widePath) {
  char path[2049];
  char displayName[1025];
  bool named = false;
  if (!wideToSystemAnsiExact(widePath, path, sizeof path)) {
    wchar_t shortPath[2049];
    DWORD n = GetShortPathNameW(widePath, shortPath, countOf(shortPath));
    if (n == 0 || n >= countOf(shortPath) || !wideToSystemAnsiExact(shortPath, path, sizeof path)) return -1;
    named = wideToSystemAnsiExact(widePath + lastSeparatorIndex(widePath) + 1, displayName, sizeof displayName);
  }
  return sendMessage<char>(entry, path, named ? displayName : nullptr);
}

}  // namespace

int attachToMail(const wchar_t* widePath) {
  // The mail library of the system folder, never one beside the program: a
  // result file runs from wherever it was saved.
  UniqueLibrary library(loadSystemLibrary(L"MAPI32.DLL"));
  if (!library) return -1;
  // The wide call carries any path as it is; older systems have only the
  // ANSI one.
  if (FARPROC wide = GetProcAddress(library.get(), "MAPISendMailW")) {
    wchar_t path[2049];
    if (!copyText(path, countOf(path), widePath)) return -1;
    return sendMessage<wchar_t>(wide, path, nullptr);
  }
  FARPROC entry = GetProcAddress(library.get(), "MAPISendMail");
  if (entry == nullptr) return -1;
  return sendAnsiMessage(entry, widePath);  // the library is freed on the way out
}
