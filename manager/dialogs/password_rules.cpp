#include "manager/dialogs/password_rules.h"

#include <string.h>

int checkNewPassword(const char* entry, const char* confirmation) {
  int problems = 0;
  if (entry[0] == '\0' || confirmation[0] == '\0') problems |= PASSWORD_MISSING;
  if (entry[0] != '\0' && confirmation[0] != '\0' && strcmp(entry, confirmation) != 0)
    problems |= PASSWORD_MISMATCH;
  if (strlen(entry) > PASSWORD_MAX_BYTES || strlen(confirmation) > PASSWORD_MAX_BYTES)
    problems |= PASSWORD_TOO_LONG;
  return problems;
}
