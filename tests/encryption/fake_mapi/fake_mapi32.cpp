// A stand-in Simple MAPI provider for tests: a 32-bit DLL that, copied under
// the name MAPI32.DLL into the system folder (where the program takes the mail
// library from), takes the place of the user's mail program. Under Wine, WINEDLLOVERRIDES=mapi32=n (set by
// cmake/wine-run) makes the loader take it instead of Wine's builtin.
//
// Built three times:
//   fake_mapi32.dll          exports MAPISendMail (stdcall, undecorated name),
//                            as the providers of older systems do
//   fake_mapi32_wide.dll     exports MAPISendMail and MAPISendMailW
//   fake_mapi32_noentry.dll  the same DLL without either (MAPILogon only)
//
// Behaviour of MAPISendMail and MAPISendMailW (whose record begins with the
// line "MAPISendMailW" and holds its texts in UTF-8), chosen by environment variables of the calling
// process (read at every call):
//   KYVO_FAKE_MAPI_RECORD=<file>   appends a description of the call to <file>:
//       one "key=value" line each, from "MAPISendMail" to "end": the call's
//       lhSession, ulUIParam, flFlags (hex) and ulReserved; for the message
//       every field (strings in double quotes as received, or null; pointers
//       "set" or null); for each recipient record (nRecipCount of them, or the
//       first one when nRecipCount is 0 but lpRecips is set) and each file
//       record (nFileCount) every field, plus "exists" and "size" of the
//       attached file at the moment of the call. Keys of records are prefixed
//       "recip[i]." and "file[i].".
//   KYVO_FAKE_MAPI_COPY_TO=<folder> copies each attached file into <folder>
//       under its own name before returning (line "file[i].copied=0|1").
//   KYVO_FAKE_MAPI_MODE=fault      raises an access violation inside
//                                   MAPISendMail (after recording);
//                      =abort      returns MAPI_USER_ABORT (1);
//                      =failure    returns MAPI_E_FAILURE (2);
//                      unset/other returns SUCCESS_SUCCESS (0).
#include <windows.h>
#include <mapi.h>

#include "manager/encryption/mapi_wide.h"
#include <stdio.h>
#include <string.h>

