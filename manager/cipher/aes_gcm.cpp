#include "manager/cipher/aes_gcm.h"

#include <string.h>

#include <mbedtls/platform_util.h>

#if defined(__i386__) || defined(__x86_64__)
#define KYVO_GCM_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

enum { kBlock = 16 };

// GCM's counter block: the nonce, then a 32-bit big-endian counter. Counter 1
// masks the tag; the data takes 2, 3, ...
void counterBlock(const unsigned char nonce[GCM_NONCE_SIZE], uint32_t counter, unsigned char block[kBlock]) {
  memcpy(block, nonce, GCM_NONCE_SIZE);
  for (int i = 0; i < 4; ++i) block[GCM_NONCE_SIZE + i] = static_cast<unsigned char>(counter >> (24 - 8 * i));
}

// The last GHASH block: the bit lengths of the additional data (none) and of
// the ciphertext, big-endian.
void lengthBlock(size_t length, unsigned char block[kBlock]) {
  uint64_t bits = static_cast<uint64_t>(length) * 8;
  memset(block, 0, kBlock);
  for (int i = 0; i < 8; ++i) block[8 + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
}

bool sameTag(const unsigned char a[GCM_TAG_SIZE], const unsigned char b[GCM_TAG_SIZE]) {
  unsigned char difference = 0;
  for (int i = 0; i < GCM_TAG_SIZE; ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

// ---------------------------------------------------------------- portable
//
// A field element as two 64-bit halves of its 16 bytes read big-endian: bit
// 63 of the upper half is the coefficient of x^0, bit 0 of the lower half that
// of x^127. Multiplying by x is a shift right by one; what falls off (x^128)
// comes back as x^7 + x^2 + x + 1, the byte 0xE1 at the top.

uint64_t bigEndian64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}
void putBigEndian64(unsigned char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (56 - 8 * i));
}

// Shifting by four drops the coefficients of x^124 .. x^127 (the low four
// bits, x^127 the lowest) to x^128 .. x^131; each comes back as 0xE1 at the
// top, shifted right by its distance from x^128. The sum for every pattern of
// four bits, as the top 16 bits of the upper half.
struct FoldTable {
  uint16_t value[16];
  constexpr FoldTable() : value() {
    for (int pattern = 0; pattern < 16; ++pattern)
      for (int bit = 0; bit < 4; ++bit)
        if (pattern & (1 << bit)) value[pattern] ^= static_cast<uint16_t>(0xE100 >> (3 - bit));
  }
};
constexpr FoldTable kFold;

// table[n] = n(x)·H, where the 4-bit n holds the coefficients of x^0 (bit 3)
// to x^3 (bit 0), as a nibble of a block does.
void portableTable(GcmKey* key, const unsigned char h[kBlock]) {
  uint64_t high = bigEndian64(h), low = bigEndian64(h + 8);
  key->tableHigh[0] = key->tableLow[0] = 0;
  for (int n = 8; n > 0; n >>= 1) {  // H, H·x, H·x^2, H·x^3
    key->tableHigh[n] = high;
    key->tableLow[n] = low;
    uint64_t carry = 0 - (low & 1);
    low = (low >> 1) | (high << 63);
    high = (high >> 1) ^ (0xE100000000000000ull & carry);
  }
  for (int n = 1; n < 16; ++n) {
    int lowest = n & -n;  // the other multiples are sums of those four
    if (lowest == n) continue;
    key->tableHigh[n] = key->tableHigh[lowest] ^ key->tableHigh[n ^ lowest];
    key->tableLow[n] = key->tableLow[lowest] ^ key->tableLow[n ^ lowest];
  }
}

// y = y·H, by Horner's rule over the 32 nibbles of y from the highest powers
// down: shift by x^4, fold, add the next nibble's multiple.
void portableMultiply(const GcmKey* key, unsigned char y[kBlock]) {
  uint64_t high = 0, low = 0;
  for (int i = kBlock - 1; i >= 0; --i) {
    const unsigned nibbles[2] = {y[i] & 0x0Fu, static_cast<unsigned>(y[i] >> 4)};  // x^4..x^7 of the byte first
    for (unsigned n : nibbles) {
      unsigned dropped = static_cast<unsigned>(low & 0x0F);
      low = (low >> 4) | (high << 60);
      high = (high >> 4) ^ (static_cast<uint64_t>(kFold.value[dropped]) << 48);
      high ^= key->tableHigh[n];
      low ^= key->tableLow[n];
    }
  }
  putBigEndian64(y, high);
  putBigEndian64(y + 8, low);
}

void portableHash(const GcmKey* key, unsigned char y[kBlock], const unsigned char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) y[i] ^= data[i];
  portableMultiply(key, y);
}

