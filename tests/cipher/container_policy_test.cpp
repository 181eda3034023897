// The machine's container format policy: HKLM\Software\Kyvomar, ContainerFormat.
#include "manager/cipher/container_policy_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace {

const wchar_t* const kKey = L"Software\\Kyvomar";

// Removes the key the test made, whatever way the test ends.
struct KeyRemover {
  ~KeyRemover() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY, 0); }
};

}  // namespace

TEST(ContainerPolicy, OnlyADwordOfTwoChoosesTheSecondFormat) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    GTEST_SKIP() << "this machine has a Kyvomar policy key, which the test leaves alone";
  }
  EXPECT_EQ(readContainerFormatPolicy(), 1) << "no key";
  KeyRemover remover;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(readContainerFormatPolicy(), 1) << "no value";
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
    ASSERT_EQ(RegSetValueExW(key, L"ContainerFormat", 0, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(readContainerFormatPolicy(), c.expected) << "type " << c.type << ", " << c.bytes.size() << " bytes";
  }
  RegCloseKey(key);
}
