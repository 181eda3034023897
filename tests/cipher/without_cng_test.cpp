// A system whose bcrypt.dll can't be loaded (this test runs with it switched
// off): nothing falls back to cryptography of its own, and every job stops
// before it writes a thing: no container can be prepared.
#include <gtest/gtest.h>
#include <windows.h>

#include "manager/cipher/container_stream.h"
#include "manager/cipher/primitives.h"
#include "manager/cipher/random_fill.h"
#include "manager/base/job_state.h"

TEST(WithoutCng, NeitherFormatCanBePrepared) {
  resetJobState();
  ASSERT_FALSE(cryptoAvailable());
  unsigned char bytes[16];
  EXPECT_FALSE(strongRandom(bytes, sizeof bytes));
  ContainerWriter first, second;
  EXPECT_EQ(first.prepare(CONTAINER_FORMAT_1, "secret", jobProgress), CONTAINER_NO_CIPHER);
  EXPECT_EQ(second.prepare(CONTAINER_FORMAT_2, "secret", jobProgress), CONTAINER_NO_RANDOM);
}