// Encrypting and decrypting are the same walk; the hash takes the ciphertext,
// which is the input when opening and the output when sealing.
void portableCrypt(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE], const unsigned char* in,
                   size_t length, unsigned char* out, bool sealing, unsigned char tag[GCM_TAG_SIZE]) {
  unsigned char y[kBlock] = {}, counter[kBlock], stream[kBlock], cipher[kBlock];
  uint32_t index = 2;
  for (size_t at = 0; at < length; at += kBlock, ++index) {
    size_t n = length - at < kBlock ? length - at : size_t{kBlock};
    counterBlock(nonce, index, counter);
    mbedtls_aes_crypt_ecb(const_cast<mbedtls_aes_context*>(&key->aes), MBEDTLS_AES_ENCRYPT, counter, stream);
    for (size_t i = 0; i < n; ++i) {
      unsigned char c = sealing ? in[at + i] ^ stream[i] : in[at + i];
      out[at + i] = in[at + i] ^ stream[i];
      cipher[i] = c;
    }
    portableHash(key, y, cipher, n);
  }
  lengthBlock(length, cipher);
  portableHash(key, y, cipher, kBlock);
  counterBlock(nonce, 1, counter);
  mbedtls_aes_crypt_ecb(const_cast<mbedtls_aes_context*>(&key->aes), MBEDTLS_AES_ENCRYPT, counter, stream);
  for (int i = 0; i < GCM_TAG_SIZE; ++i) tag[i] = y[i] ^ stream[i];
  mbedtls_platform_zeroize(y, sizeof y);
  mbedtls_platform_zeroize(stream, sizeof stream);
  mbedtls_platform_zeroize(cipher, sizeof cipher);
}

#if KYVO_GCM_X86
// ---------------------------------------------------------------- processor
//
// Only these functions use the instructions; the rest of the program runs on
// any processor. The entry points realign the stack (a 32-bit Windows thread
// guarantees 4 bytes; the vector spills need 16).
#define KYVO_X86_TARGET __attribute__((target("sse2,ssse3,aes,pclmul")))
#if defined(__i386__)
#define KYVO_X86_ENTRY KYVO_X86_TARGET __attribute__((force_align_arg_pointer, noinline))
#else
#define KYVO_X86_ENTRY KYVO_X86_TARGET __attribute__((noinline))
#endif
#define KYVO_X86_INLINE static inline KYVO_X86_TARGET __attribute__((always_inline))

