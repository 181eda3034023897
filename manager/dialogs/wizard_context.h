// The record a wizard passes through its dialogs.
#pragma once
#include <stddef.h>

enum { PROPOSED_PATH_SIZE = 2052 };

struct WizardContext {
  const wchar_t* pathList;  // the command line's path list
  void* reserved1;
  wchar_t* proposedPath;    // points to proposedBuffer
  wchar_t* chosenPath;      // heap text
  void* reserved2;
  char* enteredPassword;    // heap text (code page 932), wiped when released
  wchar_t* fileName;        // heap text
  wchar_t proposedBuffer[PROPOSED_PATH_SIZE];
};

// Clears the record (proposedPath set to its own buffer).
void clearWizardContext(WizardContext* context);
// Releases the heap texts (the password wiped first).
void releaseWizardContext(WizardContext* context);
// Replaces a heap text of the record with a copy of text. False without memory.
bool setContextText(char** field, const char* text);
bool setContextText(wchar_t** field, const wchar_t* text);
