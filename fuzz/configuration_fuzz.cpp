// The content of "Kyvomar.Cfg".
#include <stdint.h>
#include <stddef.h>

#include "manager/startup/configuration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  long writeLog = 1;
  applyConfigurationText(reinterpret_cast<const char*>(data), size, &writeLog);
  if (writeLog != 0 && writeLog != 1) __builtin_trap();
  return 0;
}