KYVO_X86_INLINE __m128i load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
KYVO_X86_INLINE void store(unsigned char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// A block's bytes in reverse order. As a 128-bit little-endian number the
// coefficient of x^i then sits at bit 127 - i: the field's order mirrored,
// in which a carry-less product is the field product mirrored over 255 bits.
KYVO_X86_INLINE __m128i reversed(__m128i v) {
  return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

// ---- AES-256

KYVO_X86_INLINE __m128i expandEven(__m128i previous, __m128i assist) {
  assist = _mm_shuffle_epi32(assist, 0xFF);  // RotWord(SubWord(last word)) ^ rcon
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  return _mm_xor_si128(previous, assist);
}
KYVO_X86_INLINE __m128i expandOdd(__m128i previous, __m128i assist) {
  assist = _mm_shuffle_epi32(assist, 0xAA);  // SubWord(last word)
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  previous = _mm_xor_si128(previous, _mm_slli_si128(previous, 4));
  return _mm_xor_si128(previous, assist);
}

KYVO_X86_ENTRY void processorSchedule(const unsigned char bytes[GCM_KEY_SIZE], unsigned char rk[15][16]) {
  __m128i even = load(bytes), odd = load(bytes + 16);
  store(rk[0], even);
  store(rk[1], odd);
#define KYVO_ROUND_PAIR(i, rcon)                                 \
  even = expandEven(even, _mm_aeskeygenassist_si128(odd, rcon)); \
  store(rk[i], even);                                            \
  odd = expandOdd(odd, _mm_aeskeygenassist_si128(even, 0x00));   \
  store(rk[i + 1], odd);
  KYVO_ROUND_PAIR(2, 0x01)
  KYVO_ROUND_PAIR(4, 0x02)
  KYVO_ROUND_PAIR(6, 0x04)
  KYVO_ROUND_PAIR(8, 0x08)
  KYVO_ROUND_PAIR(10, 0x10)
  KYVO_ROUND_PAIR(12, 0x20)
  even = expandEven(even, _mm_aeskeygenassist_si128(odd, 0x40));
  store(rk[14], even);
#undef KYVO_ROUND_PAIR
}

KYVO_X86_INLINE __m128i encryptBlock(const unsigned char rk[15][16], __m128i b) {
  b = _mm_xor_si128(b, load(rk[0]));
  for (int r = 1; r < 14; ++r) b = _mm_aesenc_si128(b, load(rk[r]));
  return _mm_aesenclast_si128(b, load(rk[14]));
}

// Four blocks side by side, so that the rounds of one overlap the others'.
KYVO_X86_INLINE void encryptFour(const unsigned char rk[15][16], __m128i b[4]) {
  __m128i k = load(rk[0]);
  for (int i = 0; i < 4; ++i) b[i] = _mm_xor_si128(b[i], k);
  for (int r = 1; r < 14; ++r) {
    k = load(rk[r]);
    for (int i = 0; i < 4; ++i) b[i] = _mm_aesenc_si128(b[i], k);
  }
  k = load(rk[14]);
  for (int i = 0; i < 4; ++i) b[i] = _mm_aesenclast_si128(b[i], k);
}

// The counter block as a register: the nonce's bytes, then the counter
// big-endian in the top four bytes.
KYVO_X86_INLINE __m128i counterAt(__m128i nonce, uint32_t counter) {
  return _mm_or_si128(nonce, _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(counter))), 12));
}

// ---- GF(2^128), mirrored

// Adds the 256-bit carry-less product of a and b to low, middle and high
// (the middle one straddles the other two by 64 bits).
KYVO_X86_INLINE void multiplyAdd(__m128i a, __m128i b, __m128i* low, __m128i* middle, __m128i* high) {
  *low = _mm_xor_si128(*low, _mm_clmulepi64_si128(a, b, 0x00));
  *high = _mm_xor_si128(*high, _mm_clmulepi64_si128(a, b, 0x11));
  *middle = _mm_xor_si128(*middle, _mm_xor_si128(_mm_clmulepi64_si128(a, b, 0x01), _mm_clmulepi64_si128(a, b, 0x10)));
}

// 128-bit shifts right by k, and left by one.
KYVO_X86_INLINE __m128i shiftRight(__m128i v, int k) {
  return _mm_or_si128(_mm_srli_epi64(v, k), _mm_slli_epi64(_mm_srli_si128(v, 8), 64 - k));
}
KYVO_X86_INLINE __m128i shiftLeftOne(__m128i v) {
  return _mm_or_si128(_mm_slli_epi64(v, 1), _mm_srli_epi64(_mm_slli_si128(v, 8), 63));
}

