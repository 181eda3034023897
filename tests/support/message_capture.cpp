#include "support/message_capture.h"

#include "support/test_files.h"

namespace {
CRITICAL_SECTION* lock() {
  static struct Section {
    CRITICAL_SECTION cs;
    Section() { InitializeCriticalSection(&cs); }
  } section;
  return &section.cs;
}
std::vector<CapturedMessage> captured;
int answerGiven = IDOK;

int captureBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  EnterCriticalSection(lock());
  captured.push_back({owner, A(text), A(caption), flags, text});
  LeaveCriticalSection(lock());
  return answerGiven;
}
}  // namespace

MessageCapture::MessageCapture(int answer) : saved_(messageBoxFunction) {
  lock();
  captured.clear();
  answerGiven = answer;
  messageBoxFunction = captureBox;
}

MessageCapture::~MessageCapture() { messageBoxFunction = saved_; }

const std::vector<CapturedMessage>& MessageCapture::messages() const { return captured; }

void MessageCapture::answerWith(int answer) { answerGiven = answer; }

std::vector<std::string> MessageCapture::texts() const {
  std::vector<std::string> out;
  EnterCriticalSection(lock());
  for (const CapturedMessage& m : captured) out.push_back(m.text);
  LeaveCriticalSection(lock());
  return out;
}
