#include "manager/startup/command_line.h"

#include <string.h>

#include "manager/startup/text_util.h"

const char kModeSwitch[] = "/crpmode=";

void classifyCommandLine(const char* text, CommandLineInfo* info) {
  info->destinationMode = -1;
  info->pathList = text ? text : "";
  if (text == nullptr || text[0] == '\0') {
    info->form = FORM_EMPTY;
    return;
  }
  const char* found = strstr(text, kModeSwitch);
  if (found == nullptr) {
    info->form = FORM_PLAIN;
    return;
  }
  info->form = FORM_SWITCH;
  if (found != text) return;  // not at the start: no mode
  size_t len = strlen(text);
  if (len <= MODE_SWITCH_LENGTH) return;
  const char* p = text + MODE_SWITCH_LENGTH;
  info->pathList = p;
  size_t tokenLen = 0;
  while (p[tokenLen] != '\0' && p[tokenLen] != ' ') ++tokenLen;
  if (tokenLen == 0) return;
  info->pathList = p + tokenLen + (p[tokenLen] == ' ' ? 1 : 0);
  if (tokenLen > MODE_TOKEN_MAX) return;  // too long to be a mode
  char token[MODE_TOKEN_MAX + 1];
  memcpy(token, p, tokenLen);
  token[tokenLen] = '\0';
  info->destinationMode = textToInt(token);
}

static bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

void trimCommandLinePath(char* out, size_t cap, const char* input) {
  size_t len = strlen(input);
  size_t start = 0;
  while (start < len && isBlank(input[start])) ++start;
  if (start == len) {
    copyText(out, cap, input);
    return;
  }
  if (input[start] == '"' && start + 1 < len) ++start;
  size_t q = len - 1;
  while (q > start && isBlank(input[q])) --q;
  size_t end;
  if (q == start) {
    end = len;  // only the start is left: keep the rest, blanks included
  } else if (input[q] == '"' && q - 1 != start) {
    end = q;
  } else {
    end = q + 1;
  }
  copyTextN(out, cap, input + start, end - start);
}
