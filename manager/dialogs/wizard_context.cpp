#include "manager/dialogs/wizard_context.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "common/text_util.h"

void clearWizardContext(WizardContext* context) {
  memset(context, 0, sizeof *context);
  context->proposedPath = context->proposedBuffer;
}

template <typename C>
static void releaseText(C** field) {
  if (*field) SecureZeroMemory(*field, textLength(*field) * sizeof(C));
  free(*field);
  *field = nullptr;
}

void releaseWizardContext(WizardContext* context) {
  releaseText(&context->chosenPath);
  releaseText(&context->enteredPassword);
  releaseText(&context->fileName);
}

template <typename C>
static bool setText(C** field, const C* text) {
  size_t size = (textLength(text) + 1) * sizeof(C);
  C* copy = static_cast<C*>(malloc(size));
  if (!copy) return false;
  memcpy(copy, text, size);
  releaseText(field);
  *field = copy;
  return true;
}

bool setContextText(char** field, const char* text) { return setText(field, text); }
bool setContextText(wchar_t** field, const wchar_t* text) { return setText(field, text); }
