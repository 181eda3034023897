// The parts of a self-decrypting file on real files: the program image and
// the trailer as a result is written, and the payload found again.
#include <gtest/gtest.h>

#include "common/file_util.h"
#include "common/unique_handle.h"
#include "manager/archive/payload_trailer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/base/job_state.h"
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
  // A result as the result writer makes one: the image of program, then the
  // payload and its trailer.
  int assemble(const std::string& out, const std::string& program, const std::string& payload) {
    UniqueFile file(CreateFileW(W(out).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return ASSEMBLY_OPEN_OUTPUT;
    int code = appendProgramImage(file.get(), W(program).c_str(), jobProgress);
    if (code == 0 && !writeAll(file.get(), payload.data(), payload.size())) code = ASSEMBLY_WRITE;
    return code == 0 ? appendPayloadTrailer(file.get(), payload.size()) : code;
  }
  TempDir dir;
};

TEST_F(SelfDecrypting, AResultIsTheImageThePayloadAndTheTrailerWhichLeadsBackToIt) {
  std::string program = patternBytes(100000, 1), container = patternBytes(70000, 2);
  writeFile(dir / "prog.exe", program);
  std::string out = dir / "表.crpt.exe";
  ASSERT_EQ(assemble(out, dir / "prog.exe", container), 0);
  EXPECT_EQ(readFile(out), program + container + trailerFor(container.size()));
  EXPECT_EQ(A(jobState.statusText), "最終出力中です");
  EXPECT_EQ(progressLoad(&jobState.progressDone), 100000);
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 100000);
  EXPECT_EQ(SplitSelfMeltFile(out.c_str()), 0);
  {
    UniqueFile result(openResultForReading(W(out).c_str()));
    uint64_t start = 0, length = 0;
    ASSERT_EQ(findPayload(result.get(), &start, &length), 0);
    EXPECT_EQ(start, 100000u);
    EXPECT_EQ(length, 70000u);
  }
  // An empty payload: the image and the trailer.
  ASSERT_EQ(assemble(out, dir / "prog.exe", ""), 0);
  EXPECT_EQ(fileSizeOf(out), 100000 + 12);
}

TEST_F(SelfDecrypting, ProbeResultsForShortZeroAndDamagedFiles) {
  writeFile(dir / "short", std::string(11, 'x'));
  EXPECT_EQ(SplitSelfMeltFile((dir / "short").c_str()), 3);
  writeFile(dir / "zeros", std::string(12, '\0'));
  EXPECT_EQ(SplitSelfMeltFile((dir / "zeros").c_str()), 999);
  writeFile(dir / "toolong", "abc" + trailerFor(4));
  EXPECT_EQ(SplitSelfMeltFile((dir / "toolong").c_str()), 3);
  writeFile(dir / "exact", "abcd" + trailerFor(4));
  EXPECT_EQ(SplitSelfMeltFile((dir / "exact").c_str()), 0);
  // Marker bytes in the wrong order are no marker.
  std::string wrong = "abcd" + trailerFor(4);
  std::swap(wrong[wrong.size() - 1], wrong[wrong.size() - 4]);
  writeFile(dir / "wrong", wrong);
  EXPECT_EQ(SplitSelfMeltFile((dir / "wrong").c_str()), 999);
  EXPECT_EQ(SplitSelfMeltFile((dir / "missing").c_str()), 2);
  EXPECT_EQ(SplitSelfMeltFile(dir.path().c_str()), 2);  // a folder
}

TEST_F(SelfDecrypting, PathsOf520BytesAreRefusedUnopened) {
  std::string p519 = "C:\\" + std::string(516, 'a');
  ASSERT_EQ(p519.size(), 519u);
  EXPECT_EQ(SplitSelfMeltFile(p519.c_str()), 2);  // handed to the file system, not found
  std::string p520 = p519 + "b";
  EXPECT_EQ(SplitSelfMeltFile(p520.c_str()), 2);
  EXPECT_FALSE(UniqueFile(openResultForReading(W(p520).c_str())));
}

TEST_F(SelfDecrypting, OnlyTheLastPayloadOfANestedFileIsFound) {
  std::string inner = "IMAGE" + std::string("old-payload") + trailerFor(11);
  writeFile(dir / "nested.exe", inner + "new" + trailerFor(3));
  UniqueFile result(openResultForReading(W(dir / "nested.exe").c_str()));
  uint64_t start = 0, length = 0;
  ASSERT_EQ(findPayload(result.get(), &start, &length), 0);
  EXPECT_EQ(start, inner.size());
  EXPECT_EQ(length, 3u);
}

TEST_F(SelfDecrypting, ANewResultNeverCarriesThePayloadOfItsProgram) {
  // A self-decrypting file used as the program: its old payload stays out.
  std::string image = patternBytes(5000, 3);
  writeFile(dir / "prog.exe", image + "first" + trailerFor(5) + "second" + trailerFor(6));
  std::string out = dir / "out.exe";
  ASSERT_EQ(assemble(out, dir / "prog.exe", "fresh"), 0);
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
  ASSERT_EQ(assemble(dir / "r.exe", dir / "prog.exe", "fresh"), 0);
  EXPECT_EQ(readFile(dir / "r.exe"), image + "fresh" + trailerFor(5));
}

TEST_F(SelfDecrypting, AStopAMissingProgramAndAFullDisk) {
  writeFile(dir / "prog.exe", patternBytes(200000, 4));
  jobState.stopCode = 999;
  EXPECT_EQ(assemble(dir / "out.exe", dir / "prog.exe", ""), 99);
  jobState.stopCode = 0;
  EXPECT_EQ(assemble(dir / "out.exe", dir / "none.exe", ""), 35);
  TmpfsMount disk("128k");
  KYVO_REQUIRE_MOUNT(disk);
  const std::string out = disk.windowsPath() + "\\r.exe";
  EXPECT_EQ(assemble(out, dir / "prog.exe", ""), 46);
  DeleteFileA(out.c_str());
}

}  // namespace
