// The machine's policies: HKLM\Software\Policies\Kyvomar first, then
// HKLM\Software\Kyvomar, in the 64-bit view. The names are spelled out here
// rather than taken from the header, so that a misspelt name there fails.
#include "common/policy.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "common/text_util.h"

namespace {

const wchar_t* const kKeys[] = {L"Software\\Policies\\Kyvomar", L"Software\\Kyvomar"};

// Removes the keys the test made, whatever way the test ends.
struct KeyRemover {
  ~KeyRemover() {
    for (const wchar_t* key : kKeys) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
  }
};

struct Setting {  // a value as it lies in the registry; type REG_NONE: no value
  DWORD type;
  std::vector<BYTE> bytes;
};
const Setting kAbsent = {REG_NONE, {}};
Setting dword(DWORD value) { return {REG_DWORD, {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)}}; }
// A text of the given type, with its terminator unless told otherwise.
Setting text(const std::wstring& t, DWORD type = REG_SZ, bool terminated = true) {
  const BYTE* p = reinterpret_cast<const BYTE*>(t.c_str());
  return {type, std::vector<BYTE>(p, p + (t.size() + (terminated ? 1 : 0)) * sizeof(wchar_t))};
}

bool put(HKEY key, const wchar_t* name, const Setting& s) {
  if (s.type == REG_NONE) {
    LONG deleted = RegDeleteValueW(key, name);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  }
  return RegSetValueExW(key, name, 0, s.type, s.bytes.data(), static_cast<DWORD>(s.bytes.size())) == ERROR_SUCCESS;
}

// What the program makes of the named policy, as a text.
std::wstring reading(const wchar_t* name) {
  if (!wcscmp(name, L"ContainerFormat")) return std::to_wstring(policyContainerFormat());
  if (!wcscmp(name, L"ResultForm")) return kPolicyResultFormTexts[policyResultForm()];
  wchar_t note[1025];
  bool found = policyMailNoteText(note, countOf(note));
  EXPECT_EQ(found, note[0] != 0);
  return note;
}

}  // namespace

