#include "common/command_line.h"

#include <string.h>
#include <wchar.h>

#include "common/text_util.h"

const wchar_t kModeSwitch[] = L"/crpmode=";

namespace {

bool isBlank(wchar_t c) { return static_cast<unsigned long>(c) <= 0x20; }
bool isBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

template <typename C>
void trimT(C* out, size_t cap, const C* input) {
  size_t len = textLength(input);
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

}  // namespace

const wchar_t* commandLineArguments(const wchar_t* commandLine) {
  if (commandLine == nullptr) return L"";
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    ++p;
    while (*p != 0 && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p != 0 && !isBlank(*p)) ++p;
  }
  while (*p != 0 && isBlank(*p)) ++p;
  return p;
}

void classifyCommandLine(const wchar_t* text, CommandLineInfo* info) {
  info->destinationMode = -1;
  info->pathList = text ? text : L"";
  if (text == nullptr || text[0] == 0) {
    info->form = FORM_EMPTY;
    return;
  }
  const wchar_t* found = wcsstr(text, kModeSwitch);
  if (found == nullptr) {
    info->form = FORM_PLAIN;
    return;
  }
  info->form = FORM_SWITCH;
  if (found != text) return;  // not at the start: no mode
  size_t len = textLength(text);
  if (len <= MODE_SWITCH_LENGTH) return;
  const wchar_t* p = text + MODE_SWITCH_LENGTH;
  info->pathList = p;
  size_t tokenLen = 0;
  while (p[tokenLen] != 0 && p[tokenLen] != L' ') ++tokenLen;
  if (tokenLen == 0) return;
  info->pathList = p + tokenLen + (p[tokenLen] == L' ' ? 1 : 0);
  if (tokenLen > MODE_TOKEN_MAX) return;  // too long to be a mode
  wchar_t token[MODE_TOKEN_MAX + 1];
  memcpy(token, p, tokenLen * sizeof(wchar_t));
  token[tokenLen] = 0;
  info->destinationMode = textToInt(token);
}

void trimCommandLinePath(char* out, size_t cap, const char* input) { trimT(out, cap, input); }
void trimCommandLinePath(wchar_t* out, size_t cap, const wchar_t* input) { trimT(out, cap, input); }
