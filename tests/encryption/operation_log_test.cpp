// The operation log written from a source list, under the log semaphore.
#include "manager/encryption/operation_log.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "encryption_helper.h"
#include "manager/dialogs/working_names.h"
#include "manager/base/job_state.h"
#include "support/test_files.h"
#include "support/narrow_paths.h"

namespace {

std::string userName() {
  char name[2048];
  DWORD size = sizeof name;
  return GetUserNameA(name, &size) ? name : "";
}

std::string nowText() {
  char out[64];
  localTimeText(out, sizeof out, 1);
  return out;
}

std::string sourceLine(const std::string& path, int type) {
  return "File=\"" + path + "\";Type=" + std::to_string(type) + ";\r\n";
}

std::vector<std::string> recordsOf(const std::string& log) {
  std::vector<std::string> records;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) {
      records.push_back(log.substr(pos));  // unterminated: shows up as a failure
      break;
    }
    records.push_back(log.substr(pos, end - pos + 2));
    pos = end + 2;
  }
  return records;
}

class OperationLog : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    setPath(jobState.moduleDir, program.path() + "\\");
    setPath(jobState.moduleFileName, "Kyvomar.exe");
    setPath(jobState.sourceListPath, (work / "list.prc"));
    setPath(jobState.outputPath, "C:\\out\\data.crpt.exe");
    jobState.destinationMode = DESTINATION_FOLDER;
    ASSERT_TRUE(makeFolder(program / "Log"));
    logPath = program / "Log\\Crypt.Log";
  }
  // Runs the log with a start 90 seconds back (ProcTime 1) and returns the
  // start and end texts the records may carry.
  void run(long long secondsBack = 90) {
    start = "2010-3-24 14:5:7";
    endBefore = nowText();
    appendOperationLog(start.c_str(), currentSeconds() - secondsBack);
    endAfter = nowText();
  }
  // The record expected for the given fields with the end text seen.
  std::string expected(const std::string& end, int procTime, int drvType, const std::string& drvName,
                       const std::string& filePath, const std::string& oldFilePath, const std::string& srcType) {
    return "ProcName=Kyvomar.exe;CaptionName=;Start=" + start + ";End=" + end +
           ";ProcTime=" + std::to_string(procTime) + ";AccStat=Write;PolNo=0;DNTStat=0;DrvType=" +
           std::to_string(drvType) + ";DrvName=" + drvName + ";FilePath=\"" + filePath +
           "\";OldFilePath=" + oldFilePath + ";UserName=\"" + userName() + "\";SrcDrvType=" + srcType + ";\r\n";
  }
  void expectRecord(const std::string& got, int procTime, int drvType, const std::string& drvName,
                    const std::string& filePath, const std::string& oldFilePath, const std::string& srcType) {
    std::string a = expected(endBefore, procTime, drvType, drvName, filePath, oldFilePath, srcType);
    std::string b = expected(endAfter, procTime, drvType, drvName, filePath, oldFilePath, srcType);
    EXPECT_TRUE(got == a || got == b) << "got      " << got << "\nexpected " << a;
  }
  TempDir program, work;
  std::string logPath, start, endBefore, endAfter;
};

TEST_F(OperationLog, OneRecordPerSourceLineInOrderEachEndingWithCrLf) {
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\src\\a.txt", 3) +
                                                     sourceLine("C:\\src\\表\\ソ能.doc", 2) +
                                                     sourceLine("\\\\srv\\share\\c.bin", 4)));
  run();
  std::string log = readFile(logPath);
  std::vector<std::string> records = recordsOf(log);
  ASSERT_EQ(records.size(), 3u) << log;
  expectRecord(records[0], 1, 3, "C:", "C:\\out\\data.crpt.exe", "\"C:\\src\\a.txt\"", "3");
  expectRecord(records[1], 1, 3, "C:", "C:\\out\\data.crpt.exe", "\"C:\\src\\表\\ソ能.doc\"", "2");
  expectRecord(records[2], 1, 3, "C:", "C:\\out\\data.crpt.exe", "\"\\\\srv\\share\\c.bin\"", "4");
}

TEST_F(OperationLog, RecordsAreAppendedToAnExistingLog) {
  ASSERT_TRUE(writeFile(logPath, "earlier line\r\n"));
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\a", 3)));
  run(10);
  std::vector<std::string> records = recordsOf(readFile(logPath));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], "earlier line\r\n");
  expectRecord(records[1], 0, 3, "C:", "C:\\out\\data.crpt.exe", "\"C:\\a\"", "3");
}

TEST_F(OperationLog, PathWithSemicolonIsCutAndLongPathsFollowThePieceRule) {
  std::string p240 = "C:\\" + std::string(237, 'a');
  std::string p241 = "C:\\" + std::string(238, 'b');
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\x;y\\z.txt", 3) + sourceLine(p240, 3) +
                                                     sourceLine(p241, 3) + sourceLine("C:\\after.txt", 5)));
  run();
  std::vector<std::string> records = recordsOf(readFile(logPath));
  ASSERT_EQ(records.size(), 3u);
  expectRecord(records[0], 1, 3, "C:", "C:\\out\\data.crpt.exe", "\"C:\\x", "3");
  expectRecord(records[1], 1, 3, "C:", "C:\\out\\data.crpt.exe", "\"" + p240 + "\"", "3");
  expectRecord(records[2], 1, 3, "C:", "C:\\out\\data.crpt.exe", "\"C:\\after.txt\"", "5");
}