// The mirrored field element of a sum of products. Shifted left by one, the
// 256-bit value holds the coefficient of x^j at bit 255 - j: the upper half
// holds x^0 .. x^127, the lower half L holds x^128 .. x^255. Each x^(128+j)
// comes back as x^j (1 + x + x^2 + x^7), which in the mirrored order moves
// its bit up by 128, 127, 126 and 121. The moves by 127, 126 and 121 of L's
// lowest seven bits stay in the lower half (the powers 128 .. 134 again):
// they are added to L and moved up once more. What lands in the upper half
// is M, M >> 1, M >> 2 and M >> 7 for M = L plus those seven bits moved.
KYVO_X86_INLINE __m128i reduce(__m128i low, __m128i middle, __m128i high) {
  low = _mm_xor_si128(low, _mm_slli_si128(middle, 8));
  high = _mm_xor_si128(high, _mm_srli_si128(middle, 8));
  high = _mm_or_si128(shiftLeftOne(high), _mm_srli_si128(_mm_srli_epi64(low, 63), 8));
  low = shiftLeftOne(low);
  __m128i moved = _mm_xor_si128(_mm_xor_si128(_mm_slli_epi64(low, 63), _mm_slli_epi64(low, 62)), _mm_slli_epi64(low, 57));
  __m128i m = _mm_xor_si128(low, _mm_slli_si128(moved, 8));
  __m128i spread = _mm_xor_si128(_mm_xor_si128(shiftRight(m, 1), shiftRight(m, 2)), shiftRight(m, 7));
  return _mm_xor_si128(_mm_xor_si128(high, m), spread);
}

KYVO_X86_INLINE __m128i multiply(__m128i a, __m128i b) {
  __m128i low = _mm_setzero_si128(), middle = low, high = low;
  multiplyAdd(a, b, &low, &middle, &high);
  return reduce(low, middle, high);
}

// y = (y + c0)·H^4 + c1·H^3 + c2·H^2 + c3·H: four blocks of the hash, one
// reduction.
KYVO_X86_INLINE __m128i hashFour(const unsigned char powers[4][16], __m128i y, const __m128i c[4]) {
  __m128i low = _mm_setzero_si128(), middle = low, high = low;
  multiplyAdd(_mm_xor_si128(y, reversed(c[0])), load(powers[3]), &low, &middle, &high);
  multiplyAdd(reversed(c[1]), load(powers[2]), &low, &middle, &high);
  multiplyAdd(reversed(c[2]), load(powers[1]), &low, &middle, &high);
  multiplyAdd(reversed(c[3]), load(powers[0]), &low, &middle, &high);
  return reduce(low, middle, high);
}

KYVO_X86_INLINE __m128i hashOne(const unsigned char powers[4][16], __m128i y, __m128i c) {
  return multiply(_mm_xor_si128(y, reversed(c)), load(powers[0]));
}

KYVO_X86_ENTRY void processorHashPowers(const unsigned char rk[15][16], unsigned char powers[4][16]) {
  __m128i h = reversed(encryptBlock(rk, _mm_setzero_si128()));
  __m128i power = h;
  store(powers[0], power);
  for (int i = 1; i < 4; ++i) {
    power = multiply(power, h);
    store(powers[i], power);
  }
}

