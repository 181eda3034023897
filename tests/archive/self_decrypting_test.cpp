// Assembling and splitting self-decrypting files on real files.
#include <gtest/gtest.h>

#include "manager/archive/payload_trailer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/startup/job_state.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/narrow_paths.h"

namespace {

std::string trailerFor(uint64_t len) {
  unsigned char t[PAYLOAD_TRAILER_SIZE];
  encodePayloadTrailer(len, t);
  return std::string(reinterpret_cast<char*>(t), sizeof t);
}

class SelfDecrypting : public ::testing::Test {
 protected:
  void SetUp() override { resetJobState(); }
  TempDir dir;
};

TEST_F(SelfDecrypting, AssembledFileIsImageContainerAndTrailer) {
  std::string program = patternBytes(100000, 1), container = patternBytes(70000, 2);
  writeFile(dir / "prog.exe", program);
  writeFile(dir / "c.enc", container);
  std::string out = dir / "表.crpt.exe";
  ASSERT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "prog.exe").c_str(), (dir / "c.enc").c_str()), 0);
  EXPECT_EQ(readFile(out), program + container + trailerFor(container.size()));
  EXPECT_EQ(listFolder(dir.path()).size(), 3u);  // no temporary file left
  EXPECT_EQ(A(jobState.statusText), "最終出力中です");
  EXPECT_EQ(progressLoad(&jobState.progressDone), 70000);
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 70000);

  ASSERT_EQ(SplitSelfMeltFile(out.c_str(), nullptr), 0);
  std::string payload = dir / "payload.bin";
  ASSERT_EQ(SplitSelfMeltFile(out.c_str(), payload.c_str()), 0);
  EXPECT_EQ(readFile(payload), container);
  EXPECT_EQ(A(jobState.statusText), "書庫化ファイルを分離中です");
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 70000);
}

TEST_F(SelfDecrypting, EmptyContainerGivesImagePlusTrailerAndAnEmptyPayload) {
  writeFile(dir / "prog.exe", "MZ");
  writeFile(dir / "c.enc", "");
  std::string out = dir / "r.exe";
  ASSERT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "prog.exe").c_str(), (dir / "c.enc").c_str()), 0);
  EXPECT_EQ(fileSizeOf(out), 2 + 12);
  std::string payload = dir / "p.bin";
  writeFile(payload, "old content");
  EXPECT_EQ(SplitSelfMeltFile(out.c_str(), payload.c_str()), 0);
  EXPECT_EQ(fileSizeOf(payload), 0);
}

TEST_F(SelfDecrypting, ProbeResultsForShortZeroAndDamagedFiles) {
  writeFile(dir / "short", std::string(11, 'x'));
  EXPECT_EQ(SplitSelfMeltFile((dir / "short").c_str(), nullptr), 3);
  writeFile(dir / "zeros", std::string(12, '\0'));
  EXPECT_EQ(SplitSelfMeltFile((dir / "zeros").c_str(), nullptr), 999);
  writeFile(dir / "toolong", "abc" + trailerFor(4));
  EXPECT_EQ(SplitSelfMeltFile((dir / "toolong").c_str(), nullptr), 3);
  writeFile(dir / "exact", "abcd" + trailerFor(4));
  EXPECT_EQ(SplitSelfMeltFile((dir / "exact").c_str(), nullptr), 0);
  // Marker bytes in the wrong order are no marker.
  std::string wrong = "abcd" + trailerFor(4);
  std::swap(wrong[wrong.size() - 1], wrong[wrong.size() - 4]);
  writeFile(dir / "wrong", wrong);
  EXPECT_EQ(SplitSelfMeltFile((dir / "wrong").c_str(), nullptr), 999);
  EXPECT_EQ(SplitSelfMeltFile((dir / "missing").c_str(), nullptr), 2);
  EXPECT_EQ(SplitSelfMeltFile(dir.path().c_str(), nullptr), 2);  // a folder
}

TEST_F(SelfDecrypting, PathsOf520BytesAreRefusedUnopened) {
  std::string p519 = "C:\\" + std::string(516, 'a');
  ASSERT_EQ(p519.size(), 519u);
  EXPECT_EQ(SplitSelfMeltFile(p519.c_str(), nullptr), 2);  // handed to the file system, not found
  std::string p520 = p519 + "b";
  EXPECT_EQ(SplitSelfMeltFile(p520.c_str(), nullptr), 2);
}

TEST_F(SelfDecrypting, SplitReturnsOnlyTheLastPayloadOfANestedFile) {
  std::string inner = "IMAGE" + std::string("old-payload") + trailerFor(11);
  std::string outer = inner + "new" + trailerFor(3);
  writeFile(dir / "nested.exe", outer);
  std::string payload = dir / "p.bin";
  ASSERT_EQ(SplitSelfMeltFile((dir / "nested.exe").c_str(), payload.c_str()), 0);
  EXPECT_EQ(readFile(payload), "new");
}

