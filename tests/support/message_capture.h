// Captures the messages a test's code would show, instead of showing them.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "manager/base/message_box.h"

struct CapturedMessage {
  HWND owner;
  std::string text;      // in the ANSI code page ("?" for what it lacks)
  std::string caption;
  UINT flags;
  std::wstring wideText;  // as shown
};

// While alive, showMessage records into messages() and answers IDOK (or the
// given answer).
class MessageCapture {
 public:
  explicit MessageCapture(int answer = IDOK);
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  const std::vector<CapturedMessage>& messages() const;
  void answerWith(int answer);
  std::vector<std::string> texts() const;

 private:
  MessageBoxFunction saved_;
};
