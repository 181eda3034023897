// Which flow the start-up dispatch starts, and with what job record.
#include <gtest/gtest.h>
#include <wchar.h>

#include "manager/archive/payload_trailer.h"
#include "manager/startup/app_flows.h"
#include "manager/base/job_state.h"
#include "manager/startup/startup.h"
#include "support/container_policy.h"
#include "support/message_capture.h"
#include "support/test_files.h"

namespace {

struct Seen {
  int encryption = 0;
  int decryption = 0;
  long mode = -5;
  long fromCommandLine = -5;
  long external = -5;
  std::string pathList;
  std::string input;
} seen;

void onEncryption() {
  ++seen.encryption;
  seen.mode = jobState.destinationMode;
  seen.fromCommandLine = jobState.modeFromCommandLine;
  seen.pathList = A(jobState.pathListText);
}
void onDecryption() {
  ++seen.decryption;
  seen.external = jobState.decryptExternalFile;
  seen.input = A(jobState.encryptedInputPath);
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = Seen();
    resetJobState();
    saved_ = appFlows;
    appFlows.runEncryptionWizard = onEncryption;
    appFlows.runDecryptionWizard = onDecryption;
    wcscpy(jobState.moduleDir, W(dir.path() + "\\").c_str());
  }
  void TearDown() override { appFlows = saved_; }
  std::string makePayloadFile(const std::string& name) { return writePayloadFile(dir / name); }
  static std::string writePayloadFile(const std::string& path) {
    std::string data = "MZprogram-image" + std::string(100, 'x');
    unsigned char trailer[PAYLOAD_TRAILER_SIZE];
    encodePayloadTrailer(100, trailer);
    data.append(reinterpret_cast<char*>(trailer), sizeof trailer);
    writeFile(path, data);
    return path;
  }
  TempDir dir;
  AppFlows saved_;
  MessageCapture messages;
};

TEST_F(Dispatch, SwitchFormRunsEncryptionWithTheGivenMode) {
  dispatchCommandLine(L"/crpmode=1 \"C:\\a.txt\" \"C:\\b dir\"");
  EXPECT_EQ(seen.encryption, 1);
  EXPECT_EQ(seen.mode, 1);
  EXPECT_EQ(seen.fromCommandLine, 1);
  EXPECT_EQ(seen.pathList, "\"C:\\a.txt\" \"C:\\b dir\"");
  EXPECT_EQ(jobState.quitRequested, 0);
}

TEST_F(Dispatch, InvalidModesStillReachTheWizardWithoutADestination) {
  dispatchCommandLine(L"/crpmode=7 \"C:\\a.txt\"");
  EXPECT_EQ(seen.mode, 7);
  dispatchCommandLine(L"/crpmode= \"C:\\a.txt\"");
  EXPECT_EQ(seen.mode, -1);
  dispatchCommandLine(L"/crpmode=1234567890 \"C:\\a.txt\"");
  EXPECT_EQ(seen.mode, -1);
  EXPECT_EQ(seen.encryption, 3);
}

TEST_F(Dispatch, EmptyLineInAPlainProgramShowsTheHintAndEnds) {
  dispatchCommandLine(L"");
  EXPECT_EQ(seen.encryption + seen.decryption, 0);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "暗号化するファイル、フォルダをドラッグ&ドロップして下さい");
  EXPECT_EQ(messages.messages()[0].caption, "手動暗号 ");
  EXPECT_EQ(messages.messages()[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(jobState.quitRequested, 1);
}

TEST_F(Dispatch, PlainPathWithPayloadRunsDecryption) {
  std::string path = makePayloadFile("result.crpt.ex_");
  dispatchCommandLine(W("\"" + path + "\"").c_str());
  EXPECT_EQ(seen.decryption, 1);
  EXPECT_EQ(seen.external, 1);
  EXPECT_EQ(seen.input, path);
}

TEST_F(Dispatch, PlainPathWithoutPayloadRunsEncryptionWithTheDestinationDialog) {
  std::string file = dir / "ordinary.txt";
  writeFile(file, "just text");
  for (const std::string& path : {file, dir.path(), dir / "missing.txt"}) {
    seen = Seen();
    std::string line = "\"" + path + "\"";
    dispatchCommandLine(W(line).c_str());
    EXPECT_EQ(seen.encryption, 1) << path;
    EXPECT_EQ(seen.fromCommandLine, 0);
    EXPECT_EQ(seen.mode, -1);
    EXPECT_EQ(seen.pathList, line);  // untrimmed
  }
}

TEST_F(Dispatch, SeveralDroppedPathsAreEncrypted) {
  std::string a = makePayloadFile("a.exe");
  std::string line = "\"" + a + "\" \"" + (dir / "b.txt") + "\"";
  dispatchCommandLine(W(line).c_str());
  EXPECT_EQ(seen.encryption, 1);
  EXPECT_EQ(seen.pathList, line);
}

TEST_F(Dispatch, TooLongPlainPathIsNeverCutIntoAnotherPath) {
  // More than encryptedInputPath holds: the whole text goes on unchanged,
  // or is refused, and nothing is decrypted from a shortened path.
  makePayloadFile("r.exe");
  std::string path = dir.path();
  for (int i = 0; i < 120; ++i) path += "\\.";
  path += "\\r.exe";
  ASSERT_GT(path.size(), 263u);
  dispatchCommandLine(W(path).c_str());
  EXPECT_EQ(seen.decryption, 0);
  EXPECT_EQ(jobState.encryptedInputPath[0], 0);
  if (seen.encryption == 1) {
    EXPECT_EQ(seen.pathList, path);
  } else {
    EXPECT_EQ(messages.texts().size(), 1u);  // refused with a message
    EXPECT_EQ(jobState.quitRequested, 1);
  }
}

TEST_F(Dispatch, ConfigurationBesideTheProgramSetsWriteLog) {
  std::string cfg = dir / "Kyvomar.Cfg";
  writeFile(cfg, " WRITELOG=0\r\n");
  dispatchCommandLine(L"/crpmode=0 \"C:\\a\"");
  EXPECT_EQ(jobState.writeLog, 0);
  resetJobState();
  wcscpy(jobState.moduleDir, W(dir.path() + "\\").c_str());
  writeFile(cfg, "# writelog=0\r\n");
  dispatchCommandLine(L"/crpmode=0 \"C:\\a\"");
  EXPECT_EQ(jobState.writeLog, 1);
  DeleteFileA(cfg.c_str());
  dispatchCommandLine(L"/crpmode=0 \"C:\\a\"");
  EXPECT_EQ(jobState.writeLog, 1);
}

// The policy is read with the configuration, once, before any flow starts;
// results are written in the format it names (readers take both anyway).
TEST_F(Dispatch, ContainerFormatPolicyIsReadAtStart) {
  ContainerPolicyValue policy;
  const struct {
    int value;  // -1: no value
    long expected;
  } cases[] = {{2, 2}, {-1, 1}, {3, 1}, {1, 1}};
  for (const auto& c : cases) {
    ASSERT_TRUE(c.value < 0 ? policy.remove() : policy.set(static_cast<DWORD>(c.value)));
    resetJobState();
    EXPECT_EQ(jobState.containerFormat, 1);
    dispatchCommandLine(L"/crpmode=0 \"C:\\a\"");
    EXPECT_EQ(jobState.containerFormat, c.expected) << c.value;
  }
}

}  // namespace
