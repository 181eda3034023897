#include "fake_mapi/fake_mapi.h"

#include <windows.h>

#include <memory>

std::string fakeMapiDllPath(FakeMapiVariant variant) {
  const char* name = variant == FAKE_MAPI_NO_ENTRY ? "fake_mapi32_noentry.dll"
                     : variant == FAKE_MAPI_WIDE   ? "fake_mapi32_wide.dll"
                                                   : "fake_mapi32.dll";
  return programFolder() + name;
}

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value) : name_(name) {
  char buffer[32768];
  DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
  if (n > 0 && n < sizeof buffer) {
    hadPrevious_ = true;
    previous_.assign(buffer, n);
  }
  SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), hadPrevious_ ? previous_.c_str() : nullptr);
}

std::string FakeMapiInProcess::systemPath() {
  char folder[MAX_PATH];
  UINT n = GetSystemDirectoryA(folder, sizeof folder);
  return std::string(folder, n) + "\\MAPI32.DLL";
}

namespace {
// Where the system's own MAPI32.DLL waits while a variant stands in for it.
std::string savedPath() { return FakeMapiInProcess::systemPath() + ".kyvo-saved"; }

// Puts the system's own library back (also after a test that was killed).
void restoreSystemMapi() {
  if (!fileExists(savedPath())) return;
  DeleteFileA(FakeMapiInProcess::systemPath().c_str());
  MoveFileA(savedPath().c_str(), FakeMapiInProcess::systemPath().c_str());
}
}  // namespace

FakeMapiInProcess::FakeMapiInProcess(FakeMapiVariant variant, const std::string& mode)
    : FakeMapiInProcess(true, variant, mode) {}

FakeMapiInProcess FakeMapiInProcess::none() { return FakeMapiInProcess(false, FAKE_MAPI_SEND_MAIL, ""); }

FakeMapiInProcess::FakeMapiInProcess(bool install, FakeMapiVariant variant, const std::string& mode)
    : dir_(new TempDir) {
  record_ = *dir_ / "calls.txt";
  makeFolder(copyFolder());
  recordEnv_.reset(new ScopedEnvironment("KYVO_FAKE_MAPI_RECORD", record_));
  copyEnv_.reset(new ScopedEnvironment("KYVO_FAKE_MAPI_COPY_TO", copyFolder()));
  modeEnv_.reset(new ScopedEnvironment("KYVO_FAKE_MAPI_MODE", mode));
  restoreSystemMapi();
  bool moved = !fileExists(systemPath()) || MoveFileA(systemPath().c_str(), savedPath().c_str());
  installed_ = moved;
  ok_ = moved && (!install || CopyFileA(fakeMapiDllPath(variant).c_str(), systemPath().c_str(), FALSE));
}

FakeMapiInProcess::FakeMapiInProcess(FakeMapiInProcess&& other) noexcept
    : dir_(std::move(other.dir_)),
      recordEnv_(std::move(other.recordEnv_)),
      copyEnv_(std::move(other.copyEnv_)),
      modeEnv_(std::move(other.modeEnv_)),
      record_(std::move(other.record_)),
      ok_(other.ok_),
      installed_(other.installed_) {
  other.installed_ = false;
}

FakeMapiInProcess::~FakeMapiInProcess() {
  if (!installed_) return;
  DeleteFileA(systemPath().c_str());  // the variant, if one was put there
  restoreSystemMapi();
}

std::vector<FakeMapiCall> readFakeMapiCalls(const std::string& recordPath) {
  std::vector<FakeMapiCall> calls;
  std::string text = readFile(recordPath);
  FakeMapiCall* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line == "MAPISendMail" || line == "MAPISendMailW") {
      calls.emplace_back();
      current = &calls.back();
      (*current)["entry"] = line;
    } else if (line == "end") {
      current = nullptr;
    } else if (current) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) (*current)[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return calls;
}
