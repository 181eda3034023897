// The second format's header, keys and chunks against published vectors and
// against values computed apart from the program (make_format2_vectors.py:
// Python's hashlib, hmac and the cryptography package's AES-GCM).
#include "manager/cipher/container_format2.h"

#include <gtest/gtest.h>
#include <string.h>

#include <mbedtls/md.h>
#include <mbedtls/pkcs5.h>

#include <string>
#include <vector>

#include "cipher_test_util.h"

namespace {

// The known answers of make_format2_vectors.py: password "パスワード表" in
// code page 932, salt A0..AF, 1000 iterations.
const char* const kPassword = "パスワード表";
const char* const kPasswordHex = "83708358838f815b8368955c";
const char* const kMasterHex = "6b2f4fd0e67f253e69890eb8bb736c806f24fd365e529579597337f86a765a3a";
const char* const kEncHex = "04fc029855240ac0e6868a4ff8631da243ce6b56207a10f9d5699b5ddc4b8893";
const char* const kMacHex = "fb174f3fb66f99ac3ad61666fe2355b63b239edbb8ac7815122fc669591333b7";
const char* const kHeader70000Hex =
    "4b59564f4d415220435259505420320a01000000e8030000a0a1a2a3a4a5a6a7a8a9aaabacadaeaf0000010070110100"
    "00000000dc3a5c242f3d79d4ddcffadda1a3f948ea9bdc88009d60b8ed35f01fcfb585ab";
// 40 bytes i % 251 as chunk 3, flagged last and not.
const char* const kChunk3LastHex =
    "c297669c621e02b0229cee1b8bc10198d6eda9adc0cbc2ef45710905dc2dd843e96a5d58ba73d557d286c5744b7211b3"
    "e51463337af3ff4d";
const char* const kChunk3NotLastHex =
    "8b8d2af7ede46197ecd6d5bcffc355eeef34a11f9e9185d0d43111425e6b794857440a8786c55a2ba05c488de61dee83"
    "b4aea23810ea480e";
const uint32_t kIterations = 1000;

std::vector<unsigned char> salt() { return fromHex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf"); }

std::vector<unsigned char> pattern(size_t size) {
  std::vector<unsigned char> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(i % 251);
  return out;
}

Format2Keys knownKeys() {
  Format2Keys keys;
  memcpy(keys.encryption, fromHex(kEncHex).data(), FORMAT2_KEY_SIZE);
  memcpy(keys.mac, fromHex(kMacHex).data(), FORMAT2_KEY_SIZE);
  return keys;
}

void put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::vector<unsigned char> knownHeader() { return fromHex(kHeader70000Hex); }

}  // namespace

TEST(Format2Header, MagicIsTheTextAndOneLineFeed) {
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(format2Magic), FORMAT2_MAGIC_SIZE), "KYVOMAR CRYPT 2\n");
  std::vector<unsigned char> h = knownHeader();
  EXPECT_TRUE(hasFormat2Magic(h.data(), h.size()));
  EXPECT_TRUE(hasFormat2Magic(h.data(), FORMAT2_MAGIC_SIZE));
  EXPECT_FALSE(hasFormat2Magic(h.data(), FORMAT2_MAGIC_SIZE - 1));
  for (size_t at = 0; at < FORMAT2_MAGIC_SIZE; ++at) {
    std::vector<unsigned char> changed = h;
    changed[at] ^= 0x20;
    EXPECT_FALSE(hasFormat2Magic(changed.data(), changed.size())) << at;
  }
}

TEST(Format2Header, EncodedAndSealedAsTheIndependentWriterDoes) {
  unsigned char out[FORMAT2_HEADER_SIZE];
  encodeFormat2Header(newFormat2Header(salt().data(), kIterations, 70000), out);
  Format2Keys keys = knownKeys();
  sealFormat2Header(out, keys);
  EXPECT_EQ(hexOf(out, sizeof out), kHeader70000Hex);
  EXPECT_EQ(verifyFormat2Header(out, keys), FORMAT2_OK);
}

