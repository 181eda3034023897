// Presses "Cancel" for a test: sets jobState.stopCode to 999 as soon as the
// status line shows the given text and some progress has been made. An
// optional action runs on the pressing thread just before, to look at the
// job in that state.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

#include "manager/base/job_state.h"
#include "support/test_files.h"

class StopWhen {
 public:
  explicit StopWhen(const std::string& status, std::function<void()> beforeStop = nullptr)
      : status_(W(status)), beforeStop_(beforeStop) {
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
  }
  ~StopWhen() {
    done_ = true;
    WaitForSingleObject(thread_, 10000);
    CloseHandle(thread_);
  }
  StopWhen(const StopWhen&) = delete;
  StopWhen& operator=(const StopWhen&) = delete;
  bool fired() const { return fired_; }

 private:
  static DWORD WINAPI run(void* p) {
    StopWhen* self = static_cast<StopWhen*>(p);
    while (!self->done_) {
      if (self->status_ == jobState.statusText && progressLoad(&jobState.progressDone) > 0) {
        if (self->beforeStop_) self->beforeStop_();
        jobState.stopCode = STOP_REQUESTED;
        self->fired_ = true;
        return 0;
      }
      Sleep(0);
    }
    return 0;
  }
  std::wstring status_;
  std::function<void()> beforeStop_;
  HANDLE thread_ = nullptr;
  volatile bool done_ = false;
  volatile bool fired_ = false;
};
