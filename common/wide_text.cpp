#include "common/wide_text.h"

#include <windows.h>
#include <stdlib.h>

#include "common/text_util.h"

bool ansiToWide(const char* text, wchar_t* out, size_t cap) {
  if (cap == 0) return false;
  out[0] = 0;
  int needed = MultiByteToWideChar(kProgramCodePage, 0, text, -1, nullptr, 0);
  if (needed <= 0) return false;
  if (static_cast<size_t>(needed) <= cap) {
    MultiByteToWideChar(kProgramCodePage, 0, text, -1, out, static_cast<int>(cap));
    return true;
  }
  wchar_t* whole = static_cast<wchar_t*>(malloc(static_cast<size_t>(needed) * sizeof(wchar_t)));
  if (!whole) return false;
  MultiByteToWideChar(kProgramCodePage, 0, text, -1, whole, needed);
  copyText(out, cap, whole);
  free(whole);
  return false;
}

namespace {
bool wideToExact(UINT codePage, const wchar_t* text, char* out, size_t cap) {
  if (cap == 0) return false;
  out[0] = '\0';
  if (text[0] == 0) return true;
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, -1, out, static_cast<int>(cap), nullptr,
                              &usedDefault);
  if (n <= 0 || usedDefault) {
    // What was converted before the failure may be a password's: nothing of
    // it stays.
    SecureZeroMemory(out, cap);
    return false;
  }
  return true;
}
}  // namespace

bool wideToAnsiExact(const wchar_t* text, char* out, size_t cap) {
  return wideToExact(kProgramCodePage, text, out, cap);
}

bool wideToSystemAnsiExact(const wchar_t* text, char* out, size_t cap) {
  return wideToExact(CP_ACP, text, out, cap);
}

void wideToAnsiMarked(const wchar_t* text, char* out, size_t cap) {
  if (cap == 0) return;
  if (wideToAnsiExact(text, out, cap)) return;
  // Character by character, so that a character outside the code page gives
  // one "?" whether it takes one UTF-16 unit or two.
  size_t used = 0;
  for (size_t i = 0; text[i] != 0;) {
    size_t units = (isLeadUnit(text[i]) && isTrailUnit(text[i + 1])) ? 2 : 1;
    char piece[8];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, text + i, static_cast<int>(units), piece,
                                sizeof piece, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) {
      piece[0] = '?';
      n = 1;
    }
    if (used + static_cast<size_t>(n) >= cap) break;
    for (int k = 0; k < n; ++k) out[used++] = piece[k];
    i += units;
  }
  out[used] = '\0';
}

wchar_t* wideCopyOfAnsi(const char* text) {
  int needed = MultiByteToWideChar(kProgramCodePage, 0, text, -1, nullptr, 0);
  if (needed <= 0) return nullptr;
  wchar_t* copy = static_cast<wchar_t*>(malloc(static_cast<size_t>(needed) * sizeof(wchar_t)));
  if (copy) MultiByteToWideChar(kProgramCodePage, 0, text, -1, copy, needed);
  return copy;
}