TEST(Format2Header, ParseGivesBackEveryField) {
  Format2Header fields = newFormat2Header(salt().data(), FORMAT2_ITERATIONS_MAX, UINT64_MAX);
  for (size_t i = 0; i < sizeof fields.mac; ++i) fields.mac[i] = static_cast<unsigned char>(0xC0 + i);
  unsigned char bytes[FORMAT2_HEADER_SIZE + 1];
  encodeFormat2Header(fields, bytes);
  bytes[FORMAT2_HEADER_SIZE] = 0xEE;  // whatever follows is not read
  Format2Header parsed;
  memset(&parsed, 0x5A, sizeof parsed);
  ASSERT_EQ(parseFormat2Header(bytes, sizeof bytes, &parsed), FORMAT2_OK);
  EXPECT_EQ(parsed.derivation, 1u);
  EXPECT_EQ(parsed.iterations, FORMAT2_ITERATIONS_MAX);
  EXPECT_EQ(0, memcmp(parsed.salt, salt().data(), FORMAT2_SALT_SIZE));
  EXPECT_EQ(parsed.chunkSize, 65536u);
  EXPECT_EQ(parsed.archiveSize, UINT64_MAX);
  EXPECT_EQ(0, memcmp(parsed.mac, fields.mac, sizeof fields.mac));
  EXPECT_EQ(newFormat2Header(salt().data(), FORMAT2_ITERATIONS, 0).iterations, 600000u);
}

TEST(Format2Header, FieldsNoWriterMakesAreDamageBeforeTheMac) {
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    int expected;
  };
  const Case cases[] = {
      {"derivation 0", 16, 0, FORMAT2_DAMAGED},
      {"derivation 2", 16, 2, FORMAT2_DAMAGED},
      {"derivation 1 in the high byte", 16, 0x01000000, FORMAT2_DAMAGED},
      {"iterations 0", 20, 0, FORMAT2_DAMAGED},
      {"iterations 99,999", 20, 99999, FORMAT2_DAMAGED},
      {"iterations 100,000", 20, 100000, FORMAT2_OK},
      {"iterations 600,000", 20, 600000, FORMAT2_OK},
      {"iterations 100,000,000", 20, 100000000, FORMAT2_OK},
      {"iterations 100,000,001", 20, 100000001, FORMAT2_DAMAGED},
      {"iterations 2^32 - 1", 20, 0xFFFFFFFF, FORMAT2_DAMAGED},
      {"chunk size 0", 40, 0, FORMAT2_DAMAGED},
      {"chunk size 32,768", 40, 32768, FORMAT2_DAMAGED},
      {"chunk size 65,535", 40, 65535, FORMAT2_DAMAGED},
      {"chunk size 65,537", 40, 65537, FORMAT2_DAMAGED},
      {"chunk size 131,072", 40, 131072, FORMAT2_DAMAGED},
      {"archive size low half, any value", 44, 0xFFFFFFFF, FORMAT2_OK},
      {"archive size high half, any value", 48, 0xFFFFFFFF, FORMAT2_OK},
  };
  // (The known header's 1000 iterations are themselves below what readers take.)
  std::vector<unsigned char> valid(FORMAT2_HEADER_SIZE);
  encodeFormat2Header(newFormat2Header(salt().data(), FORMAT2_ITERATIONS, 70000), valid.data());
  for (const Case& c : cases) {
    std::vector<unsigned char> h = valid;
    put32(&h[c.at], c.value);
    Format2Header parsed;
    EXPECT_EQ(parseFormat2Header(h.data(), h.size(), &parsed), c.expected) << c.what;
  }
  std::vector<unsigned char> h = valid;
  Format2Header parsed;
  EXPECT_EQ(parseFormat2Header(h.data(), h.size(), &parsed), FORMAT2_OK);
  h = knownHeader();
  EXPECT_EQ(parseFormat2Header(h.data(), h.size(), &parsed), FORMAT2_DAMAGED);
  h = valid;
  EXPECT_EQ(parseFormat2Header(h.data(), FORMAT2_HEADER_SIZE - 1, &parsed), FORMAT2_DAMAGED);
  EXPECT_EQ(parseFormat2Header(h.data(), 0, &parsed), FORMAT2_DAMAGED);
  h[15] = 0x0D;  // "\r" instead of "\n"
  EXPECT_EQ(parseFormat2Header(h.data(), h.size(), &parsed), FORMAT2_DAMAGED);
}

