#include "manager/cipher/random_fill.h"

#include <windows.h>
#include <ntsecapi.h>
#include <time.h>

#include "manager/cipher/container_header.h"

void fillRandom(unsigned char block[1024]) {
  // RtlGenRandom (advapi32 SystemFunction036) is present on every Windows
  // from XP on and needs no provider handle.
  if (RtlGenRandom(block, HEADER_BLOCK_SIZE)) return;
  fillFromSeed(block, HEADER_BLOCK_SIZE, static_cast<unsigned>(time(nullptr)));
}
