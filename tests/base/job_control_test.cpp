// The worker thread, the progress window and the stop protocol.
#include <gtest/gtest.h>

#include "manager/resources/resource.h"
#include "manager/base/job_control.h"
#include "manager/base/job_state.h"
#include "support/window_driver.h"

namespace {

void pumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  }
}

class JobControl : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    jobState.appInstance = GetModuleHandleA(nullptr);
    jobState.mainWindow = nullptr;
  }
  void TearDown() override {
    if (jobState.progressWindow) DestroyWindow(jobState.progressWindow);
    jobState.progressWindow = nullptr;
  }
};

TEST(ProgressCounter, ShowsDoneAndTotalOrDoneAlone) {
  char out[64];
  formatProgressCounter(out, sizeof out, false, 5, 10);
  EXPECT_STREQ(out, "5 / 10");
  formatProgressCounter(out, sizeof out, true, 123456789012LL, 10);
  EXPECT_STREQ(out, "123456789012");
  formatProgressCounter(out, sizeof out, false, 0, 5000000000LL);
  EXPECT_STREQ(out, "0 / 5000000000");
}

TEST_F(JobControl, RefreshCopiesStatusAndCountersIntoTheWindow) {
  ASSERT_EQ(openProgressWindow(), 0);
  HWND window = jobState.progressWindow;
  ASSERT_TRUE(window);
  EXPECT_EQ(windowText(window), "処理状況");
  EXPECT_EQ(controlText(window, IDCANCEL), "ｷｬﾝｾﾙ");
  reportStatus(jobProgress, "書庫を暗号化中です");
  progressStore(&jobState.progressTotal, 4096);
  progressStore(&jobState.progressDone, 1024);
  refreshProgress();
  EXPECT_EQ(controlText(window, IDC_PROGRESS_STATUS), "書庫を暗号化中です");
  EXPECT_EQ(controlText(window, IDC_PROGRESS_COUNTER), "1024 / 4096");
  jobState.countOnly = 1;
  refreshProgress();
  EXPECT_EQ(controlText(window, IDC_PROGRESS_COUNTER), "1024");
}

TEST_F(JobControl, CancelAndCloseRequestTheStopAndHideTheWindow) {
  ASSERT_EQ(openProgressWindow(), 0);
  HWND window = jobState.progressWindow;
  SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(jobState.stopCode, 999);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(jobState.progressWindow, window);
  jobState.stopCode = 0;
  ShowWindow(window, SW_SHOW);
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(jobState.stopCode, 999);
  SendMessageA(window, WM_COMMAND, IDOK, 0);  // accepted, no effect
  EXPECT_TRUE(IsWindow(window));
}

HANDLE done;
DWORD workerThreadId;
int whichJob;
void encryptionJob() {
  whichJob = 1;
  workerThreadId = GetCurrentThreadId();
  endJobSteps();
  SetEvent(done);
}
void decryptionJob() {
  whichJob = 2;
  workerThreadId = GetCurrentThreadId();
  SetEvent(done);
}

TEST_F(JobControl, WorkerStartsWithClearedProgressAndTheMainThreadClosesTheWindow) {
  done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(openProgressWindow(), 0);
  HWND window = jobState.progressWindow;
  reportStatus(jobProgress, "old");
  jobState.stopCode = 999;
  progressStore(&jobState.progressDone, 7);
  ASSERT_EQ(startJobThread(encryptionJob), 0);
  EXPECT_EQ(jobState.statusText[0], '\0');
  EXPECT_EQ(progressLoad(&jobState.progressDone), 0);
  // The worker waits in closeProgressWindow until this thread handles the close.
  DWORD start = GetTickCount();
  while (WaitForSingleObject(done, 0) != WAIT_OBJECT_0 && GetTickCount() - start < 5000) pumpFor(10);
  EXPECT_EQ(whichJob, 1);
  EXPECT_NE(workerThreadId, GetCurrentThreadId());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(jobState.progressWindow, nullptr);

  ResetEvent(done);
  ASSERT_EQ(startJobThread(decryptionJob), 0);
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(whichJob, 2);
  EXPECT_EQ(jobState.stopCode, 0);
  CloseHandle(done);
}

}  // namespace