KYVO_X86_ENTRY void processorCrypt(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE],
                                   const unsigned char* in, size_t length, unsigned char* out, bool sealing,
                                   unsigned char tag[GCM_TAG_SIZE]) {
  unsigned char block[kBlock] = {};
  memcpy(block, nonce, GCM_NONCE_SIZE);
  const __m128i base = load(block);
  __m128i y = _mm_setzero_si128();
  uint32_t counter = 2;
  size_t at = 0;
  for (; length - at >= 4 * kBlock; at += 4 * kBlock, counter += 4) {
    __m128i stream[4], data[4];
    for (int i = 0; i < 4; ++i) {
      stream[i] = counterAt(base, counter + i);
      data[i] = load(in + at + i * kBlock);
    }
    encryptFour(key->roundKeys, stream);
    __m128i result[4];
    for (int i = 0; i < 4; ++i) {
      result[i] = _mm_xor_si128(data[i], stream[i]);
      store(out + at + i * kBlock, result[i]);
    }
    y = hashFour(key->hashPowers, y, sealing ? result : data);
  }
  for (; at < length; at += kBlock, ++counter) {
    size_t n = length - at < kBlock ? length - at : size_t{kBlock};
    memset(block, 0, sizeof block);
    memcpy(block, in + at, n);  // the last block padded with zeros
    __m128i data = load(block);
    __m128i result = _mm_xor_si128(data, encryptBlock(key->roundKeys, counterAt(base, counter)));
    store(block, result);
    memcpy(out + at, block, n);
    if (sealing) {  // the hash takes the ciphertext with zeros behind it
      memset(block + n, 0, sizeof block - n);
      result = load(block);
    }
    y = hashOne(key->hashPowers, y, sealing ? result : data);
  }
  lengthBlock(length, block);
  y = hashOne(key->hashPowers, y, load(block));
  store(tag, _mm_xor_si128(reversed(y), encryptBlock(key->roundKeys, counterAt(base, 1))));
  mbedtls_platform_zeroize(block, sizeof block);
}
#endif  // KYVO_GCM_X86

void crypt(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE], const unsigned char* in, size_t length,
           unsigned char* out, bool sealing, unsigned char tag[GCM_TAG_SIZE]) {
#if KYVO_GCM_X86
  if (key->processor) {
    processorCrypt(key, nonce, in, length, out, sealing, tag);
    return;
  }
#endif
  portableCrypt(key, nonce, in, length, out, sealing, tag);
}

}  // namespace

bool gcmProcessorSupport() {
#if KYVO_GCM_X86
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (c & bit_AES) && (c & bit_PCLMUL) && (c & bit_SSSE3) && (d & bit_SSE2);
#else
  return false;
#endif
}

bool gcmSetKey(GcmKey* key, const unsigned char bytes[GCM_KEY_SIZE], GcmEngine engine) {
  memset(key, 0, sizeof *key);
  mbedtls_aes_init(&key->aes);
  key->processor = engine == GCM_FASTEST && gcmProcessorSupport();
#if KYVO_GCM_X86
  if (key->processor) {
    processorSchedule(bytes, key->roundKeys);
    processorHashPowers(key->roundKeys, key->hashPowers);
    return true;
  }
#endif
  if (mbedtls_aes_setkey_enc(&key->aes, bytes, 8 * GCM_KEY_SIZE) != 0) {
    gcmWipeKey(key);
    return false;
  }
  unsigned char zero[kBlock] = {}, h[kBlock];
  mbedtls_aes_crypt_ecb(&key->aes, MBEDTLS_AES_ENCRYPT, zero, h);
  portableTable(key, h);
  mbedtls_platform_zeroize(h, sizeof h);
  return true;
}

void gcmWipeKey(GcmKey* key) {
  mbedtls_aes_free(&key->aes);  // zeroizes
  mbedtls_platform_zeroize(key, sizeof *key);
}

void gcmSeal(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE], const unsigned char* plain,
             size_t length, unsigned char* sealed, unsigned char tag[GCM_TAG_SIZE]) {
  crypt(key, nonce, plain, length, sealed, true, tag);
}

bool gcmOpen(const GcmKey* key, const unsigned char nonce[GCM_NONCE_SIZE], const unsigned char* sealed,
             size_t length, const unsigned char tag[GCM_TAG_SIZE], unsigned char* plain) {
  unsigned char expected[GCM_TAG_SIZE];
  crypt(key, nonce, sealed, length, plain, false, expected);
  bool matches = sameTag(expected, tag);
  mbedtls_platform_zeroize(expected, sizeof expected);
  if (!matches && length > 0) mbedtls_platform_zeroize(plain, length);
  return matches;
}
