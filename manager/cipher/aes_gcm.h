// AES-256-GCM with a 12-byte nonce, no additional data and a 16-byte tag:
// what the second container format seals its chunks with (NIST SP 800-38D).
//
// Two engines give the same bytes. The processor's engine runs on the AES and
// carry-less multiplication instructions (AES-NI, PCLMULQDQ, with SSSE3),
// four blocks at a time: the counter blocks go through the AES rounds side by
// side, and GHASH multiplies four blocks by H^4 .. H^1 and reduces once. The
// portable engine, for processors without those instructions, takes its AES
// from the library one block at a time and multiplies in GF(2^128) with a
// 4-bit table of multiples of H.
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <mbedtls/aes.h>

enum {
  GCM_KEY_SIZE = 32,
  GCM_NONCE_SIZE = 12,
  GCM_TAG_SIZE = 16,
};

enum GcmEngine {
  GCM_FASTEST,   // the processor's engine where the instructions are there, else the portable one
  GCM_PORTABLE,  // the portable engine in any case
};

// The key of one engine. Everything in it is secret: gcmWipeKey clears it.
struct GcmKey {
  bool processor;                    // which engine the key was set up for
  unsigned char roundKeys[15][16];   // processor: the AES-256 encryption schedule
  unsigned char hashPowers[4][16];   // processor: H, H^2, H^3, H^4, bytes reversed
  mbedtls_aes_context aes;           // portable: the library's AES
  uint64_t tableHigh[16];            // portable: n(x)·H for every 4-bit n, upper half
  uint64_t tableLow[16];             // ... and lower half
};

// True when this processor has the instructions of the processor's engine.
bool gcmProcessorSupport();

// Sets up the key for the engine asked for. False only when the library
// refuses the key (it takes any 32 bytes); the key is wiped then.
bool gcmSetKey(GcmKey* key, const unsigned char bytes[GCM_KEY_SIZE], GcmEngine engine);
void gcmWipeKey(GcmKey* key);

// Encrypts length bytes of plain into sealed (as long, another buffer) and
// writes the tag.
void gcmSeal(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE], const unsigned char* plain,
             size_t length, unsigned char* sealed, unsigned char tag[GCM_TAG_SIZE]);

// Decrypts length bytes of sealed into plain (another buffer) when the tag
// matches (compared in constant time) and returns true; otherwise returns false with plain all
// zeros, never unverified bytes.
bool gcmOpen(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE], const unsigned char* sealed,
             size_t length, const unsigned char tag[GCM_TAG_SIZE], unsigned char* plain);
