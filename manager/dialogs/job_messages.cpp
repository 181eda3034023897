#include "manager/dialogs/job_messages.h"

#include "common/progress.h"
#include "common/ui_language.h"
#include "manager/base/message_box.h"
#include "manager/cipher/container.h"

const char* jobEndMessage(int code, UiText stopped, UiText failed, char* buffer, size_t cap) {
  if (code == RESULT_STOPPED || code == CONTAINER_STOPPED) return uiText(stopped);
  if (code == CONTAINER_NO_CIPHER) return uiText(TEXT_NO_CIPHER);
  return codeMessage(buffer, cap, uiText(failed), code);
}
