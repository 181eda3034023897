// A system whose bcrypt.dll can't be loaded (this test runs with it switched
// off): nothing falls back to cryptography of its own, and every job stops
// before it writes a thing.
#include <gtest/gtest.h>
#include <windows.h>

#include "manager/cipher/container_stream.h"
#include "manager/cipher/crypt_stream.h"
#include "manager/cipher/primitives.h"
#include "manager/cipher/random_fill.h"
#include "manager/startup/job_state.h"
#include "support/narrow_paths.h"
#include "support/test_files.h"

TEST(WithoutCng, NeitherFormatIsWrittenAndTheEngineCreatesNoFile) {
  resetJobState();
  ASSERT_FALSE(cryptoAvailable());
  unsigned char bytes[16];
  EXPECT_FALSE(strongRandom(bytes, sizeof bytes));
  ContainerWriter first, second;
  EXPECT_EQ(first.prepare(CONTAINER_FORMAT_1, "secret", jobProgress), CONTAINER_NO_CIPHER);
  EXPECT_EQ(second.prepare(CONTAINER_FORMAT_2, "secret", jobProgress), CONTAINER_NO_RANDOM);

  TempDir dir;
  writeFile(dir / "plain.bin", "plain text");
  std::wstring source = W(dir / "plain.bin"), dest = W(dir / "enc.bin");
  EntryPrm prm;
  resetEntryPrm(&prm);
  prm.progress = &jobProgress;
  prm.sourceKind = SRC_FILE;
  prm.sourcePath = source.c_str();
  prm.destKind = DST_NEW_FILE;
  prm.destPath = dest.c_str();
  prm.passwordText = "secret";
  prm.chunkSize = 1024;
  EXPECT_FALSE(cryptStream(&prm));
  EXPECT_EQ(prm.resultCode, STREAM_NO_CIPHER);
  EXPECT_EQ(GetFileAttributesW(dest.c_str()), INVALID_FILE_ATTRIBUTES);
}
