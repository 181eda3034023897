// The second format's keys, header and chunks against values computed apart
// from the program by make_format2_vectors.py (Python's hashlib and hmac, the
// cryptography package's AES-GCM): salt A0..AF, 1000 iterations.
#include "manager/cipher/container_format2.h"

#include <gtest/gtest.h>
#include <string.h>

#include "cipher_test_util.h"

namespace {

const char* const kEncHex = "04fc029855240ac0e6868a4ff8631da243ce6b56207a10f9d5699b5ddc4b8893";
const char* const kMacHex = "fb174f3fb66f99ac3ad61666fe2355b63b239edbb8ac7815122fc669591333b7";
const char* const kHeaderHex =  // archive size 70,000
    "4b59564f4d415220435259505420320a01000000e8030000a0a1a2a3a4a5a6a7a8a9aaabacadaeaf0000010070110100"
    "00000000dc3a5c242f3d79d4ddcffadda1a3f948ea9bdc88009d60b8ed35f01fcfb585ab";

std::vector<unsigned char> salt() { return fromHex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf"); }

Format2Keys knownKeys() {
  Format2Keys keys;
  memcpy(keys.encryption, fromHex(kEncHex).data(), FORMAT2_KEY_SIZE);
  memcpy(keys.mac, fromHex(kMacHex).data(), FORMAT2_KEY_SIZE);
  return keys;
}

}  // namespace

TEST(Format2, KeysFromThePasswordBytesAsTypedShortOrLong) {
  std::string longPassword;
  for (int i = 0; i < 100; ++i) longPassword += static_cast<char>('A' + i % 26);  // hashed first by HMAC
  const struct {
    std::string password;
    const char *enc, *mac;
  } cases[] = {
      {"パスワード表", kEncHex, kMacHex},  // code page 932 bytes, one of them 0x5C
      {longPassword, "45f9a31a770c8c333a376ff159631e070dcdc04b04ce58b530a18379006d5f7e",
       "436e3e4fa4f94f84e2c6338abaaea5c08aadab786de632ec7e1305f83b03b136"},
  };
  bool (*const neverStop)() = [] { return false; };
  for (const auto& c : cases) {
    Format2Keys keys;
    ASSERT_EQ(deriveFormat2Keys(c.password.c_str(), salt().data(), 1000, &keys, neverStop), FORMAT2_OK);
    EXPECT_EQ(hexOf(keys.encryption, FORMAT2_KEY_SIZE), c.enc);
    EXPECT_EQ(hexOf(keys.mac, FORMAT2_KEY_SIZE), c.mac);
    wipeFormat2Keys(&keys);
    EXPECT_EQ(hexOf(reinterpret_cast<unsigned char*>(&keys), sizeof keys), std::string(2 * sizeof keys, '0'));
  }
}

TEST(Format2, HeaderAsTheToolWritesItWithEveryByteUnderTheMac) {
  unsigned char h[FORMAT2_HEADER_SIZE];
  encodeFormat2Header(newFormat2Header(salt().data(), 1000, 70000), h);
  Format2Keys keys = knownKeys();
  ASSERT_TRUE(sealFormat2Header(h, keys));
  EXPECT_EQ(hexOf(h, sizeof h), kHeaderHex);
  EXPECT_EQ(verifyFormat2Header(h, keys), FORMAT2_OK);
  for (size_t at = 0; at < FORMAT2_HEADER_SIZE; ++at) {
    h[at] ^= 1;
    EXPECT_EQ(verifyFormat2Header(h, keys), FORMAT2_BAD_HEADER) << at;
    h[at] ^= 1;
  }
}

TEST(Format2, HeaderFieldsNoWriterMakesAreDamage) {
  const struct {
    size_t at;
    uint32_t value;
    int expected;
  } cases[] = {
      {16, 0, 81},         {16, 2, 81},         {16, 0x01000000, 81},  // derivation
      {20, 99999, 81},     {20, 100000, 0},     {20, 10000000, 0},     // iterations
      {20, 10000001, 81},  {20, 17400000, 81},  {20, 0xFFFFFFFF, 81},  //
      {40, 65535, 81},     {40, 65537, 81},     {40, 0, 81},           // chunk size
      {15, 0x0D, 81},      {44, 0x04030201, 0}, {48, 0x08070605, 0},   // magic, archive size
  };
  for (const auto& c : cases) {
    unsigned char h[FORMAT2_HEADER_SIZE];
    encodeFormat2Header(newFormat2Header(salt().data(), FORMAT2_ITERATIONS, 0), h);
    for (int i = 0; i < 4; ++i) h[c.at + i] = static_cast<unsigned char>(c.value >> (8 * i));
    Format2Header fields;
    ASSERT_EQ(parseFormat2Header(h, sizeof h, &fields), c.expected) << c.at << " " << c.value;
    if (c.at == 48) {
      EXPECT_EQ(fields.archiveSize, 0x0807060500000000ull);
    }
  }
  unsigned char h[FORMAT2_HEADER_SIZE];
  encodeFormat2Header(newFormat2Header(salt().data(), FORMAT2_ITERATIONS, 0), h);
  Format2Header fields;
  EXPECT_EQ(parseFormat2Header(h, sizeof h - 1, &fields), 81);  // one byte short
}

TEST(Format2, ChunkLayoutOfSizesBeyondWhatTheFileTestsWrite) {
  // (The file tests check sizes 0 to 200,000 through the containers' lengths.)
  const uint64_t n = (1ull << 40) + 5;
  EXPECT_EQ(format2LastChunk(n), 1ull << 24);
  EXPECT_EQ(format2ChunkLength(n, (1ull << 24) - 1), 65536u);
  EXPECT_EQ(format2ChunkLength(n, 1ull << 24), 5u);
  EXPECT_EQ(format2ChunkLength(n, (1ull << 24) + 1), 0u);
  uint64_t size = 0;
  EXPECT_TRUE(format2ContainerSize(n, &size));
  EXPECT_EQ(size, 84 + n + 16 * ((1ull << 24) + 1));
  EXPECT_FALSE(format2ContainerSize(UINT64_MAX - 84, &size));
}

TEST(Format2, ChunkAsTheToolSealsItOpensOnlyInItsPlaceUnderItsKey) {
  {
    Format2Keys keys = knownKeys(), other = knownKeys();
    other.encryption[5] ^= 1;
    Format2ChunkCipher cipher(keys.encryption), foreign(other.encryption);
    unsigned char plain[40], sealed[56];
    for (int i = 0; i < 40; ++i) plain[i] = static_cast<unsigned char>(i);
    ASSERT_TRUE(cipher.seal(3, true, plain, 40, sealed));  // index 3, the last
    EXPECT_EQ(hexOf(sealed, sizeof sealed),
              "c297669c621e02b0229cee1b8bc10198d6eda9adc0cbc2ef45710905dc2dd843e96a5d58ba73d557d286c5744b7211b3"
              "e51463337af3ff4d");
    const struct {
      Format2ChunkCipher* cipher;
      uint64_t index;
      bool last;
      int flip;  // byte to change, or -1
      int expected;
    } cases[] = {{&cipher, 3, true, -1, 0},  {&cipher, 2, true, -1, 81}, {&cipher, 3, false, -1, 81},
                 {&foreign, 3, true, -1, 81}, {&cipher, 3, true, 0, 81},  {&cipher, 3, true, 55, 81}};
    for (const auto& c : cases) {
      unsigned char input[56], out[40];
      memcpy(input, sealed, sizeof input);
      if (c.flip >= 0) input[c.flip] ^= 4;
      EXPECT_EQ(c.cipher->open(c.index, c.last, input, 40, out), c.expected) << c.index << c.last << c.flip;
      // Either the verified plaintext or nothing at all.
      EXPECT_EQ(hexOf(out, 40), c.expected == 0 ? hexOf(plain, 40) : std::string(80, '0'));
    }
    ASSERT_TRUE(cipher.seal(1, true, plain, 0, sealed));  // an empty last chunk: a tag alone
    EXPECT_EQ(cipher.open(1, true, sealed, 0, plain), 0);
    EXPECT_EQ(cipher.open(1, false, sealed, 0, plain), 81);
  }
}
