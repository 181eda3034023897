#include "common/policy.h"

#include <windows.h>

#include "common/text_util.h"
#include "common/unique_handle.h"

static_assert(kPolicyDwordType == REG_DWORD && kPolicyTextType == REG_SZ, "registry types");

namespace {

const wchar_t* const kKeys[] = {kPolicyKey, kPolicyProgramKey};  // in the order they are asked

// Reads the value from one key into data (size bytes at most); false when the
// key or the value is missing, its type is not type or it does not fit.
bool readRaw(const wchar_t* keyPath, const wchar_t* name, DWORD type, void* data, DWORD* size) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
    return false;
  DWORD found = REG_NONE;
  return RegQueryValueExW(key.get(), name, nullptr, &found, static_cast<BYTE*>(data), size) == ERROR_SUCCESS &&
         found == type;
}

bool readDword(const wchar_t* keyPath, const wchar_t* name, DWORD* value) {
  DWORD size = sizeof *value;
  return readRaw(keyPath, name, REG_DWORD, value, &size) && size == sizeof *value;
}

// A REG_SZ of at most maxLength units into out (maxLength + 1 units). The
// data need not end with a terminator (the registry does not promise one);
// the text ends at the first one or at the end of the data. An odd number of
// bytes is no text.
bool readText(const wchar_t* keyPath, const wchar_t* name, wchar_t* out, size_t maxLength) {
  // One unit more than the longest text with its terminator, so that a text
  // one unit too long still fits and is seen to be too long.
  wchar_t data[kPolicyMailNoteMaxLength + 2];
  if (maxLength > kPolicyMailNoteMaxLength) maxLength = kPolicyMailNoteMaxLength;
  DWORD size = sizeof data;
  if (!readRaw(keyPath, name, REG_SZ, data, &size) || size % sizeof(wchar_t)) return false;
  size_t length = textLengthUpTo(data, size / sizeof(wchar_t));
  if (length > maxLength) return false;
  for (size_t i = 0; i < length; ++i) out[i] = data[i];
  out[length] = 0;
  return true;
}

wchar_t lowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? c + (L'a' - L'A') : c; }

bool equalsIgnoringAsciiCase(const wchar_t* a, const wchar_t* b) {
  for (; *a && lowerAscii(*a) == lowerAscii(*b); ++a, ++b) {
  }
  return lowerAscii(*a) == lowerAscii(*b);
}

}  // namespace

int policyContainerFormat() {
  for (const wchar_t* key : kKeys) {
    DWORD value = 0;
    if (readDword(key, kPolicyContainerFormatValue, &value) && value >= kPolicyContainerFormatMin &&
        value <= kPolicyContainerFormatMax)
      return static_cast<int>(value);
  }
  return 1;
}

PolicyResultForm policyResultForm() {
  for (const wchar_t* key : kKeys) {
    wchar_t text[8];
    if (!readText(key, kPolicyResultFormValue, text, countOf(text) - 1)) continue;
    for (size_t form = 0; form < countOf(kPolicyResultFormTexts); ++form)
      if (equalsIgnoringAsciiCase(text, kPolicyResultFormTexts[form])) return static_cast<PolicyResultForm>(form);
  }
  return RESULT_FORM_EXE;
}

bool policyMailNoteText(wchar_t* out, size_t cap) {
  if (cap == 0) return false;
  out[0] = 0;
  for (const wchar_t* key : kKeys)
    if (readText(key, kPolicyMailNoteTextValue, out, cap - 1)) return out[0] != 0;
  return false;
}
