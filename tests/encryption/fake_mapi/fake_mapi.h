// Test support for the fake Simple MAPI provider (fake_mapi32.cpp): putting it
// where the program takes the mail library from (the system folder of the
// prefix), choosing its behaviour and reading back what it was handed.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/test_files.h"

enum FakeMapiVariant {
  FAKE_MAPI_SEND_MAIL,  // fake_mapi32.dll: exports MAPISendMail
  FAKE_MAPI_WIDE,       // fake_mapi32_wide.dll: MAPISendMail and MAPISendMailW
  FAKE_MAPI_NO_ENTRY,   // fake_mapi32_noentry.dll: no MAPISendMail
};

// The built DLL of the variant, in the folder of the test programs.
std::string fakeMapiDllPath(FakeMapiVariant variant);

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

// While alive, the system folder's MAPI32.DLL is the variant (the one that
// stood there, Wine's own, is put back afterwards), and the provider records
// every call into recordPath(). With no variant (none()), the system folder
// holds no MAPI32.DLL, so no provider is found. The mode ("", "fault",
// "abort", "failure") is passed as KYVO_FAKE_MAPI_MODE; children of this
// process see the same. Tests that use it share the system folder: they run
// under the ctest lock "MAPI32".
class FakeMapiInProcess {
 public:
  explicit FakeMapiInProcess(FakeMapiVariant variant, const std::string& mode = "");
  static FakeMapiInProcess none();
  ~FakeMapiInProcess();
  FakeMapiInProcess(FakeMapiInProcess&& other) noexcept;
  FakeMapiInProcess(const FakeMapiInProcess&) = delete;
  FakeMapiInProcess& operator=(const FakeMapiInProcess&) = delete;

  bool ok() const { return ok_; }
  const std::string& folder() const { return dir_->path(); }
  const std::string& recordPath() const { return record_; }
  // Attached files are copied here by the provider.
  std::string copyFolder() const { return *dir_ / "mailed"; }
  // The system folder's MAPI32.DLL.
  static std::string systemPath();

 private:
  FakeMapiInProcess(bool install, FakeMapiVariant variant, const std::string& mode);
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<ScopedEnvironment> recordEnv_, copyEnv_, modeEnv_;
  std::string record_;
  bool ok_ = false;
  bool installed_ = false;
};

// One recorded call: the key=value lines between "MAPISendMail" (or
// "MAPISendMailW", recorded as key "entry") and "end".
using FakeMapiCall = std::map<std::string, std::string>;
// Every call recorded in the file, in order.
std::vector<FakeMapiCall> readFakeMapiCalls(const std::string& recordPath);