TEST(Format2Keys, HmacMatchesRfc4231) {
  struct Case {
    std::string key, data;
    const char* mac;
  };
  const Case cases[] = {
      {std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      // A key longer than the block is hashed first.
      {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
  };
  for (const Case& c : cases) {
    unsigned char mac[32];
    hmacSha256(reinterpret_cast<const unsigned char*>(c.key.data()), c.key.size(),
               reinterpret_cast<const unsigned char*>(c.data.data()), c.data.size(), mac);
    EXPECT_EQ(hexOf(mac, sizeof mac), c.mac) << c.data;
  }
}

TEST(Format2Keys, Pbkdf2MatchesRfc7914) {
  struct Case {
    const char *password, *salt;
    uint32_t iterations;
    const char* key;
  };
  const Case cases[] = {
      {"passwd", "salt", 1,
       "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
       "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
      {"Password", "NaCl", 80000,
       "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
       "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
  };
  for (const Case& c : cases) {
    unsigned char key[64];
    pbkdf2HmacSha256(reinterpret_cast<const unsigned char*>(c.password), strlen(c.password),
                     reinterpret_cast<const unsigned char*>(c.salt), strlen(c.salt), c.iterations, key, sizeof key);
    EXPECT_EQ(hexOf(key, sizeof key), c.key) << c.password;
  }
}

TEST(Format2Keys, Pbkdf2AgreesWithTheLibraryAcrossKeyAndOutputLengths) {
  mbedtls_md_context_t md;
  mbedtls_md_init(&md);
  ASSERT_EQ(mbedtls_md_setup(&md, mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), 1), 0);
  std::vector<unsigned char> password = pattern(200), saltBytes = pattern(40);
  for (size_t passwordLength : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{200}}) {
    for (size_t outLength : {size_t{1}, size_t{32}, size_t{33}, size_t{64}, size_t{100}}) {
      unsigned char ours[100], library[100];
      pbkdf2HmacSha256(password.data(), passwordLength, saltBytes.data(), saltBytes.size(), 3, ours, outLength);
      ASSERT_EQ(mbedtls_pkcs5_pbkdf2_hmac(&md, password.data(), passwordLength, saltBytes.data(), saltBytes.size(),
                                          3, static_cast<uint32_t>(outLength), library),
                0);
      EXPECT_EQ(hexOf(ours, outLength), hexOf(library, outLength)) << passwordLength << " " << outLength;
    }
  }
  mbedtls_md_free(&md);
}

TEST(Format2Keys, DerivedFromTheShiftJisBytesAsTypedAndWiped) {
  EXPECT_EQ(hexOf(reinterpret_cast<const unsigned char*>(kPassword), strlen(kPassword)), kPasswordHex);
  unsigned char master[32];
  pbkdf2HmacSha256(reinterpret_cast<const unsigned char*>(kPassword), strlen(kPassword), salt().data(),
                   FORMAT2_SALT_SIZE, kIterations, master, sizeof master);
  EXPECT_EQ(hexOf(master, sizeof master), kMasterHex);
  Format2Keys keys;
  deriveFormat2Keys(kPassword, salt().data(), kIterations, &keys);
  EXPECT_EQ(hexOf(keys.encryption, FORMAT2_KEY_SIZE), kEncHex);
  EXPECT_EQ(hexOf(keys.mac, FORMAT2_KEY_SIZE), kMacHex);
  wipeFormat2Keys(&keys);
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&keys);
  for (size_t i = 0; i < sizeof keys; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

TEST(Format2HeaderMac, CoversEveryByteAndTheKey) {
  std::vector<unsigned char> h = knownHeader();
  Format2Keys keys = knownKeys();
  ASSERT_EQ(verifyFormat2Header(h.data(), keys), FORMAT2_OK);
  for (size_t at = 0; at < FORMAT2_HEADER_SIZE; ++at) {
    std::vector<unsigned char> changed = h;
    changed[at] ^= 0x01;
    EXPECT_EQ(verifyFormat2Header(changed.data(), keys), FORMAT2_BAD_HEADER) << at;
  }
  Format2Keys other = keys;
  other.mac[31] ^= 0x80;
  EXPECT_EQ(verifyFormat2Header(h.data(), other), FORMAT2_BAD_HEADER);
  // The encryption key plays no part in the header.
  other = keys;
  other.encryption[0] ^= 1;
  EXPECT_EQ(verifyFormat2Header(h.data(), other), FORMAT2_OK);
}

TEST(Format2Chunks, LastChunkIsTheRemainderAndEmptyWhenTheSizeDividesEvenly) {
  struct Case {
    uint64_t n;
    uint64_t last;
    size_t lastLength;
    uint64_t containerSize;
  };
  const Case cases[] = {
      {0, 0, 0, 84 + 16},
      {1, 0, 1, 84 + 1 + 16},
      {65535, 0, 65535, 84 + 65535 + 16},
      {65536, 1, 0, 84 + 65536 + 32},
      {65537, 1, 1, 84 + 65537 + 32},
      {70000, 1, 70000 - 65536, 70116},
      {131072, 2, 0, 84 + 131072 + 48},
      {(1ull << 40) + 5, 1ull << 24, 5, 84 + (1ull << 40) + 5 + 16 * ((1ull << 24) + 1)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format2LastChunk(c.n), c.last) << c.n;
    if (c.last > 0) {
      EXPECT_EQ(format2ChunkLength(c.n, c.last - 1), size_t{65536}) << c.n;
    }
    EXPECT_EQ(format2ChunkLength(c.n, c.last), c.lastLength) << c.n;
    EXPECT_EQ(format2ChunkLength(c.n, c.last + 1), size_t{0}) << c.n;
    uint64_t size = 0;
    EXPECT_TRUE(format2ContainerSize(c.n, &size));
    EXPECT_EQ(size, c.containerSize) << c.n;
  }
  uint64_t size = 0;
  EXPECT_FALSE(format2ContainerSize(UINT64_MAX, &size));
  EXPECT_FALSE(format2ContainerSize(UINT64_MAX - 84, &size));
}

TEST(Format2Chunks, NonceIsTheIndexThenTheLastFlag) {
  unsigned char nonce[FORMAT2_NONCE_SIZE];
  format2ChunkNonce(0x0102030405060708ull, true, nonce);
  EXPECT_EQ(hexOf(nonce, sizeof nonce), "080706050403020101000000");
  format2ChunkNonce(0, false, nonce);
  EXPECT_EQ(hexOf(nonce, sizeof nonce), "000000000000000000000000");
}

TEST(Format2Chunks, SealedAsTheIndependentGcmSealsThem) {
  Format2Keys keys = knownKeys();
  Format2ChunkCipher cipher(keys.encryption);
  ASSERT_TRUE(cipher.ok());
  std::vector<unsigned char> plain = pattern(40), sealed(40 + FORMAT2_TAG_SIZE), back(40);
  ASSERT_TRUE(cipher.seal(3, true, plain.data(), plain.size(), sealed.data()));
  EXPECT_EQ(hexOf(sealed.data(), sealed.size()), kChunk3LastHex);
  ASSERT_EQ(cipher.open(3, true, sealed.data(), 40, back.data()), FORMAT2_OK);
  EXPECT_EQ(back, plain);
  ASSERT_TRUE(cipher.seal(3, false, plain.data(), plain.size(), sealed.data()));
  EXPECT_EQ(hexOf(sealed.data(), sealed.size()), kChunk3NotLastHex);
}

TEST(Format2Chunks, OpenRefusesAnyOtherPlaceKeyOrByteAndGivesNoPlaintext) {
  Format2Keys keys = knownKeys();
  Format2ChunkCipher cipher(keys.encryption);
  std::vector<unsigned char> sealed = fromHex(kChunk3LastHex);
  Format2Keys otherKeys = keys;
  otherKeys.encryption[5] ^= 1;
  Format2ChunkCipher otherCipher(otherKeys.encryption);
  struct Case {
    const char* what;
    Format2ChunkCipher* cipher;
    uint64_t index;
    bool last;
    int flip;  // byte of the sealed chunk to change, or -1
    int expected;
  };
  const Case cases[] = {
      {"as sealed", &cipher, 3, true, -1, FORMAT2_OK},
      {"an earlier index", &cipher, 2, true, -1, FORMAT2_DAMAGED},
      {"a later index", &cipher, 4, true, -1, FORMAT2_DAMAGED},
      {"not flagged last", &cipher, 3, false, -1, FORMAT2_DAMAGED},
      {"another key", &otherCipher, 3, true, -1, FORMAT2_DAMAGED},
      {"first ciphertext byte", &cipher, 3, true, 0, FORMAT2_DAMAGED},
      {"last ciphertext byte", &cipher, 3, true, 39, FORMAT2_DAMAGED},
      {"first tag byte", &cipher, 3, true, 40, FORMAT2_DAMAGED},
      {"last tag byte", &cipher, 3, true, 55, FORMAT2_DAMAGED},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> input = sealed, plain(40, 0xEE);
    if (c.flip >= 0) input[c.flip] ^= 0x04;
    EXPECT_EQ(c.cipher->open(c.index, c.last, input.data(), 40, plain.data()), c.expected) << c.what;
    // Either the verified plaintext or nothing at all.
    EXPECT_EQ(plain, c.expected == FORMAT2_OK ? pattern(40) : std::vector<unsigned char>(40, 0)) << c.what;
  }
}

TEST(Format2Chunks, AnEmptyLastChunkIsATagThatBindsItsIndexAndFlag) {
  Format2Keys keys = knownKeys();
  Format2ChunkCipher cipher(keys.encryption);
  unsigned char tag[FORMAT2_TAG_SIZE], none[1] = {0};
  ASSERT_TRUE(cipher.seal(1, true, none, 0, tag));
  EXPECT_EQ(cipher.open(1, true, tag, 0, none), FORMAT2_OK);
  EXPECT_EQ(cipher.open(1, false, tag, 0, none), FORMAT2_DAMAGED);
  EXPECT_EQ(cipher.open(0, true, tag, 0, none), FORMAT2_DAMAGED);
}