TEST_F(OperationLog, NetworkDestinationHasTypeFourAndNoDriveName) {
  setPath(jobState.outputPath, "\\\\server\\share\\out\\r.crpt.exe");
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\a.txt", 3)));
  run();
  std::vector<std::string> records = recordsOf(readFile(logPath));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_NE(records[0].find(";DrvType=4;DrvName=;FilePath=\"\\\\server\\share\\out\\r.crpt.exe\";"),
            std::string::npos)
      << records[0];
  expectRecord(records[0], 1, 4, "", "\\\\server\\share\\out\\r.crpt.exe", "\"C:\\a.txt\"", "3");
}

TEST_F(OperationLog, RemovableModeLogsTheMediaPathOthersTheOutputPath) {
  setPath(jobState.outputPath, (work / "temp.crpt.exe"));
  setPath(jobState.mediaPath, "R:\\data.crpt.exe");
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\a.txt", 3)));
  // Each record is checked against the times of its own run.
  jobState.destinationMode = DESTINATION_REMOVABLE;
  run();
  std::vector<std::string> records = recordsOf(readFile(logPath));
  ASSERT_EQ(records.size(), 1u);
  // R: is the prefix's removable drive (type 2).
  expectRecord(records[0], 1, GetDriveTypeA("R:\\"), "R:", "R:\\data.crpt.exe", "\"C:\\a.txt\"", "3");
  jobState.destinationMode = DESTINATION_MAIL;
  run();
  records = recordsOf(readFile(logPath));
  ASSERT_EQ(records.size(), 2u);
  std::string drive = A(jobState.outputPath).substr(0, 2);
  expectRecord(records[1], 1, GetDriveTypeA((drive + "\\").c_str()), drive, A(jobState.outputPath),
               "\"C:\\a.txt\"", "3");
}

TEST_F(OperationLog, LongDestinationAndUserFieldsAreKeptWhole) {
  std::string destination = "\\\\srv\\" + std::string(2040, 'd');
  ASSERT_EQ(destination.size(), 2046u);
  setPath(jobState.outputPath, destination);
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\a.txt", 3)));
  run();
  std::vector<std::string> records = recordsOf(readFile(logPath));
  ASSERT_EQ(records.size(), 1u);
  expectRecord(records[0], 1, 4, "", destination, "\"C:\\a.txt\"", "3");
}

TEST_F(OperationLog, MissingLogFolderLosesTheRecordsSilently) {
  removeTree(program / "Log");
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\a.txt", 3) + sourceLine("C:\\b.txt", 3)));
  run();
  EXPECT_FALSE(folderExists(program / "Log"));
  EXPECT_TRUE(listFolder(program.path()).empty());
}

TEST_F(OperationLog, MissingOrUnusableSourceListWritesNothing) {
  run();  // no source list at all
  EXPECT_FALSE(fileExists(logPath));
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), "garbage\r\nFile=\"C:\\a\"\r\nType=3;\r\n\r\n"));
  run();
  EXPECT_FALSE(fileExists(logPath));
}

TEST_F(OperationLog, SemaphoreHeldElsewhereDropsTheRecordsAndReturns) {
  ASSERT_TRUE(writeFile(A(jobState.sourceListPath), sourceLine("C:\\a.txt", 3) + sourceLine("C:\\b.txt", 3)));
  char readyName[64], releaseName[64];
  snprintf(readyName, sizeof readyName, "kyvo_log_ready_%lx", GetCurrentProcessId());
  snprintf(releaseName, sizeof releaseName, "kyvo_log_release_%lx", GetCurrentProcessId());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName);
  ASSERT_TRUE(ready && release);
  HelperProcess holder;
  ASSERT_TRUE(startHelper(&holder, std::string("hold-log-semaphore ") + readyName + " " + releaseName));
  HANDLE waitFor[2] = {ready, holder.info.hProcess};
  ASSERT_EQ(WaitForMultipleObjects(2, waitFor, FALSE, 30000), WAIT_OBJECT_0) << "the holder did not start";

  DWORD began = GetTickCount();
  run();
  DWORD waited = GetTickCount() - began;
  SetEvent(release);
  EXPECT_EQ(holder.waitForExit(30000), 0);
  printf("appendOperationLog returned after %lu ms with the semaphore held elsewhere\n", waited);
  EXPECT_FALSE(fileExists(logPath));

  // Once it is free again, the same job's records go in.
  run();
  EXPECT_EQ(recordsOf(readFile(logPath)).size(), 2u);
  CloseHandle(ready);
  CloseHandle(release);
}

TEST(CurrentSeconds, FollowsTheSystemClock) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  long long expected = static_cast<long long>(ticks / 10000000ULL) - 11644473600LL;
  long long got = currentSeconds();
  EXPECT_GE(got, expected);
  EXPECT_LE(got, expected + 5);
}

}  // namespace
