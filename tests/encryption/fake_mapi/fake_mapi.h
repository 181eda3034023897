// Test support for the fake Simple MAPI provider (fake_mapi32.cpp): putting it
// where LoadLibraryA("MAPI32.DLL") finds it, choosing its behaviour and reading
// back what it was handed.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/test_files.h"

enum FakeMapiVariant {
  FAKE_MAPI_SEND_MAIL,  // fake_mapi32.dll: exports MAPISendMail
  FAKE_MAPI_NO_ENTRY,   // fake_mapi32_noentry.dll: no MAPISendMail
};

// The built DLL of the variant, in the folder of the test programs.
std::string fakeMapiDllPath(FakeMapiVariant variant);

// Copies the variant into folder as MAPI32.DLL (for a copy of a program that is
// run from that folder). False when the copy failed.
bool installFakeMapi(const std::string& folder, FakeMapiVariant variant);

// Sets an environment variable of this process (children inherit it) for the
// object's life, then restores the previous value.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::string& name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_, previous_;
  bool hadPrevious_ = false;
};

// While alive, LoadLibraryA("MAPI32.DLL") in this process finds the variant
// (copied as MAPI32.DLL into a temporary folder given to SetDllDirectoryA),
// and the provider records every call into recordPath(). With no variant
// (none()), the folder holds no MAPI32.DLL, so no provider is found. The
// mode ("", "fault", "abort", "failure") is passed as KYVO_FAKE_MAPI_MODE.
class FakeMapiInProcess {
 public:
  explicit FakeMapiInProcess(FakeMapiVariant variant, const std::string& mode = "");
  static FakeMapiInProcess none();
  ~FakeMapiInProcess();
  FakeMapiInProcess(FakeMapiInProcess&&) = default;
  FakeMapiInProcess(const FakeMapiInProcess&) = delete;
  FakeMapiInProcess& operator=(const FakeMapiInProcess&) = delete;

  bool ok() const { return ok_; }
  const std::string& folder() const { return dir_->path(); }
  const std::string& recordPath() const { return record_; }
  // Attached files are copied here by the provider.
  std::string copyFolder() const { return *dir_ / "mailed"; }

 private:
  FakeMapiInProcess(bool install, FakeMapiVariant variant, const std::string& mode);
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<ScopedEnvironment> recordEnv_, copyEnv_, modeEnv_;
  std::string record_;
  bool ok_ = false;
};

// One recorded call: the key=value lines between "MAPISendMail" and "end".
using FakeMapiCall = std::map<std::string, std::string>;
// Every call recorded in the file, in order.
std::vector<FakeMapiCall> readFakeMapiCalls(const std::string& recordPath);
