#include "manager/dialogs/password_rules.h"

#include <string.h>

const char kPasswordMissingMessage[] = "パスワードが入力されていません";
const char kPasswordMismatchMessage[] =
    "再入力のパスワードが間違っていました。\r\nパスワードが一致するように入力してください。";
const char kPasswordTooLongMessage[] = "パスワード文字が長すぎます\r\n63文字以内で入力してください。";
const char kPasswordCharacterMessage[] =
    "パスワードに使用できない文字が含まれています。\r\n日本語（シフトJIS）で表せる文字で入力してください。";

int checkNewPassword(const char* entry, const char* confirmation) {
  int problems = 0;
  if (entry[0] == '\0' || confirmation[0] == '\0') problems |= PASSWORD_MISSING;
  if (entry[0] != '\0' && confirmation[0] != '\0' && strcmp(entry, confirmation) != 0)
    problems |= PASSWORD_MISMATCH;
  if (strlen(entry) > PASSWORD_MAX_BYTES || strlen(confirmation) > PASSWORD_MAX_BYTES)
    problems |= PASSWORD_TOO_LONG;
  return problems;
}
