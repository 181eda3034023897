// Time texts, working names and unique names from the running system.
#include "manager/dialogs/working_names.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <map>
#include <string>

#include "encryption/encryption_helper.h"
#include "support/test_files.h"

namespace {

bool allDigits(const std::string& s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

std::string hex(unsigned long value) {
  char out[16];
  snprintf(out, sizeof out, "%lx", value);
  return out;
}

std::string text(int kind) {
  char out[64] = "x";
  EXPECT_EQ(localTimeText(out, sizeof out, kind), 0);
  return out;
}

TEST(LocalTimeText, StampIsFixedWidthDigitsOfNow) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  std::string stamp = text(0);
  ASSERT_EQ(stamp.size(), 18u) << stamp;
  EXPECT_EQ(stamp[8], '_');
  EXPECT_TRUE(allDigits(stamp.substr(0, 8) + stamp.substr(9)));
  EXPECT_EQ(atoi(stamp.substr(0, 4).c_str()), before.wYear);
  EXPECT_LE(atoi(stamp.substr(4, 2).c_str()), 12);
  EXPECT_LE(atoi(stamp.substr(15, 3).c_str()), 999);
}

TEST(LocalTimeText, LogTimeHasNoLeadingZeros) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  std::string t = text(1);
  int y, mo, d, h, mi, s;
  char tail;
  ASSERT_EQ(sscanf(t.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail), 6) << t;
  char again[64];
  snprintf(again, sizeof again, "%d-%d-%d %d:%d:%d", y, mo, d, h, mi, s);
  EXPECT_EQ(t, again);  // no zero padding anywhere
  EXPECT_EQ(y, before.wYear);
  char out[64] = "x";
  EXPECT_EQ(localTimeText(out, sizeof out, 7), 1);
  EXPECT_STREQ(out, "");
}

// The names split as folder, "TmpCrp_", stamp, process, thread and extension.
struct Split {
  std::string folder, stamp, process, thread, ext;
};
bool split(const std::string& name, Split* out) {
  size_t at = name.rfind("TmpCrp_");
  if (at == std::string::npos) return false;
  out->folder = name.substr(0, at);
  std::string rest = name.substr(at + 7);
  size_t u1 = rest.find('_', 9), u2 = rest.find('_', u1 + 1), dot = rest.find('.');
  if (u1 == std::string::npos || u2 == std::string::npos || dot == std::string::npos) return false;
  out->stamp = rest.substr(0, u1);
  out->process = rest.substr(u1 + 1, u2 - u1 - 1);
  out->thread = rest.substr(u2 + 1, dot - u2 - 1);
  out->ext = rest.substr(dot);
  return true;
}

TEST(WorkingNames, TemporaryFolderOneStampThisProcessAndThread) {
  WorkingNames names;
  ASSERT_EQ(makeWorkingNames(&names), 0);
  Split s;
  ASSERT_TRUE(split(A(names.sourceList), &s)) << A(names.sourceList);
  EXPECT_EQ(s.folder, tempFolder());
  EXPECT_EQ(s.stamp.size(), 18u);
  EXPECT_EQ(s.process, hex(GetCurrentProcessId()));
  EXPECT_EQ(s.thread, hex(GetCurrentThreadId()));
  EXPECT_EQ(s.ext, ".prc");
  // Nothing exists on disk yet.
  EXPECT_FALSE(fileExists(A(names.sourceList)));
}

DWORD WINAPI namesOnThread(void* out) {
  makeWorkingNames(static_cast<WorkingNames*>(out));
  return 0;
}

TEST(WorkingNames, AnotherThreadPutsItsOwnNumber) {
  static WorkingNames names;
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, namesOnThread, &names, 0, &threadId);
  ASSERT_TRUE(thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Split e;
  ASSERT_TRUE(split(A(names.sourceList), &e));
  EXPECT_EQ(e.thread, hex(threadId));
}

std::map<std::string, std::string> readKeys(const std::string& path) {
  std::map<std::string, std::string> keys;
  std::string all = readFile(path);
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(pos, end - pos);
    size_t eq = line.find('=');
    if (eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
    pos = end + 1;
  }
  return keys;
}

TEST(WorkingNames, TwoProcessesStartedTogetherGetDifferentNames) {
  TempDir dir;
  HelperProcess first, second;
  ASSERT_TRUE(startHelper(&first, "names \"" + (dir / "first.txt") + "\"", true));
  ASSERT_TRUE(startHelper(&second, "names \"" + (dir / "second.txt") + "\"", true));
  ResumeThread(first.info.hThread);
  ResumeThread(second.info.hThread);
  WorkingNames ours;
  ASSERT_EQ(makeWorkingNames(&ours), 0);
  ASSERT_EQ(first.waitForExit(30000), 0);
  ASSERT_EQ(second.waitForExit(30000), 0);
  auto a = readKeys(dir / "first.txt");
  auto b = readKeys(dir / "second.txt");
  ASSERT_EQ(a["result"], "0");
  ASSERT_EQ(b["result"], "0");
  EXPECT_EQ(a["process"], hex(first.info.dwProcessId));
  EXPECT_EQ(b["process"], hex(second.info.dwProcessId));
  std::map<std::string, std::string> mine = {{"sourceList", A(ours.sourceList)}};
  for (const auto& key : mine) {
    EXPECT_NE(a[key.first], b[key.first]);
    EXPECT_NE(a[key.first], key.second);
    EXPECT_NE(b[key.first], key.second);
  }
  Split sa, sb;
  ASSERT_TRUE(split(a["sourceList"], &sa));
  ASSERT_TRUE(split(b["sourceList"], &sb));
  EXPECT_EQ(sa.process, a["process"]);
  EXPECT_EQ(sb.process, b["process"]);
  printf("stamps %s and %s (%s)\n", sa.stamp.c_str(), sb.stamp.c_str(),
         sa.stamp == sb.stamp ? "same millisecond" : "different milliseconds");
}

TEST(WorkingNames, UnusableTemporaryFolderIsRefused) {
  std::string tmp = tempFolder();
  std::string longFolder = "C:\\" + std::string(2100, 'L');
  SetEnvironmentVariableA("TMP", longFolder.c_str());
  SetEnvironmentVariableA("TEMP", longFolder.c_str());
  WorkingNames names;
  int result = makeWorkingNames(&names);
  SetEnvironmentVariableA("TMP", tmp.c_str());
  SetEnvironmentVariableA("TEMP", tmp.c_str());
  EXPECT_EQ(result, 1);
  EXPECT_EQ(names.sourceList[0], 0);
  EXPECT_EQ(tempFolder(), tmp);
}

TEST(UniqueName, ThirtyNineCharactersRepeatingForARepeatedSeed) {
  char a[64], b[64], c[64];
  ASSERT_EQ(makeUniqueName(a, sizeof a, 4242), 0);
  ASSERT_EQ(makeUniqueName(b, sizeof b, 4242), 0);
  ASSERT_EQ(makeUniqueName(c, sizeof c, 4243), 0);
  ASSERT_EQ(strlen(a), 39u);
  std::string sa = a, sb = b, sc = c;
  EXPECT_EQ(sa[8], '-');
  EXPECT_TRUE(allDigits(sa.substr(0, 8) + sa.substr(9, 6)));
  EXPECT_EQ(sa.substr(15, 8), sb.substr(15, 8));
  EXPECT_NE(sa.substr(15, 8), sc.substr(15, 8));
  char numbers[32];
  snprintf(numbers, sizeof numbers, "%08lx%08lx", GetCurrentProcessId(), GetCurrentThreadId());
  EXPECT_EQ(sa.substr(23), numbers);
}

}  // namespace
