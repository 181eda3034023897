#include "manager/encryption/wizard_context.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

void clearWizardContext(WizardContext* context) {
  memset(context, 0, sizeof *context);
  context->proposedPath = context->proposedBuffer;
}

static void releaseText(char** field, bool wipe) {
  if (*field && wipe) SecureZeroMemory(*field, strlen(*field));
  free(*field);
  *field = nullptr;
}

void releaseWizardContext(WizardContext* context) {
  releaseText(&context->chosenPath, false);
  releaseText(&context->enteredPassword, true);
  releaseText(&context->fileName, false);
}

bool setContextText(char** field, const char* text) {
  size_t size = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (!copy) return false;
  memcpy(copy, text, size);
  releaseText(field, true);
  *field = copy;
  return true;
}
