#include "manager/cipher/random_fill.h"

#include "manager/cipher/container_header.h"
#include "manager/cipher/primitives.h"

bool strongRandom(unsigned char* out, size_t size) { return cryptoRandom(out, size); }

bool fillRandom(unsigned char block[1024]) { return strongRandom(block, HEADER_BLOCK_SIZE); }
