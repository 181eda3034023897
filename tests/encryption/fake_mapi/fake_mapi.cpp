#include "fake_mapi/fake_mapi.h"

#include <windows.h>

#include <memory>

std::string fakeMapiDllPath(FakeMapiVariant variant) {
  return programFolder() + (variant == FAKE_MAPI_NO_ENTRY ? "fake_mapi32_noentry.dll" : "fake_mapi32.dll");
}

bool installFakeMapi(const std::string& folder, FakeMapiVariant variant) {
  std::string target = folder + "\\MAPI32.DLL";
  return CopyFileA(fakeMapiDllPath(variant).c_str(), target.c_str(), FALSE) != 0;
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
  ok_ = (!install || installFakeMapi(dir_->path(), variant)) && SetDllDirectoryA(dir_->path().c_str());
}

FakeMapiInProcess::~FakeMapiInProcess() {
  if (dir_) SetDllDirectoryA(nullptr);
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
    if (line == "MAPISendMail") {
      calls.emplace_back();
      current = &calls.back();
    } else if (line == "end") {
      current = nullptr;
    } else if (current) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) (*current)[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return calls;
}
