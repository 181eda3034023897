#include "shellext/command_line.h"

#include <string.h>
#include <wchar.h>

namespace {

class Writer {
 public:
  Writer(wchar_t* out, size_t size) : out_(out), size_(size) {}
  void put(const wchar_t* text, size_t length) {
    if (!ok_ || length >= size_ - used_) {
      ok_ = false;
      return;
    }
    memcpy(out_ + used_, text, length * sizeof *text);
    used_ += length;
  }
  void put(const wchar_t* text) { put(text, wcslen(text)); }
  void putNumber(unsigned value) {
    wchar_t digits[12];
    size_t n = 0;
    do {
      digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
      value /= 10;
    } while (value);
    wchar_t text[12];
    for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    put(text, n);
  }
  long finish() {
    if (!ok_) {
      out_[0] = L'\0';
      return -1;
    }
    out_[used_] = L'\0';
    return static_cast<long>(used_);
  }

 private:
  wchar_t* out_;
  size_t size_;
  size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace

unsigned long long commandLineBound(unsigned count) { return 9ull + 4ull + 263ull * count; }

long buildManagerCommandLine(unsigned mode, const wchar_t* const* paths, unsigned count, wchar_t* out,
                             size_t outSize) {
  if (!out || outSize == 0) return -1;
  out[0] = L'\0';
  if (count > 0 && !paths) return -1;
  Writer w(out, outSize);
  w.put(L"xx /crpmode=");
  w.putNumber(mode);
  for (unsigned i = 0; i < count; ++i) {
    if (!paths[i]) {
      out[0] = L'\0';
      return -1;
    }
    w.put(L" \"");
    w.put(paths[i]);
    w.put(L"\"");
  }
  return w.finish();
}