TEST(Policy, ValuesUnderPoliciesWinAndBadValuesCountAsAbsent) {
  HKEY key;
  for (const wchar_t* path : kKeys) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
      GTEST_SKIP() << "this machine has a Kyvomar policy key, which the test leaves alone";
    }
  }
  const wchar_t* const defaults[][2] = {{L"ContainerFormat", L"1"}, {L"ResultForm", L"exe"}, {L"MailNoteText", L""}};
  for (const auto& d : defaults) EXPECT_TRUE(reading(d[0]) == d[1]) << "no key: " << d[0];
  KeyRemover remover;
  HKEY keys[2];
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKeys[i], 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                              &keys[i], nullptr),
              ERROR_SUCCESS);
  EXPECT_EQ(reading(L"ContainerFormat"), L"1") << "no value";
  // Only the plain key, as earlier versions had it: a DWORD of exactly 2.
  const struct {
    DWORD type;
    std::vector<BYTE> bytes;
    int expected;
  } cases[] = {
      {REG_DWORD, {2, 0, 0, 0}, 2},          {REG_DWORD, {1, 0, 0, 0}, 1},
      {REG_DWORD, {3, 0, 0, 0}, 1},          {REG_DWORD, {2, 1, 0, 0}, 1},
      {REG_DWORD, {2, 0}, 1},                {REG_DWORD, {2, 0, 0, 0, 0, 0, 0, 0}, 1},  // odd sizes
      {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 2}, 1}, {REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}, 1},
      {REG_BINARY, {2, 0, 0, 0}, 1},         {REG_SZ, {'2', 0, 0, 0}, 1},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(RegSetValueExW(keys[1], L"ContainerFormat", 0, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(policyContainerFormat(), c.expected) << "type " << c.type << ", " << c.bytes.size() << " bytes";
  }

  // Both keys: the value under Policies, unless it is bad; then the plain one.
  const std::wstring longest(1024, L'\u8868'), tooLong(1025, L'n');  // U+8868: 表, 0x5C in Shift-JIS
  const std::wstring note = L"\u958B\u304D\u65B9: Kyvomar \U0001F512";
  const struct {
    const wchar_t* name;
    Setting policies, program;
    std::wstring expected;
  } rows[] = {
      {L"ContainerFormat", dword(2), dword(1), L"2"},
      {L"ContainerFormat", dword(1), dword(2), L"1"},
      {L"ContainerFormat", kAbsent, dword(2), L"2"},
      {L"ContainerFormat", dword(0), dword(2), L"2"},
      {L"ContainerFormat", dword(3), dword(2), L"2"},
      {L"ContainerFormat", dword(3), kAbsent, L"1"},
      {L"ContainerFormat", text(L"1"), dword(2), L"2"},
      {L"ContainerFormat", {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}}, dword(2), L"2"},
      {L"ContainerFormat", {REG_DWORD, {1, 0}}, dword(2), L"2"},
      {L"ResultForm", kAbsent, kAbsent, L"exe"},
      {L"ResultForm", text(L"kyvo"), text(L"ex_"), L"kyvo"},
      {L"ResultForm", text(L"exe"), text(L"kyvo"), L"exe"},
      {L"ResultForm", kAbsent, text(L"ex_"), L"ex_"},
      {L"ResultForm", text(L"KYVO"), kAbsent, L"kyvo"},                      // case ignored
      {L"ResultForm", text(L"Ex_", REG_SZ, false), text(L"kyvo"), L"ex_"},  // no terminator
      {L"ResultForm", text(std::wstring(L"kyvo\0exe", 8)), kAbsent, L"kyvo"},
      {L"ResultForm", text(L""), text(L"kyvo"), L"kyvo"},
      {L"ResultForm", text(L"exe "), text(L"kyvo"), L"kyvo"},
      {L"ResultForm", text(L"kyvoo"), text(L"ex_"), L"ex_"},
      {L"ResultForm", text(L"zip"), kAbsent, L"exe"},
      {L"ResultForm", text(L"kyvo", REG_EXPAND_SZ), text(L"ex_"), L"ex_"},
      {L"ResultForm", text(L"kyvo", REG_MULTI_SZ), kAbsent, L"exe"},
      {L"ResultForm", dword(RESULT_FORM_KYVO), kAbsent, L"exe"},
      {L"ResultForm", {REG_SZ, {'k', 0, 'y', 0, 'v', 0, 'o', 0, 0}}, kAbsent, L"exe"},  // odd size
      {L"MailNoteText", kAbsent, kAbsent, L""},
      {L"MailNoteText", text(note), text(L"other"), note},
      {L"MailNoteText", kAbsent, text(note), note},
      {L"MailNoteText", text(L""), text(L"other"), L""},  // the administrator's empty note wins
      {L"MailNoteText", text(longest), text(L"other"), longest},
      {L"MailNoteText", text(longest, REG_SZ, false), kAbsent, longest},
      {L"MailNoteText", text(tooLong), text(L"other"), L"other"},
      {L"MailNoteText", text(tooLong, REG_SZ, false), kAbsent, L""},
      {L"MailNoteText", text(L"%TEMP%", REG_EXPAND_SZ), text(L"other"), L"other"},
      {L"MailNoteText", text(std::wstring(L"a\0b\0", 4), REG_MULTI_SZ), kAbsent, L""},
      {L"MailNoteText", {REG_BINARY, {'a', 0, 0, 0}}, text(L"other"), L"other"},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(put(keys[0], row.name, row.policies) && put(keys[1], row.name, row.program));
    std::wstring got = reading(row.name);
    EXPECT_TRUE(got == row.expected) << &row - rows << ": " << row.name << " read as " << got.size() << " units";
  }
  for (HKEY k : keys) RegCloseKey(k);
}
