// The Linux side of the machine, reached from a test running under Wine: shell
// commands (Wine starts Unix programs but does not report their exit status,
// so the status comes back through a file), path translation and real faults
// such as a full or read-only file system.
#pragma once
#include <string>

// Runs a shell script on the Linux side and waits for it (up to timeoutMs).
// Returns its exit status, or -1 if it did not finish; output receives what it
// printed on standard output and error.
int runUnix(const std::string& script, std::string* output = nullptr, unsigned timeoutMs = 60000);

// The Unix path of a Windows path, and back.
std::string unixPathOf(const std::string& windowsPath);
std::string windowsPathOf(const std::string& unixPath);

// A tmpfs of a given size mounted at a fresh folder (reached from Windows as a
// Z: path), unmounted and removed with the object. Mounting needs root with the
// mount privilege; when that is missing, ok() is false and why() says so.
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::string& size, bool readOnly = false);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }
  const std::string& windowsPath() const { return windowsPath_; }  // no trailing backslash
  const std::string& unixPath() const { return unixPath_; }
  // Remounts read-only or read-write.
  bool remount(bool readOnly);

 private:
  bool ok_ = false;
  std::string why_, unixPath_, windowsPath_;
};

// Skips the current test when a mount is not available.
#define KYVO_REQUIRE_MOUNT(mount)                                   \
  do {                                                              \
    if (!(mount).ok()) GTEST_SKIP() << "no tmpfs mount: " << (mount).why(); \
  } while (0)
