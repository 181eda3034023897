// The wide Simple MAPI records and call (MAPISendMailW, Windows 8 and
// later): the ANSI records of <mapi.h> with UTF-16 texts, field for field.
#pragma once
#include <windows.h>
#include <mapi.h>

struct MapiRecipDescW {
  ULONG ulReserved;
  ULONG ulRecipClass;
  PWSTR lpszName;
  PWSTR lpszAddress;
  ULONG ulEIDSize;
  LPVOID lpEntryID;
};

struct MapiFileDescW {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;
  PWSTR lpszPathName;
  PWSTR lpszFileName;
  LPVOID lpFileType;
};

struct MapiMessageW {
  ULONG ulReserved;
  PWSTR lpszSubject;
  PWSTR lpszNoteText;
  PWSTR lpszMessageType;
  PWSTR lpszDateReceived;
  PWSTR lpszConversationID;
  FLAGS flFlags;
  MapiRecipDescW* lpOriginator;
  ULONG nRecipCount;
  MapiRecipDescW* lpRecips;
  ULONG nFileCount;
  MapiFileDescW* lpFiles;
};

typedef ULONG(WINAPI MAPISENDMAILW)(LHANDLE session, ULONG_PTR uiParam, MapiMessageW* message, FLAGS flags,
                                    ULONG reserved);

static_assert(sizeof(MapiMessageW) == sizeof(MapiMessage) && sizeof(MapiFileDescW) == sizeof(MapiFileDesc) &&
                  sizeof(MapiRecipDescW) == sizeof(MapiRecipDesc),
              "the wide records have the layout of the ANSI ones");