TEST_F(SelfDecrypting, ANewResultNeverCarriesThePayloadOfItsProgram) {
  // A self-decrypting file used as the program: its old payload stays out.
  std::string image = patternBytes(5000, 3);
  std::string program = image + "first" + trailerFor(5) + "second" + trailerFor(6);
  writeFile(dir / "prog.exe", program);
  writeFile(dir / "c.enc", "fresh");
  std::string out = dir / "out.exe";
  ASSERT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "prog.exe").c_str(), (dir / "c.enc").c_str()), 0);
  EXPECT_EQ(readFile(out), image + "fresh" + trailerFor(5));
}

// Only trailers that lead back to the end of the program's image (here this
// test program's own) make a result; alone, or against the program itself.
TEST_F(SelfDecrypting, AResultIsTheImageAndTrailersLeadingBackToIt) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::string image = readFile(A(self)), result = image + "payload" + trailerFor(7), other = image;
  other[other.size() / 2] ^= 1;
  const struct {
    std::string file;
    ResultFileKind alone, named;
  } cases[] = {{image, RESULT_FILE_BARE, RESULT_FILE_BARE},
               {image + "old" + trailerFor(3) + "payload" + trailerFor(7), RESULT_FILE_INTACT, RESULT_FILE_INTACT},
               {result + trailerFor(7), RESULT_FILE_DAMAGED, RESULT_FILE_DAMAGED},  // past the image's end
               {image + "-payload" + trailerFor(7), RESULT_FILE_DAMAGED, RESULT_FILE_DAMAGED},
               {other + "appended", RESULT_FILE_DAMAGED, RESULT_FILE_OTHER}};  // another program
  for (const auto& c : cases) {
    writeFile(dir / "f.exe", c.file);
    EXPECT_EQ(probeResultFile(W(dir / "f.exe").c_str()), c.alone) << &c - cases;
    EXPECT_EQ(probeResultFile(W(dir / "f.exe").c_str(), self), c.named) << &c - cases;
  }
  // A program with bytes after its image makes results without them.
  writeFile(dir / "prog.exe", image + "junk");
  writeFile(dir / "c.enc", "fresh");
  ASSERT_EQ(assembleSelfDecryptingFile((dir / "r.exe").c_str(), (dir / "prog.exe").c_str(), (dir / "c.enc").c_str()), 0);
  EXPECT_EQ(readFile(dir / "r.exe"), image + "fresh" + trailerFor(5));
}

TEST_F(SelfDecrypting, StopDuringAssemblyLeavesNoOutputAndKeepsTheOldFile) {
  writeFile(dir / "prog.exe", patternBytes(100000, 4));
  writeFile(dir / "c.enc", patternBytes(1000, 5));
  std::string out = dir / "out.exe";
  writeFile(out, "previous result");
  jobState.stopCode = 999;
  EXPECT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "prog.exe").c_str(), (dir / "c.enc").c_str()), 99);
  EXPECT_EQ(readFile(out), "previous result");
  EXPECT_EQ(listFolder(dir.path()).size(), 3u);
  // A stop seen after the last block of the split still stops it.
  std::string withPayload = "IMG" + std::string("pp") + trailerFor(2);
  writeFile(dir / "r2.exe", withPayload);
  EXPECT_EQ(SplitSelfMeltFile((dir / "r2.exe").c_str(), (dir / "p").c_str()), 99);
}

TEST_F(SelfDecrypting, MissingInputsAndUnwritableOutput) {
  writeFile(dir / "c.enc", "x");
  std::string out = dir / "o.exe";
  EXPECT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "none.exe").c_str(), (dir / "c.enc").c_str()), 35);
  EXPECT_FALSE(fileExists(out));
  writeFile(dir / "p.exe", "MZ");
  EXPECT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "p.exe").c_str(), (dir / "none.enc").c_str()), 35);
  EXPECT_FALSE(fileExists(out));
  std::string noFolder = dir / "no\\such\\folder\\o.exe";
  EXPECT_EQ(assembleSelfDecryptingFile(noFolder.c_str(), (dir / "p.exe").c_str(), (dir / "c.enc").c_str()), 32);
  std::string payload = dir / "no\\such\\p.bin";
  writeFile(dir / "r.exe", "ab" + trailerFor(2));
  EXPECT_EQ(SplitSelfMeltFile((dir / "r.exe").c_str(), payload.c_str()), 5);
}

TEST_F(SelfDecrypting, FullDiskGives46AndLeavesNoOutput) {
  TmpfsMount disk("128k");
  KYVO_REQUIRE_MOUNT(disk);
  writeFile(dir / "prog.exe", patternBytes(100000, 6));
  writeFile(dir / "c.enc", patternBytes(100000, 7));
  std::string out = disk.windowsPath() + "\\r.exe";
  EXPECT_EQ(assembleSelfDecryptingFile(out.c_str(), (dir / "prog.exe").c_str(), (dir / "c.enc").c_str()), 46);
  EXPECT_TRUE(listFolder(disk.windowsPath()).empty());
}

TEST_F(SelfDecrypting, FullDiskDuringSplitIsAWriteFailure) {
  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  std::string payload = patternBytes(200000, 8);
  writeFile(dir / "r.exe", "IMG" + payload + trailerFor(payload.size()));
  std::string target = disk.windowsPath() + "\\p.enc";
  EXPECT_EQ(SplitSelfMeltFile((dir / "r.exe").c_str(), target.c_str()), 7);
  DeleteFileA(target.c_str());
}

}  // namespace
