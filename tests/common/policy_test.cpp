// The machine's policies: HKLM\Software\Policies\Kyvomar first, then
// HKLM\Software\Kyvomar, in the 64-bit view. The names are spelled out here
// rather than taken from the header, so that a misspelt name there fails.
#include "common/policy.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wchar.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const kKeys[] = {L"Software\\Policies\\Kyvomar", L"Software\\Kyvomar"};

// Removes the keys the test made, whatever way the test ends.
struct KeyRemover {
  ~KeyRemover() {
    for (const wchar_t* key : kKeys) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
  }
};

struct Setting {  // a value as it lies in the registry; REG_NONE: no value
  DWORD type;
  std::vector<BYTE> bytes;
};
const Setting kAbsent = {REG_NONE, {}};
Setting dword(BYTE value) { return {REG_DWORD, {value, 0, 0, 0}}; }
// A text of the given type, with its terminator unless told otherwise.
Setting text(const std::wstring& t, DWORD type = REG_SZ, bool terminated = true) {
  const BYTE* p = reinterpret_cast<const BYTE*>(t.c_str());
  return {type, std::vector<BYTE>(p, p + (t.size() + terminated) * sizeof(wchar_t))};
}

// What the program makes of the named policy, as a text.
std::wstring reading(const wchar_t* name) {
  if (!wcscmp(name, L"ContainerFormat")) return std::to_wstring(policyContainerFormat());
  if (!wcscmp(name, L"ResultForm")) return kPolicyResultFormTexts[policyResultForm()];
  wchar_t note[1025];
  bool found = policyMailNoteText(note, 1025);
  EXPECT_EQ(found, note[0] != 0);
  return note;
}

}  // namespace

TEST(Policy, ValuesUnderPoliciesWinAndBadValuesCountAsAbsent) {
  HKEY keys[2];
  for (const wchar_t* path : kKeys) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, keys) == ERROR_SUCCESS) {
      RegCloseKey(keys[0]);
      GTEST_SKIP() << "this machine has a Kyvomar policy key, which the test leaves alone";
    }
  }
  EXPECT_TRUE(reading(L"ContainerFormat") == L"1" && reading(L"ResultForm") == L"exe" &&
              reading(L"MailNoteText").empty());
  KeyRemover remover;
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeys[i], 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                              &keys[i], nullptr),
              ERROR_SUCCESS);
  const std::wstring longest(1024, L'\u8868'), tooLong(1025, L'n');  // U+8868: 表, 0x5C in Shift-JIS
  const std::wstring note = L"\u958B\u304D\u65B9: Kyvomar \U0001F512";
  const struct {
    const wchar_t* name;
    Setting policies, program;  // under each key
    std::wstring expected;
  } rows[] = {
      // The program's own key alone, as earlier versions had it: a DWORD of 1 or 2.
      {L"ContainerFormat", kAbsent, kAbsent, L"1"},
      {L"ContainerFormat", kAbsent, dword(2), L"2"},
      {L"ContainerFormat", kAbsent, {REG_DWORD, {2, 1, 0, 0}}, L"1"},
      {L"ContainerFormat", kAbsent, {REG_DWORD, {2, 0}}, L"1"},
      {L"ContainerFormat", kAbsent, {REG_DWORD, {2, 0, 0, 0, 0, 0, 0, 0}}, L"1"},
      {L"ContainerFormat", kAbsent, {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 2}}, L"1"},
      {L"ContainerFormat", kAbsent, {REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}}, L"1"},
      {L"ContainerFormat", kAbsent, {REG_BINARY, {2, 0, 0, 0}}, L"1"},
      {L"ContainerFormat", kAbsent, text(L"2"), L"1"},
      // Both keys: the value under Policies wins, unless it is bad.
      {L"ContainerFormat", dword(2), dword(1), L"2"},
      {L"ContainerFormat", dword(1), dword(2), L"1"},
      {L"ContainerFormat", dword(0), dword(2), L"2"},
      {L"ContainerFormat", dword(3), dword(2), L"2"},
      {L"ContainerFormat", dword(3), kAbsent, L"1"},
      {L"ContainerFormat", text(L"1"), dword(2), L"2"},
      {L"ContainerFormat", {REG_DWORD, {1, 0}}, dword(2), L"2"},
      {L"ResultForm", kAbsent, kAbsent, L"exe"},
      {L"ResultForm", text(L"kyvo"), text(L"ex_"), L"kyvo"},
      {L"ResultForm", kAbsent, text(L"ex_"), L"ex_"},
      {L"ResultForm", text(L"KYVO"), kAbsent, L"kyvo"},                      // case ignored
      {L"ResultForm", text(L"Ex_", REG_SZ, false), text(L"kyvo"), L"ex_"},  // no terminator
      {L"ResultForm", text(std::wstring(L"kyvo\0exe", 8)), kAbsent, L"kyvo"},
      {L"ResultForm", text(L""), text(L"kyvo"), L"kyvo"},
      {L"ResultForm", text(L"exe "), text(L"kyvo"), L"kyvo"},
      {L"ResultForm", text(L"kyvoo"), text(L"ex_"), L"ex_"},
      {L"ResultForm", text(L"kyvo", REG_EXPAND_SZ), text(L"ex_"), L"ex_"},
      {L"ResultForm", dword(RESULT_FORM_KYVO), kAbsent, L"exe"},
      {L"ResultForm", {REG_SZ, {'k', 0, 'y', 0, 'v', 0, 'o', 0, 0}}, kAbsent, L"exe"},  // odd size
      {L"MailNoteText", text(note), text(L"other"), note},
      {L"MailNoteText", kAbsent, text(note), note},
      {L"MailNoteText", text(L""), text(L"other"), L""},  // the administrator's empty note wins
      {L"MailNoteText", text(longest), text(L"other"), longest},
      {L"MailNoteText", text(longest, REG_SZ, false), kAbsent, longest},
      {L"MailNoteText", text(tooLong), text(L"other"), L"other"},
      {L"MailNoteText", text(tooLong, REG_SZ, false), kAbsent, L""},
      {L"MailNoteText", text(L"%TEMP%", REG_EXPAND_SZ), text(L"other"), L"other"},
      {L"MailNoteText", text(std::wstring(L"a\0b\0", 4), REG_MULTI_SZ), kAbsent, L""},
  };
  for (const auto& row : rows) {
    for (int i = 0; i < 2; ++i) {
      const Setting& s = i ? row.program : row.policies;
      if (s.type == REG_NONE)
        RegDeleteValueW(keys[i], row.name);
      else
        ASSERT_EQ(RegSetValueExW(keys[i], row.name, 0, s.type, s.bytes.data(), DWORD(s.bytes.size())), ERROR_SUCCESS);
    }
    std::wstring got = reading(row.name);
    EXPECT_TRUE(got == row.expected) << "row " << &row - rows << ", " << row.name << ": " << got.size() << " units";
  }
  for (HKEY k : keys) RegCloseKey(k);
}
