// AES-256-GCM of both engines against the library's GCM: every length around
// the four-block stride and the block, a whole chunk, the same buffer in and
// out; a changed byte, tag, nonce or key opens to nothing.
#include "manager/cipher/aes_gcm.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include <mbedtls/gcm.h>

#include "cipher_test_util.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes noise(size_t size, unsigned seed) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    out[i] = static_cast<unsigned char>(seed >> 23);
  }
  return out;
}

// The library's seal: ciphertext followed by the tag.
Bytes librarySeal(const Bytes& key, const Bytes& nonce, const Bytes& plain) {
  mbedtls_gcm_context gcm;
  mbedtls_gcm_init(&gcm);
  Bytes out(plain.size() + GCM_TAG_SIZE);
  EXPECT_EQ(mbedtls_gcm_setkey(&gcm, MBEDTLS_CIPHER_ID_AES, key.data(), 256), 0);
  EXPECT_EQ(mbedtls_gcm_crypt_and_tag(&gcm, MBEDTLS_GCM_ENCRYPT, plain.size(), nonce.data(), nonce.size(), nullptr, 0,
                                      plain.data(), out.data(), GCM_TAG_SIZE, out.data() + plain.size()),
            0);
  mbedtls_gcm_free(&gcm);
  return out;
}

const GcmEngine kEngines[] = {GCM_FASTEST, GCM_PORTABLE};

}  // namespace

TEST(AesGcm, BothEnginesSealAndOpenAsTheLibraryDoes) {
  if (!gcmProcessorSupport()) std::printf("no AES-NI/PCLMULQDQ here: the fastest engine is the portable one\n");
  const size_t lengths[] = {0, 1, 15, 16, 17, 47, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 65535, 65536};
  unsigned seed = 1;
  for (GcmEngine engine : kEngines) {
    for (size_t n : lengths) {
      SCOPED_TRACE(testing::Message() << "engine " << engine << ", " << n << " bytes");
      const Bytes key = noise(32, ++seed), nonce = noise(12, ++seed), plain = noise(n, ++seed);
      const Bytes expected = librarySeal(key, nonce, plain);
      GcmKey k;
      ASSERT_TRUE(gcmSetKey(&k, key.data(), engine));
      Bytes sealed(n + GCM_TAG_SIZE);
      gcmSeal(&k, nonce.data(), plain.data(), n, sealed.data(), sealed.data() + n);
      EXPECT_EQ(hexOf(sealed.data(), sealed.size()), hexOf(expected.data(), expected.size()));
      Bytes back(n + 1, 0xEE);
      ASSERT_TRUE(gcmOpen(&k, nonce.data(), sealed.data(), n, sealed.data() + n, back.data()));
      EXPECT_TRUE(memcmp(back.data(), plain.data(), n) == 0);
      EXPECT_EQ(back[n], 0xEE);  // not a byte beyond
      // One buffer for both sides.
      Bytes inPlace = plain;
      inPlace.resize(n + GCM_TAG_SIZE);
      gcmSeal(&k, nonce.data(), inPlace.data(), n, inPlace.data(), inPlace.data() + n);
      EXPECT_TRUE(inPlace == expected);
      ASSERT_TRUE(gcmOpen(&k, nonce.data(), inPlace.data(), n, inPlace.data() + n, inPlace.data()));
      EXPECT_TRUE(memcmp(inPlace.data(), plain.data(), n) == 0);
      gcmWipeKey(&k);
      EXPECT_EQ(hexOf(reinterpret_cast<unsigned char*>(&k), sizeof k), std::string(2 * sizeof k, '0'));
    }
  }
}

TEST(AesGcm, AnyChangeOpensToZerosOnly) {
  const Bytes key = noise(32, 7), nonce = noise(12, 8), plain = noise(200, 9);
  const Bytes sealed = librarySeal(key, nonce, plain);
  Bytes otherKey = key, otherNonce = nonce;
  otherKey[31] ^= 0x80;
  otherNonce[11] ^= 1;
  const struct {
    const char* what;
    const Bytes* key;
    const Bytes* nonce;
    int flip;  // byte of the sealed text to change, or -1
  } cases[] = {{"first byte", &key, &nonce, 0},     {"a byte of the last block", &key, &nonce, 199},
               {"the tag", &key, &nonce, 200 + 15}, {"the nonce", &key, &otherNonce, -1},
               {"the key", &otherKey, &nonce, -1}};
  for (GcmEngine engine : kEngines) {
    for (const auto& c : cases) {
      Bytes input = sealed;
      if (c.flip >= 0) input[c.flip] ^= 0x10;
      GcmKey k;
      ASSERT_TRUE(gcmSetKey(&k, c.key->data(), engine));
      Bytes out(200, 0xEE);
      EXPECT_FALSE(gcmOpen(&k, c.nonce->data(), input.data(), 200, input.data() + 200, out.data()))
          << c.what << ", engine " << engine;
      EXPECT_EQ(out, Bytes(200, 0)) << c.what << ", engine " << engine;
      gcmWipeKey(&k);
    }
  }
}