namespace {

#ifndef FAKE_MAPI_NO_SEND_MAIL
volatile ULONG_PTR faultAddress = 16;  // the first page is never mapped

bool environment(const char* name, char* out, DWORD cap) {
  DWORD n = GetEnvironmentVariableA(name, out, cap);
  return n > 0 && n < cap;
}

void putText(FILE* f, const char* key, const char* value) {
  if (value)
    fprintf(f, "%s=\"%s\"\n", key, value);
  else
    fprintf(f, "%s=null\n", key);
}

[[maybe_unused]] void putText(FILE* f, const char* key, const wchar_t* value) {
  if (!value) return putText(f, key, static_cast<const char*>(nullptr));
  char utf8[MAX_PATH * 8];
  if (!WideCharToMultiByte(CP_UTF8, 0, value, -1, utf8, sizeof utf8, nullptr, nullptr)) utf8[0] = 0;
  putText(f, key, utf8);
}

BOOL attributesOf(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return GetFileAttributesExA(path, GetFileExInfoStandard, data);
}
[[maybe_unused]] BOOL attributesOf(const wchar_t* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
  return GetFileAttributesExW(path, GetFileExInfoStandard, data);
}

void putPointer(FILE* f, const char* key, const void* value) { fprintf(f, "%s=%s\n", key, value ? "set" : "null"); }

template <typename Char>
const Char* baseName(const Char* path) {
  const Char* base = path;
  for (const Char* p = path; *p; ++p) {
    unsigned c = static_cast<unsigned>(*p);
    if (sizeof(Char) == 1 && IsDBCSLeadByte(static_cast<BYTE>(c)) && p[1]) {
      ++p;
      continue;
    }
    if (c == '\\' || c == '/' || c == ':') base = p + 1;
  }
  return base;
}

BOOL copyInto(const char* folder, const char* path) {
  char target[MAX_PATH * 8];
  snprintf(target, sizeof target, "%s\\%s", folder, baseName(path));
  return CopyFileA(path, target, FALSE);
}
[[maybe_unused]] BOOL copyInto(const char* folder, const wchar_t* path) {
  wchar_t target[MAX_PATH * 8];
  if (!MultiByteToWideChar(CP_ACP, 0, folder, -1, target, MAX_PATH * 4)) return FALSE;
  lstrcatW(target, L"\\");
  lstrcatW(target, baseName(path));
  return CopyFileW(path, target, FALSE);
}

template <typename Message>
void copyAttachments(Message* message, FILE* record) {
  char folder[MAX_PATH * 4];
  if (!environment("KYVO_FAKE_MAPI_COPY_TO", folder, sizeof folder)) return;
  if (!message || !message->lpFiles) return;
  for (ULONG i = 0; i < message->nFileCount && i < 16; ++i) {
    auto path = message->lpFiles[i].lpszPathName;
    if (!path) continue;
    BOOL copied = copyInto(folder, path);
    if (record) fprintf(record, "file[%lu].copied=%d\n", static_cast<unsigned long>(i), copied ? 1 : 0);
  }
}

template <typename Message>
void recordCall(const char* entry, LHANDLE session, ULONG_PTR uiParam, Message* m, FLAGS flags, ULONG reserved,
                FILE* f) {
  fprintf(f, "%s\n", entry);
  HMODULE self = nullptr;
  char selfPath[MAX_PATH] = "";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&environment), &self))
    GetModuleFileNameA(self, selfPath, sizeof selfPath);
  fprintf(f, "provider=%s\n", selfPath);
  fprintf(f, "lhSession=%lu\n", static_cast<unsigned long>(session));
  fprintf(f, "ulUIParam=%lu\n", static_cast<unsigned long>(uiParam));
  fprintf(f, "flFlags=0x%lx\n", static_cast<unsigned long>(flags));
  fprintf(f, "ulReserved=%lu\n", static_cast<unsigned long>(reserved));
  putPointer(f, "lpMessage", m);
  if (!m) return;
  fprintf(f, "message.ulReserved=%lu\n", static_cast<unsigned long>(m->ulReserved));
  putText(f, "message.lpszSubject", m->lpszSubject);
  putText(f, "message.lpszNoteText", m->lpszNoteText);
  putText(f, "message.lpszMessageType", m->lpszMessageType);
  putText(f, "message.lpszDateReceived", m->lpszDateReceived);
  putText(f, "message.lpszConversationID", m->lpszConversationID);
  fprintf(f, "message.flFlags=0x%lx\n", static_cast<unsigned long>(m->flFlags));
  putPointer(f, "message.lpOriginator", m->lpOriginator);
  fprintf(f, "message.nRecipCount=%lu\n", static_cast<unsigned long>(m->nRecipCount));
  putPointer(f, "message.lpRecips", m->lpRecips);
  fprintf(f, "message.nFileCount=%lu\n", static_cast<unsigned long>(m->nFileCount));
  putPointer(f, "message.lpFiles", m->lpFiles);
  char key[64];
  if (m->lpRecips) {
    ULONG count = m->nRecipCount ? m->nRecipCount : 1;
    for (ULONG i = 0; i < count && i < 16; ++i) {
      const auto& r = m->lpRecips[i];
      unsigned long n = i;
      fprintf(f, "recip[%lu].ulReserved=%lu\n", n, static_cast<unsigned long>(r.ulReserved));
      fprintf(f, "recip[%lu].ulRecipClass=%lu\n", n, static_cast<unsigned long>(r.ulRecipClass));
      snprintf(key, sizeof key, "recip[%lu].lpszName", n);
      putText(f, key, r.lpszName);
      snprintf(key, sizeof key, "recip[%lu].lpszAddress", n);
      putText(f, key, r.lpszAddress);
      fprintf(f, "recip[%lu].ulEIDSize=%lu\n", n, static_cast<unsigned long>(r.ulEIDSize));
      snprintf(key, sizeof key, "recip[%lu].lpEntryID", n);
      putPointer(f, key, r.lpEntryID);
    }
  }
  if (m->lpFiles) {
    for (ULONG i = 0; i < m->nFileCount && i < 16; ++i) {
      const auto& d = m->lpFiles[i];
      unsigned long n = i;
      fprintf(f, "file[%lu].ulReserved=%lu\n", n, static_cast<unsigned long>(d.ulReserved));
      fprintf(f, "file[%lu].flFlags=0x%lx\n", n, static_cast<unsigned long>(d.flFlags));
      fprintf(f, "file[%lu].nPosition=0x%lx\n", n, static_cast<unsigned long>(d.nPosition));
      snprintf(key, sizeof key, "file[%lu].lpszPathName", n);
      putText(f, key, d.lpszPathName);
      snprintf(key, sizeof key, "file[%lu].lpszFileName", n);
      putText(f, key, d.lpszFileName);
      snprintf(key, sizeof key, "file[%lu].lpFileType", n);
      putPointer(f, key, d.lpFileType);
      WIN32_FILE_ATTRIBUTE_DATA data;
      bool exists = d.lpszPathName && attributesOf(d.lpszPathName, &data) &&
                    !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      fprintf(f, "file[%lu].exists=%d\n", n, exists ? 1 : 0);
      unsigned long long size =
          exists ? (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
      fprintf(f, "file[%lu].size=%llu\n", n, size);
    }
  }
}


template <typename Message>
ULONG sendMail(const char* entry, LHANDLE lhSession, ULONG_PTR ulUIParam, Message* lpMessage, FLAGS flFlags,
               ULONG ulReserved) {
  char path[MAX_PATH * 4];
  FILE* record = nullptr;
  if (environment("KYVO_FAKE_MAPI_RECORD", path, sizeof path)) record = fopen(path, "ab");
  if (record) recordCall(entry, lhSession, ulUIParam, lpMessage, flFlags, ulReserved, record);
  copyAttachments(lpMessage, record);
  char mode[32] = "";
  environment("KYVO_FAKE_MAPI_MODE", mode, sizeof mode);
  if (record) {
    fprintf(record, "mode=%s\nend\n", mode);
    fclose(record);
  }
  if (strcmp(mode, "fault") == 0) *reinterpret_cast<volatile int*>(faultAddress) = 1;
  if (strcmp(mode, "abort") == 0) return MAPI_USER_ABORT;
  if (strcmp(mode, "failure") == 0) return MAPI_E_FAILURE;
  return SUCCESS_SUCCESS;
}
#endif

}  // namespace

#ifndef FAKE_MAPI_NO_SEND_MAIL
extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                                           lpMapiMessage lpMessage, FLAGS flFlags,
                                                           ULONG ulReserved) {
  return sendMail("MAPISendMail", lhSession, ulUIParam, lpMessage, flFlags, ulReserved);
}
#endif

#ifdef FAKE_MAPI_WIDE
extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMailW(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                                            MapiMessageW* lpMessage, FLAGS flFlags,
                                                            ULONG ulReserved) {
  return sendMail("MAPISendMailW", lhSession, ulUIParam, lpMessage, flFlags, ulReserved);
}
#endif

extern "C" __declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPLHANDLE session) {
  if (session) *session = 0;
  return MAPI_E_FAILURE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
