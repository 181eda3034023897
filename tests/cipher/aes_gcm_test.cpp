// AES-256-GCM of both engines against the library's GCM at every length
// around the block and the four-block stride, and a whole chunk. (What a
// changed chunk, tag, nonce or key gives is checked on both engines through
// the chunk cipher, in container_format2_test.cpp.)
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
      gcmWipeKey(&k);
      EXPECT_EQ(hexOf(reinterpret_cast<unsigned char*>(&k), sizeof k), std::string(2 * sizeof k, '0'));
    }
  }
}
