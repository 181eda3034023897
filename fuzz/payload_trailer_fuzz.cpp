// The trailer probe of a self-decrypting file: any last 12 bytes, any size;
// and the headers of the program image before it, any bytes.
#include <stdint.h>
#include <stddef.h>
#include <string.h>

#include "manager/archive/payload_trailer.h"
#include "manager/archive/program_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ProgramImageLayout layout;
  if (readProgramImageLayout(data, size, &layout)) programImageEnd(layout, data);
  if (size < PAYLOAD_TRAILER_SIZE + 8) return 0;
  uint64_t fileSize;
  memcpy(&fileSize, data, 8);
  uint64_t start = 0, length = 0;
  if (locatePayload(fileSize, data + 8, &start, &length) == 0) {
    if (start + length + PAYLOAD_TRAILER_SIZE != fileSize) __builtin_trap();
  }
  return 0;
}
