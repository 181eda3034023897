#include "manager/cipher/random_fill.h"

#include <windows.h>
#include <ntsecapi.h>
#include <time.h>

#include "manager/cipher/container_header.h"

bool strongRandom(unsigned char* out, size_t size) {
  // RtlGenRandom (advapi32 SystemFunction036) is present on every Windows
  // from XP on and needs no provider handle.
  // size_t and ULONG are both 32 bits wide in this program.
  return RtlGenRandom(out, static_cast<ULONG>(size)) != FALSE;
}

void fillRandom(unsigned char block[1024]) {
  if (strongRandom(block, HEADER_BLOCK_SIZE)) return;
  fillFromSeed(block, HEADER_BLOCK_SIZE, static_cast<unsigned>(time(nullptr)));
}
