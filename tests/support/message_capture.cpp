#include "support/message_capture.h"

namespace {
CRITICAL_SECTION* lock() {
  static struct Section {
    CRITICAL_SECTION cs;
    Section() { InitializeCriticalSection(&cs); }
  } section;
  return &section.cs;
}
std::vector<CapturedMessage> captured;

int captureBox(HWND owner, const char* text, const char* caption, UINT flags) {
  EnterCriticalSection(lock());
  captured.push_back({owner, text, caption, flags});
  LeaveCriticalSection(lock());
  return IDOK;
}
}  // namespace

MessageCapture::MessageCapture() : saved_(appFlows) {
  lock();
  captured.clear();
  appFlows.messageBox = captureBox;
}

MessageCapture::~MessageCapture() { appFlows = saved_; }

const std::vector<CapturedMessage>& MessageCapture::messages() const { return captured; }

std::vector<std::string> MessageCapture::texts() const {
  std::vector<std::string> out;
  EnterCriticalSection(lock());
  for (const CapturedMessage& m : captured) out.push_back(m.text);
  LeaveCriticalSection(lock());
  return out;
}
