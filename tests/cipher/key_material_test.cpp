// Password digest, key, StatLoc and the CBC loops against published vectors.
#include "manager/cipher/key_material.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "cipher_test_util.h"

namespace {

std::string digestHex(const char* password) {
  unsigned char d[SHA2SUM_SIZE];
  passwordDigest(password, d);
  return hexOf(d, sizeof d);
}

// SP 800-38A, F.2.5 and F.2.6 (CBC-AES256).
const char* const kNistKey = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
const char* const kNistIv = "000102030405060708090a0b0c0d0e0f";
const char* const kNistPlain =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char* const kNistCipher =
    "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
    "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b";

struct NistKey {
  CipherKey key;
  NistKey() { keyFromDigest(fromHex(kNistKey).data(), &key); }
  ~NistKey() { wipeKey(&key); }
};

}  // namespace

TEST(PasswordDigest, AsciiAndShiftJisPasswordsHashTheirBytesWithoutTerminator) {
  EXPECT_EQ(digestHex("password"), "5e884898da28047151d0e56f8dc6292773603d0d6aabbdd62a11ef721d1542d8");
  // Shift-JIS bytes, three of them with a 0x5C trail byte (表, ソ, 能).
  const char* sjis = "パスワード表ソ能";
  EXPECT_EQ(hexOf(reinterpret_cast<const unsigned char*>(sjis), strlen(sjis)),
            "83708358838f815b8368955c835c945c");
  EXPECT_EQ(digestHex(sjis), "219fcea84e4e76c38d0fffd64088a670d91afa3dc788573d7e356f96a9b31277");
  EXPECT_EQ(digestHex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(PasswordDigest, DeriveKeyKeepsTheDigestAsTheKeyAndWipeClearsIt) {
  CipherKey key;
  ASSERT_TRUE(deriveKey("password", &key));
  EXPECT_EQ(hexOf(key.sha2sum, SHA2SUM_SIZE), digestHex("password"));
  EXPECT_NE(key.aes.object, nullptr);
  wipeKey(&key);
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&key);
  for (size_t i = 0; i < sizeof key; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

TEST(PasswordDigest, OnlyAMissingOrOverlongPasswordIsRefused) {
  EXPECT_FALSE(passwordAcceptable(nullptr));
  EXPECT_TRUE(passwordAcceptable(""));
  std::string p(1025, 'x');
  EXPECT_TRUE(passwordAcceptable(p.c_str()));
  p += 'y';
  EXPECT_FALSE(passwordAcceptable(p.c_str()));
}

TEST(StatLoc, LowTenBitsOfTheFirstTwoDigestBytes) {
  unsigned char d[SHA2SUM_SIZE] = {};
  d[0] = 0x34;
  d[1] = 0x12;
  EXPECT_EQ(statLocOf(d), 564);
  d[0] = 0xFE;
  d[1] = 0x07;
  EXPECT_EQ(statLocOf(d), 1018);
  for (int v = 1019; v <= 1023; ++v) {
    d[0] = static_cast<unsigned char>(v & 0xFF);
    d[1] = static_cast<unsigned char>(0xFC | (v >> 8));  // high bits above bit 9 are ignored
    EXPECT_EQ(statLocOf(d), 1018) << v;
  }
  d[0] = 0xFA;
  d[1] = 0x03;
  EXPECT_EQ(statLocOf(d), 1018);
  d[0] = 0xF9;
  EXPECT_EQ(statLocOf(d), 1017);
  d[0] = 0;
  d[1] = 0x04;
  EXPECT_EQ(statLocOf(d), 0);
}

TEST(StatLoc, DependsOnThePasswordAlone) {
  unsigned char d[SHA2SUM_SIZE];
  passwordDigest("kyvo697", d);
  EXPECT_EQ(statLocOf(d), 1018);
  passwordDigest("kyvo263", d);  // low ten bits 1023
  EXPECT_EQ(statLocOf(d), 1018);
  passwordDigest("kyvo2519", d);  // low ten bits 1019
  EXPECT_EQ(statLocOf(d), 1018);
  passwordDigest("kyvo716", d);
  EXPECT_EQ(statLocOf(d), 1017);
  passwordDigest("password", d);
  EXPECT_EQ(statLocOf(d), 94);
}

TEST(CbcLoops, EncryptMatchesTheNistVectorAcrossSplitCalls) {
  NistKey k;
  std::vector<unsigned char> plain = fromHex(kNistPlain), out(plain.size());
  // One call for the first block, one for the next two, one for the last:
  // the IV carries the chain.
  std::vector<unsigned char> iv = fromHex(kNistIv);
  cbcEncrypt(&k.key, iv.data(), plain.data(), out.data(), 16);
  cbcEncrypt(&k.key, iv.data(), plain.data() + 16, out.data() + 16, 32);
  cbcEncrypt(&k.key, iv.data(), plain.data() + 48, out.data() + 48, 16);
  EXPECT_EQ(hexOf(out.data(), out.size()), kNistCipher);
  EXPECT_EQ(hexOf(iv.data(), 16), std::string(kNistCipher + 96));  // the last ciphertext block
  // All in one call gives the same.
  iv = fromHex(kNistIv);
  std::vector<unsigned char> whole(plain.size());
  cbcEncrypt(&k.key, iv.data(), plain.data(), whole.data(), plain.size());
  EXPECT_EQ(whole, out);
  // And in place, as the spill file's pieces are enciphered.
  iv = fromHex(kNistIv);
  ASSERT_TRUE(cbcEncrypt(&k.key, iv.data(), plain.data(), plain.data(), plain.size()));
  EXPECT_EQ(plain, out);
}

TEST(CbcLoops, DecryptMatchesTheNistVectorAcrossSplitCalls) {
  NistKey k;
  std::vector<unsigned char> cipher = fromHex(kNistCipher), out(cipher.size());
  std::vector<unsigned char> iv = fromHex(kNistIv);
  cbcDecrypt(&k.key, iv.data(), cipher.data(), out.data(), 32);
  cbcDecrypt(&k.key, iv.data(), cipher.data() + 32, out.data() + 32, 16);
  cbcDecrypt(&k.key, iv.data(), cipher.data() + 48, out.data() + 48, 16);
  EXPECT_EQ(hexOf(out.data(), out.size()), kNistPlain);
}

TEST(CbcLoops, DecryptOfAPartialCountTurnsAWholeBlock) {
  NistKey k;
  std::vector<unsigned char> cipher = fromHex(kNistCipher), out(cipher.size(), 0xEE);
  std::vector<unsigned char> iv = fromHex(kNistIv);
  cbcDecrypt(&k.key, iv.data(), cipher.data(), out.data(), 21);  // two blocks
  EXPECT_EQ(hexOf(out.data(), 32), std::string(kNistPlain, 64));
  EXPECT_EQ(out[32], 0xEE);
  EXPECT_EQ(hexOf(iv.data(), 16), std::string(kNistCipher + 32, 32));
}

TEST(ChunkCipher, EncryptPadsWithZeroBytesNotWithOldBufferContents) {
  CipherKey key;
  deriveKey("password", &key);
  unsigned char data[48], out[48], iv[16] = {};
  memset(data, 0xAB, sizeof data);  // an earlier chunk's plaintext
  data[0] = 'x';
  size_t produced = 0;
  EXPECT_TRUE(encryptChunk(&key, iv, data, 1, out, &produced));
  EXPECT_EQ(produced, 16u);
  unsigned char back[16], iv2[16] = {};
  EXPECT_TRUE(decryptChunk(&key, iv2, out, 1, back, &produced));
  EXPECT_EQ(produced, 1u);
  EXPECT_EQ(back[0], 'x');
  for (int i = 1; i < 16; ++i) EXPECT_EQ(back[i], 0) << i;
  EXPECT_EQ(data[16], 0xAB);  // nothing past the rounded end is touched
  unsigned char none[16];
  EXPECT_TRUE(encryptChunk(&key, iv, data, 0, none, &produced));
  EXPECT_EQ(produced, 0u);
  EXPECT_TRUE(encryptChunk(&key, iv, data, 32, out, &produced));
  EXPECT_EQ(produced, 32u);
  wipeKey(&key);
}

TEST(ChunkCipher, TheSameKeyGivesTheSameStreamEveryTime) {
  CipherKey a, b;
  deriveKey("パスワード表", &a);
  deriveKey("パスワード表", &b);
  unsigned char data[64], x[64], y[64], iva[16] = {}, ivb[16] = {};
  for (int i = 0; i < 64; ++i) data[i] = static_cast<unsigned char>(i);
  cbcEncrypt(&a, iva, data, x, 64);
  cbcEncrypt(&b, ivb, data, y, 64);
  EXPECT_EQ(0, memcmp(x, y, 64));
  wipeKey(&a);
  wipeKey(&b);
}
