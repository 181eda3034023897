// The second container format: salted, slow to guess, authenticated.
//
// A container is an 84-byte plain header followed by the body. Integers are
// little-endian.
//
//   offset  length  content
//        0      16  magic: "KYVOMAR CRYPT 2" and one byte 0x0A
//       16       4  key derivation: 1 = PBKDF2-HMAC-SHA256
//       20       4  iterations: written as 600,000; read from 100,000 to 10,000,000
//       24      16  salt, from the system's cryptographic generator
//       40       4  chunk size: 65,536
//       44       8  archive size n in bytes
//       52      32  HMAC-SHA256 under the MAC key over bytes 0 to 51
//       84          body
//
// Keys: master = PBKDF2-HMAC-SHA256(password bytes as typed, without the
// terminator; salt; iterations; 32 bytes); encryption key = HMAC-SHA256(master,
// "kyvomar enc"); MAC key = HMAC-SHA256(master, "kyvomar mac").
//
// Body: the archive cut into chunks of the chunk size. Every chunk but the
// last is full; the last one holds the n mod 65,536 bytes that remain, so it
// is always shorter than a full chunk, and empty when n is a multiple of the
// chunk size, n = 0 included. An archive of n bytes therefore has
// n / 65,536 + 1 chunks (integer division), and the last one always exists:
// a reader that reaches the end of the file without having opened a chunk
// flagged as last knows that the body was cut. Each chunk is its AES-256-GCM
// ciphertext (as long as its plaintext) followed by its 16-byte tag, under the
// encryption key, with no additional data and a 12-byte nonce: the chunk's
// index (8 bytes) and then 1 for the last chunk, 0 for any other (4 bytes).
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "manager/cipher/primitives.h"

enum {
  FORMAT2_MAGIC_SIZE = 16,
  FORMAT2_HEADER_SIZE = 84,
  FORMAT2_MAC_OFFSET = 52,  // the MAC covers the bytes before it
  FORMAT2_SALT_SIZE = 16,
  FORMAT2_KEY_SIZE = 32,
  FORMAT2_TAG_SIZE = 16,
  FORMAT2_NONCE_SIZE = 12,
  FORMAT2_CHUNK_SIZE = 65536,
  FORMAT2_KDF_PBKDF2_SHA256 = 1,
};

const uint32_t FORMAT2_ITERATIONS = 600000;        // written into new containers
const uint32_t FORMAT2_ITERATIONS_MIN = 100000;    // fewer: refused by readers
const uint32_t FORMAT2_ITERATIONS_MAX = 10000000;  // more: refused by readers

// Results of the second format. 80, 81 and the 200 + code values mean what
// they mean for the container (container.h), so that the jobs show the same
// messages.
enum Format2Result {
  FORMAT2_OK = 0,
  FORMAT2_BAD_HEADER = 80,  // the header's MAC differs: wrong password (or a changed header)
  FORMAT2_DAMAGED = 81,     // the container can't be trusted: see the readers below
  FORMAT2_NO_CIPHER = 212,  // the system's cryptography could not be used or failed
  FORMAT2_STOPPED = 299,    // the user stopped the job
};

extern const unsigned char format2Magic[FORMAT2_MAGIC_SIZE];

// The header's fields.
struct Format2Header {
  uint32_t derivation;
  uint32_t iterations;
  unsigned char salt[FORMAT2_SALT_SIZE];
  uint32_t chunkSize;
  uint64_t archiveSize;
  unsigned char mac[32];
};

// The two keys of one container; wipeFormat2Keys clears them.
struct Format2Keys {
  unsigned char encryption[FORMAT2_KEY_SIZE];
  unsigned char mac[FORMAT2_KEY_SIZE];
};

// True when the first 16 of size bytes are the magic: such a container is
// read as this format, anything else as the first.
bool hasFormat2Magic(const unsigned char* data, size_t size);

// The header of a new container: derivation 1, the given iterations and salt,
// the chunk size, the archive size; the MAC field zero until sealed.
Format2Header newFormat2Header(const unsigned char salt[FORMAT2_SALT_SIZE], uint32_t iterations,
                               uint64_t archiveSize);

// Writes the 84 header bytes, the magic included, the MAC as given.
void encodeFormat2Header(const Format2Header& header, unsigned char out[FORMAT2_HEADER_SIZE]);

// Reads the 84 header bytes of data (size bytes available; nothing beyond 84
// is read). FORMAT2_OK, or FORMAT2_DAMAGED for a header that can't be used
// before its MAC is checked: shorter than 84 bytes, no magic, a derivation
// other than 1, iterations outside 100,000 to 10,000,000 (some 17 times what
// the writer uses, so that a hostile header can't hold the reader for long
// before its MAC is checked), or a chunk size other than 65,536 (no writer of
// this version makes another, and the reader's buffers are sized for it).
// The archive size is taken as it is: only the MAC vouches for it.
int parseFormat2Header(const unsigned char* data, size_t size, Format2Header* header);

