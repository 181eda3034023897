#include "shellext/command_line.h"

#include <string.h>

namespace {

class Writer {
 public:
  Writer(char* out, size_t size) : out_(out), size_(size) {}
  void put(const char* text, size_t length) {
    if (!ok_ || length >= size_ - used_) {
      ok_ = false;
      return;
    }
    memcpy(out_ + used_, text, length);
    used_ += length;
  }
  void put(const char* text) { put(text, strlen(text)); }
  void putNumber(unsigned value) {
    char digits[12];
    size_t n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value);
    char text[12];
    for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    put(text, n);
  }
  long finish() {
    if (!ok_) {
      out_[0] = '\0';
      return -1;
    }
    out_[used_] = '\0';
    return static_cast<long>(used_);
  }

 private:
  char* out_;
  size_t size_;
  size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace

unsigned long long commandLineBound(unsigned count) { return 9ull + 4ull + 263ull * count; }

long buildManagerCommandLine(unsigned mode, const char* slots, unsigned count, char* out, size_t outSize) {
  if (!out || outSize == 0) return -1;
  if (count > 0 && !slots) {
    out[0] = '\0';
    return -1;
  }
  Writer w(out, outSize);
  w.put("xx /crpmode=");
  w.putNumber(mode);
  for (unsigned i = 0; i < count; ++i) {
    const char* slot = slots + static_cast<size_t>(i) * kSelectionSlotSize;
    const void* nul = memchr(slot, 0, kSelectionSlotSize);
    size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - slot) : kSelectionSlotSize;
    w.put(" \"");
    w.put(slot, length);
    w.put("\"");
  }
  return w.finish();
}
