// Clearing memory that held secrets or plaintext, in a way the compiler may
// not drop as a dead store. Byte-level: no windows.h.
#pragma once
#include <stddef.h>
#include <stdlib.h>

inline void wipeBytes(void* address, size_t size) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(address);
  while (size-- > 0) *p++ = 0;
}

// A heap block for secrets or plaintext: zeroed when it is made, wiped when
// it goes. Stands for its bytes wherever a pointer to them is wanted.
class WipedBlock {
 public:
  WipedBlock() = default;
  ~WipedBlock() { release(); }
  WipedBlock(const WipedBlock&) = delete;
  WipedBlock& operator=(const WipedBlock&) = delete;
  // Makes the block of size bytes unless it is there; false without memory.
  bool allocate(size_t size) {
    if (!bytes_) {
      bytes_ = static_cast<unsigned char*>(calloc(1, size));
      size_ = bytes_ ? size : 0;
    }
    return bytes_ != nullptr;
  }
  void release() {
    if (bytes_) {
      wipeBytes(bytes_, size_);
      free(bytes_);
    }
    bytes_ = nullptr;
    size_ = 0;
  }
  operator unsigned char*() const { return bytes_; }

 private:
  unsigned char* bytes_ = nullptr;
  size_t size_ = 0;
};