// HMAC-SHA256 (RFC 2104) and PBKDF2-HMAC-SHA256 (RFC 8018) through the
// primitives. The iterations of PBKDF2 are run here over the primitives'
// HMAC, whose keyed state is made once, so that stopRequested can be asked
// every FORMAT2_STOP_POLL iterations whether to give up. FORMAT2_OK;
// FORMAT2_STOPPED when it gave up, FORMAT2_NO_CIPHER when a primitive failed;
// out then holds zeros.
enum { FORMAT2_STOP_POLL = 4096 };
bool hmacSha256(const unsigned char* key, size_t keyLength, const unsigned char* data, size_t length,
                unsigned char out[32]);
Format2Result pbkdf2HmacSha256(const unsigned char* password, size_t passwordLength, const unsigned char* salt,
                               size_t saltLength, uint32_t iterations, unsigned char* out, size_t outLength,
                               bool (*stopRequested)());

// Master key from the password's bytes (up to its terminator), the salt and
// the iterations, then the encryption and MAC keys from it. The master key
// never leaves the call. FORMAT2_OK, or FORMAT2_STOPPED when stopRequested
// (asked as the derivation goes, see above) said so, FORMAT2_NO_CIPHER when a
// primitive failed; the keys are zero then.
Format2Result deriveFormat2Keys(const char* password, const unsigned char salt[FORMAT2_SALT_SIZE],
                                uint32_t iterations, Format2Keys* keys, bool (*stopRequested)());
void wipeFormat2Keys(Format2Keys* keys);

// The MAC of an encoded header (over its bytes 0 to 51); false when it could
// not be made.
bool format2HeaderMac(const unsigned char header[FORMAT2_HEADER_SIZE], const unsigned char macKey[FORMAT2_KEY_SIZE],
                      unsigned char mac[32]);
// Stores the MAC in bytes 52 to 83; false when it could not be made.
bool sealFormat2Header(unsigned char header[FORMAT2_HEADER_SIZE], const Format2Keys& keys);
// FORMAT2_OK when bytes 52 to 83 are the MAC (compared in constant time),
// FORMAT2_NO_CIPHER when it could not be made, else FORMAT2_BAD_HEADER.
int verifyFormat2Header(const unsigned char header[FORMAT2_HEADER_SIZE], const Format2Keys& keys);

// The chunk layout of an archive of n bytes: the index of the last chunk, and
// the plaintext length of chunk index (full chunks before the last, the
// remainder for the last, 0 beyond it).
inline uint64_t format2LastChunk(uint64_t n) { return n / FORMAT2_CHUNK_SIZE; }
size_t format2ChunkLength(uint64_t n, uint64_t index);
// The container's whole size for an archive of n bytes; false when that does
// not fit 64 bits.
bool format2ContainerSize(uint64_t n, uint64_t* size);

void format2ChunkNonce(uint64_t index, bool last, unsigned char nonce[FORMAT2_NONCE_SIZE]);

// AES-256-GCM over the chunks of one container, under its encryption key,
// held as a key object of the primitives and destroyed when the object goes.
class Format2ChunkCipher {
 public:
  explicit Format2ChunkCipher(const unsigned char key[FORMAT2_KEY_SIZE]);
  // Without a key until setKey.
  Format2ChunkCipher() : key_(), ok_(false) {}
  ~Format2ChunkCipher();
  // Sets the key (the one before it is destroyed); false when it could not be set.
  bool setKey(const unsigned char key[FORMAT2_KEY_SIZE]);
  Format2ChunkCipher(const Format2ChunkCipher&) = delete;
  Format2ChunkCipher& operator=(const Format2ChunkCipher&) = delete;
  // False when the key could not be made.
  bool ok() const { return ok_; }
  // Seals length bytes of plain (at most one chunk) into sealed: the
  // ciphertext, then the tag (length + 16 bytes). False without a key or
  // when the primitive failed.
  bool seal(uint64_t index, bool last, const unsigned char* plain, size_t length, unsigned char* sealed);
  // Opens a sealed chunk of length + 16 bytes into plain (length bytes).
  // FORMAT2_OK, or FORMAT2_DAMAGED when the tag does not match this index,
  // flag and key; plain then holds zeros, never unverified bytes.
  int open(uint64_t index, bool last, const unsigned char* sealed, size_t length, unsigned char* plain);

 private:
  CryptoKey key_;
  bool ok_;
};
