// The machine's container format policy: HKLM\Software\Kyvomar, ContainerFormat.
#include "manager/cipher/container_policy_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace {

const wchar_t* const kKey = L"Software\\Kyvomar";
const wchar_t* const kValue = L"ContainerFormat";
const REGSAM kView = KEY_WOW64_64KEY;

// Puts the key back as it was found (normally: missing) when the test ends.
class PolicyKey : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key;
    existed_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | kView, &key) == ERROR_SUCCESS;
    if (!existed_) return;
    DWORD size = 0;
    hadValue_ = RegQueryValueExW(key, kValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
    data_.resize(size);
    if (hadValue_ && size > 0) RegQueryValueExW(key, kValue, nullptr, &type_, data_.data(), &size);
    RegCloseKey(key);
  }
  void TearDown() override {
    if (!existed_) {
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, kView, 0);
      return;
    }
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | kView, &key) != ERROR_SUCCESS) return;
    if (hadValue_)
      RegSetValueExW(key, kValue, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
      RegDeleteValueW(key, kValue);
    RegCloseKey(key);
  }

  // Stores the value with the given type and bytes.
  void set(DWORD type, const std::vector<BYTE>& bytes) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | kView, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, kValue, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

 private:
  bool existed_ = false, hadValue_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

TEST_F(PolicyKey, OnlyADwordOfTwoChoosesTheSecondFormat) {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, kView, 0);
  EXPECT_EQ(readContainerFormatPolicy(), 1) << "no key";
  struct Case {
    const char* what;
    DWORD type;
    std::vector<BYTE> bytes;
    int expected;
  };
  const Case cases[] = {
      {"DWORD 2", REG_DWORD, {2, 0, 0, 0}, 2},
      {"DWORD 1", REG_DWORD, {1, 0, 0, 0}, 1},
      {"DWORD 0", REG_DWORD, {0, 0, 0, 0}, 1},
      {"DWORD 3", REG_DWORD, {3, 0, 0, 0}, 1},
      {"DWORD 0x102", REG_DWORD, {2, 1, 0, 0}, 1},
      {"DWORD type with two bytes", REG_DWORD, {2, 0}, 1},
      {"DWORD type with eight bytes", REG_DWORD, {2, 0, 0, 0, 0, 0, 0, 0}, 1},
      {"big-endian DWORD 2", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 2}, 1},
      {"QWORD 2", REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}, 1},
      {"binary 02 00 00 00", REG_BINARY, {2, 0, 0, 0}, 1},
      {"text \"2\"", REG_SZ, {'2', 0, 0, 0}, 1},
  };
  for (const Case& c : cases) {
    set(c.type, c.bytes);
    EXPECT_EQ(readContainerFormatPolicy(), c.expected) << c.what;
  }
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | kView, &key), ERROR_SUCCESS);
  RegDeleteValueW(key, kValue);
  RegCloseKey(key);
  EXPECT_EQ(readContainerFormatPolicy(), 1) << "key without the value";
}

}  // namespace
