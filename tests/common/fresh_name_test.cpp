// Fresh names of working files and folders.
#include "common/fresh_name.h"

#include <gtest/gtest.h>
#include <wchar.h>

#include <string>

namespace {

TEST(FreshPath, LiesBesideTheTargetAndShrinksNearTheLimit) {
  wchar_t out[FRESH_PATH_SIZE];
  std::wstring t = L"C:\\out\\a\\x.txt";
  ASSERT_TRUE(formFreshPath(t.c_str(), 9, 0xABCDu, out));
  EXPECT_EQ(std::wstring(out), L"C:\\out\\a\\~kyv0000abcd.tmp");
  std::wstring part(250, L'p');  // 9 units left for a name
  std::wstring longTarget = part + L"n";
  ASSERT_TRUE(formFreshPath(longTarget.c_str(), 250, 0x12345678u, out));
  EXPECT_EQ(std::wstring(out), part + L"~12345678");
  std::wstring tight(258, L'p');
  ASSERT_TRUE(formFreshPath((tight + L"n").c_str(), 258, 0x1234567Fu, out));
  EXPECT_EQ(std::wstring(out), tight + L"f");
  EXPECT_LT(wcslen(out), 260u);
  std::wstring full(259, L'p');
  EXPECT_FALSE(formFreshPath(full.c_str(), 259, 1, out));
}

}  // namespace
