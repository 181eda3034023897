// The decryption worker on real self-decrypting files.
#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <string.h>

#include "common/text_util.h"
#include "manager/archive/archive_format.h"
#include "manager/archive/packer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/container_stream.h"
#include "manager/cipher/container_header.h"
#include "manager/cipher/key_material.h"
#include "manager/decryption/decryption_job.h"
#include "manager/decryption/decryption_wizard.h"
#include "manager/decryption/replace_dialog.h"
#include "manager/dialogs/write_probe.h"
#include "manager/archive/zone_mark.h"
#include "manager/base/job_control.h"
#include "manager/dialogs/wizard_dialogs.h"
#include "manager/base/job_state.h"
#include "support/job_files.h"
#include "support/message_capture.h"
#include "support/ntfs_rules.h"
#include "support/narrow_paths.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

const char kPassword[] = "復号試験";
const char kCannotWrite[] = "ファイルが書けません。\r\nディスク容量、書き込み権限、ファイル名の長さを確認してください";

struct Browse {
  int calls = 0;
  std::string initial;
  std::string answer;  // empty: cancel
} browse;

int fakeBrowse(HWND, const wchar_t* initial, wchar_t* out, size_t cap) {
  ++browse.calls;
  browse.initial = A(initial);
  if (browse.answer.empty()) return DIALOG_CANCEL;
  swprintf(out, cap, L"%ls", W(browse.answer).c_str());
  return DIALOG_OK;
}

// The answers to the question before an existing file is replaced, in turn
// (the last one again when they run out), and the files asked about.
struct Replace {
  std::vector<ReplaceAnswer> answers{ANSWER_REPLACE};
  std::vector<ReplaceFacts> asked;
  std::vector<std::string> paths;
} replace;

ReplaceAnswer fakeReplace(HWND, const ReplaceFacts& facts) {
  replace.asked.push_back(facts);
  replace.paths.push_back(A(facts.path));
  size_t n = replace.asked.size() - 1;
  return replace.answers[n < replace.answers.size() ? n : replace.answers.size() - 1];
}

class DecryptionJob : public ::testing::Test {
 protected:
  void SetUp() override {
    browse = Browse();
    replace = Replace();
    askReplaceFunction = fakeReplace;
    saved_ = wizardDialogs;
    wizardDialogs.browseForFolder = fakeBrowse;
    resetJobState();
    source = work / "data";
    makeFolder(source + "\\表");
    writeFile(source + "\\表\\x.txt", "x content");
    writeFile(source + "\\big.bin", patternBytes(300000, 1));
    result = makeResult(source);
    makeFolder(work / "out");
    setUpJob(work / "out");
  }
  void TearDown() override {
    wizardDialogs = saved_;
    askReplaceFunction = askReplaceDialog;
    setFormat2WriterSettings(nullptr);
  }

  // A self-decrypting file of folder, built with this test program as image;
  // alter, when given, changes the archive before it is encrypted.
  std::string makeResult(const std::string& folder, std::function<void(std::string*)> alter = nullptr,
                         int format = CONTAINER_FORMAT_1) {
    std::string arv = work / "mk.arv", out = work / "result.exe";
    setPath(jobState.sourceListPath, (work / "mk.prc"));
    EXPECT_EQ(packForJob("\"" + folder + "\"", arv), 0);
    std::string bytes = readFile(arv);
    if (alter) alter(&bytes);
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    EXPECT_EQ(writeResultFile(out, program, bytes, kPassword, format), 0);
    DeleteFileA(arv.c_str());
    DeleteFileA((work / "mk.prc").c_str());
    return out;
  }
  void setUpJob(const std::string& output, const char* password = kPassword) {
    resetJobState();
    jobState.decryptExternalFile = 1;
    setPath(jobState.encryptedInputPath, result);
    setPath(jobState.outputPath, output);
    copyText(jobState.password, sizeof jobState.password, password);
  }
  void expectCleanedUp() {
    EXPECT_EQ(jobState.quitRequested, 1);
    EXPECT_EQ(jobState.password[0], '\0');
  }
  // The last message shown, or "(none)".
  std::string lastMessage() const { return messages.texts().empty() ? "(none)" : messages.texts().back(); }
  WizardDialogs saved_;
  TempDir work;
  std::string source, result;
  MessageCapture messages;
};

TEST_F(DecryptionJob, SuccessRestoresTheTreeSilently) {
  runJob(runDecryptionJob);
  expectCleanedUp();
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(compareTrees(source, work / "out\\data"), "");
  EXPECT_EQ(browse.calls, 0);
}

// The zone marks through the file layer: the result is asked for its mark,
// and every restored file (never a folder) gets it when its zone passes on,
// on NTFS's terms: a stream can't be opened while its file is marked to go,
// and every file, in place or in a staged folder, is marked while it is
// written.
struct Marks {
  int resultZone = ZONE_NONE;
  std::vector<std::wstring> asked, marked;  // the paths asked about, and those marked
  std::vector<int> zones;                   // the zone of each mark
} marks;
int fakeZoneOf(const wchar_t* path) {
  marks.asked.push_back(path);
  return marks.resultZone;
}
bool recordMark(const wchar_t* path, int zone) {
  std::wstring name = path;
  marks.marked.push_back(name.substr(name.rfind(L'\\') + 1));
  marks.zones.push_back(zone);
  return true;
}
bool fakeMark(const wchar_t* path, int zone) { return NtfsRules::markZone(path, zone, recordMark); }

TEST_F(DecryptionJob, RestoredFilesCarryTheZoneMarkOfTheResult) {
  std::vector<std::wstring> files, relative;
  for (const std::wstring& entry : listTree(W(source))) {
    if (entry.back() == L'\\') continue;
    std::wstring path = entry.substr(0, entry.rfind(L':'));
    relative.push_back(L"\\" + path);
    files.push_back(path.substr(path.rfind(L'\\') + 1));
  }
  std::sort(files.begin(), files.end());
  const ZoneMarks fake = {fakeZoneOf, fakeMark};
  setZoneMarks(&fake);
  for (bool inPlace : {false, true}) {
    for (int zone : {ZONE_INTERNET, ZONE_RESTRICTED, ZONE_TRUSTED, ZONE_LOCAL, ZONE_NONE}) {
      SCOPED_TRACE(std::to_string(zone) + (inPlace ? " in place" : " staged"));
      NtfsRules ntfs;
      marks = Marks();
      marks.resultZone = zone;
      removeTree(work / "out");
      makeFolder(work / "out");
      if (inPlace) makeFolder(work / "out\\data");
      setUpJob(work / "out");
      runJob(runDecryptionJob);
      EXPECT_EQ(marks.asked, std::vector<std::wstring>{W(result)});
      // In place, a file is marked under its working name, before it takes
      // its own.
      std::sort(marks.marked.begin(), marks.marked.end());
      if (inPlace)
        EXPECT_EQ(marks.marked.size(), zonePassesOn(zone) ? files.size() : 0u);
      else
        EXPECT_TRUE(marks.marked == (zonePassesOn(zone) ? files : std::vector<std::wstring>()));
      EXPECT_EQ(std::count(marks.zones.begin(), marks.zones.end(), zone), static_cast<long>(marks.zones.size()));
      EXPECT_EQ(ntfs.refusedZoneMarks, 0);
      // Each file went with its handle until it was whole, whatever its size:
      // in place under a working name beside it, in a staged folder under its
      // own.
      EXPECT_EQ(ntfs.everMarked.size(), relative.size());
      for (const std::wstring& path : ntfs.everMarked) {
        std::wstring name = path.substr(path.rfind(L'\\') + 1);
        bool known = inPlace ? name.compare(0, 4, L"~kyv") == 0
                             : std::any_of(relative.begin(), relative.end(), [&](const std::wstring& file) {
                                 return path.size() > file.size() &&
                                        path.compare(path.size() - file.size(), file.size(), file) == 0;
                               });
        EXPECT_TRUE(known) << A(path);
      }
      EXPECT_EQ(compareTrees(source, work / "out\\data"), "");
    }
  }
  setZoneMarks(nullptr);
}

TEST_F(DecryptionJob, WrongPasswordShowsThePasswordMessageAndRestoresNothing) {
  setUpJob(work / "out", "違う");
  runJob(runDecryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"復号出来ませんでした。\r\nパスワードを確認してください"});
  EXPECT_TRUE(listFolder(work / "out").empty());
}

// About one wrong password in 65,536 passes the header's 16-bit check; its
// archive is noise. Such a container is made here: the header block sealed
// and enciphered for a second password in front of the first password's
// body.
TEST_F(DecryptionJob, WrongPasswordThatPassesTheHeaderCheckStillRestoresNothing) {
  const char kSecond[] = "second";
  std::string bytes = readFile(result);
  uint64_t containerLength = getLe64(reinterpret_cast<const unsigned char*>(&bytes[bytes.size() - 12]));
  size_t start = bytes.size() - 12 - static_cast<size_t>(containerLength);
  unsigned char header[HEADER_BLOCK_SIZE], sealed[HEADER_BLOCK_SIZE];
  memcpy(header, patternBytes(HEADER_BLOCK_SIZE, 9).data(), HEADER_BLOCK_SIZE);
  CipherKey key;
  deriveKey(kSecond, &key);
  sealHeaderBlock(header, statLocOf(key.sha2sum), containerLength - HEADER_BLOCK_SIZE);
  unsigned char iv[CIPHER_BLOCK] = {};
  cbcEncrypt(&key, iv, header, sealed, HEADER_BLOCK_SIZE);
  wipeKey(&key);
  bytes.replace(start, HEADER_BLOCK_SIZE, reinterpret_cast<const char*>(sealed), HEADER_BLOCK_SIZE);
  writeFile(result, bytes);
  setUpJob(work / "out", kSecond);
  runJob(runDecryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"復号出来ませんでした。\r\nパスワードを確認してください"});
  EXPECT_TRUE(listFolder(work / "out").empty());
}

TEST_F(DecryptionJob, OutputFolderGivenWithATrailingBackslashOrAsADriveRoot) {
  setUpJob(work / "out\\");
  runJob(runDecryptionJob);
  EXPECT_EQ(compareTrees(source, work / "out\\data"), "");
  // R: is a drive of the test prefix: the files land right under its root.
  removeTree("R:\\data");
  setUpJob("R:\\");
  runJob(runDecryptionJob);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(compareTrees(source, "R:\\data"), "");
  removeTree("R:\\data");
}

TEST_F(DecryptionJob, UnwritableFolderBringsTheBrowserBackUntilAWritableOneIsChosen) {
  TmpfsMount readOnly("1m", true);
  KYVO_REQUIRE_MOUNT(readOnly);
  browse.answer = work / "out";
  setUpJob(readOnly.windowsPath());
  EXPECT_EQ(settleOutputFolder(), PROBE_OK);  // on the main thread, before the job
  runJob(runDecryptionJob);
  EXPECT_EQ(browse.calls, 1);
  EXPECT_EQ(browse.initial, readOnly.windowsPath());
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(compareTrees(source, work / "out\\data"), "");
  // Leaving the browser without a choice: the job is not started.
  browse = Browse();
  setUpJob(readOnly.windowsPath());
  EXPECT_EQ(settleOutputFolder(), PROBE_NOT_WRITABLE);
  EXPECT_EQ(browse.calls, 1);
}

TEST_F(DecryptionJob, DamagedBodyIsReportedAsAFailedRestore) {
  std::string bytes = readFile(result);
  // Damage the middle of the container body (well inside the data of big.bin).
  size_t at = bytes.size() - 12 - 150000;
  bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  writeFile(result, bytes);
  runJob(runDecryptionJob);
  expectCleanedUp();
  ASSERT_EQ(messages.texts().size(), 1u);
  const std::string text = messages.texts()[0];
  EXPECT_TRUE(text == "書庫化したファイルを戻せませんでした" || text == "正常に処理出来ませんでした。 エラー(17)") << text;
}

// A result of the second format opens only whole and under its password: a
// changed byte in a chunk, like a wrong password, restores nothing.
TEST_F(DecryptionJob, SecondFormatOpensWholeOrNotAtAll) {
  const Format2WriterSettings quick = {FORMAT2_ITERATIONS_MIN, nullptr};
  setFormat2WriterSettings(&quick);
  result = makeResult(source, nullptr, CONTAINER_FORMAT_2);
  const std::string good = readFile(result);
  std::string damaged = good;
  damaged[damaged.size() - 12 - 150000] ^= 0x40;  // inside a chunk of big.bin's data
  const struct {
    const char* what;
    const std::string* bytes;
    const char* password;
    const char* message;  // null: restored silently
  } cases[] = {
      {"whole", &good, kPassword, nullptr},
      {"wrong password", &good, "違う", "復号出来ませんでした。\r\nパスワードを確認してください"},
      {"changed chunk", &damaged, kPassword, "正常に処理出来ませんでした。 エラー(81)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(work / "out");
    makeFolder(work / "out");
    writeFile(result, *c.bytes);
    setUpJob(work / "out", c.password);
    runJob(runDecryptionJob);
    expectCleanedUp();
    if (c.message == nullptr) {
      EXPECT_TRUE(messages.texts().empty()) << lastMessage();
      EXPECT_EQ(compareTrees(source, work / "out\\data"), "");
    } else {
      EXPECT_EQ(lastMessage(), c.message);
      EXPECT_TRUE(listFolder(work / "out").empty());
    }
  }
}

// Offset of the n-th entry header (from 0) of an archive.
size_t entryOffset(const std::string& archive, size_t n) {
  size_t at = 0;
  for (size_t i = 0; i < n; ++i) at += 2434 + static_cast<size_t>(getLe64(reinterpret_cast<const unsigned char*>(&archive[at + 20])));
  return at;
}

// Damage inside the archive is reported, never taken for its end, and no
// half file is left under a real name.
TEST_F(DecryptionJob, DamagedArchiveIsReportedAndLeavesNoHalfFile) {
  writeFile(source + "\\big.bin", patternBytes(300000, 1));
  struct Case {
    const char* what;
    std::function<void(std::string*)> alter;
  } cases[] = {
      {"second header damaged", [](std::string* a) { (*a)[entryOffset(*a, 1) + 60] ^= 0x01; }},
      {"cut inside a file's data", [](std::string* a) { a->resize(a->size() - 100000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(work / "out");
    makeFolder(work / "out");
    result = makeResult(source, c.alter);
    setUpJob(work / "out");
    runJob(runDecryptionJob);
    expectCleanedUp();
    EXPECT_EQ(lastMessage(), "書庫化したファイルを戻せませんでした");
    // Whatever came back is whole; nothing is left half-written or under a temporary name.
    for (const std::string& entry : listTree(work / "out")) {
      if (entry.back() == '\\') continue;
      std::string name = entry.substr(0, entry.rfind(':'));
      EXPECT_EQ(name.find("~kyv"), std::string::npos) << name;
      EXPECT_EQ(readFile(work / "out\\" + name), readFile(source + "\\" + name.substr(5))) << name;
    }
  }
}

TEST_F(DecryptionJob, DiskFillingUpGivesTheWriteMessage) {
  TmpfsMount disk("128k");
  KYVO_REQUIRE_MOUNT(disk);
  setUpJob(disk.windowsPath());
  runJob(runDecryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{kCannotWrite});
  EXPECT_FALSE(fileExists(disk.windowsPath() + "\\data\\big.bin"));
}

TEST_F(DecryptionJob, ExistingHiddenFileIsReplacedAndStaysHidden) {
  makeFolder(work / "out\\data\\表");
  std::string target = work / "out\\data\\表\\x.txt";
  writeFile(target, "old");
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN);
  runJob(runDecryptionJob);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(readFile(target), "x content");
  EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// A file in the way is replaced only when the user says so; keeping it is no
// failure, and stopping ends the job like Cancel.
TEST_F(DecryptionJob, ExistingFilesAreReplacedOnlyWhenTheUserSaysSo) {
  const std::string x = work / "out\\data\\表\\x.txt", big = work / "out\\data\\big.bin";
  const struct {
    const char* what;
    std::vector<ReplaceAnswer> answers;
    size_t questions;
    const char *x, *big;  // contents afterwards: null for the archive's
    const char* message;
  } cases[] = {
      {"keep", {ANSWER_KEEP}, 2, "mine, newer", "my big"},
      {"replace one, keep the other", {ANSWER_REPLACE, ANSWER_KEEP}, 2, "mine, newer", nullptr},
      {"replace all", {ANSWER_REPLACE_ALL}, 1, nullptr, nullptr},
      {"keep all", {ANSWER_KEEP_ALL}, 1, "mine, newer", "my big"},
      {"stop", {ANSWER_STOP}, 1, "mine, newer", "my big", "処理を中断しました。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(work / "out");
    makeFolder(work / "out\\data\\表");
    writeFile(x, "mine, newer");
    writeFile(big, "my big");
    replace = Replace();
    replace.answers = c.answers;
    setUpJob(work / "out");
    runJob(runDecryptionJob);
    expectCleanedUp();
    ASSERT_EQ(replace.asked.size(), c.questions);
    const ReplaceFacts& first = replace.asked[0];
    EXPECT_EQ(first.existingSize, 6u);  // big.bin comes first in the archive
    EXPECT_EQ(first.incomingSize, 300000u);
    EXPECT_EQ(replace.paths[0], big);
    if (c.questions > 1) {
      EXPECT_EQ(replace.paths[1], x);
    }
    EXPECT_EQ(readFile(x), c.x ? c.x : "x content");
    EXPECT_TRUE(readFile(big) == (c.big ? c.big : readFile(source + "\\big.bin")));
    EXPECT_EQ(messages.texts(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    EXPECT_EQ(listTree(work / "out").size(), 4u);  // no temporary file beside them
  }
}

// A file that cannot be replaced keeps its content, the rest comes back, and
// the message names it.
TEST_F(DecryptionJob, FileThatCannotBeReplacedIsNamedAndTheRestComesBack) {
  makeFolder(work / "out\\data\\表");
  std::string target = work / "out\\data\\表\\x.txt";
  for (const char* how : {"read-only", "held open"}) {
    SCOPED_TRACE(how);
    removeTree(work / "out\\data\\big.bin");
    writeFile(target, "old");
    HANDLE held = INVALID_HANDLE_VALUE;
    if (how[0] == 'r')
      SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    else
      held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    setUpJob(work / "out");
    runJob(runDecryptionJob);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    expectCleanedUp();
    EXPECT_EQ(lastMessage(), "書庫化したファイルを戻せませんでした\r\n" + target);
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(readFile(work / "out\\data\\big.bin"), readFile(source + "\\big.bin"));
  }
}

TEST_F(DecryptionJob, StopsDuringTheStepsShowTheirMessages) {
  jobState.stopCode = 999;  // seen after the first block of the split
  runJob(runDecryptionJob);
  expectCleanedUp();
  EXPECT_EQ(messages.texts(), std::vector<std::string>{"処理を中断しました。"});
  EXPECT_TRUE(listFolder(work / "out").empty());
}

TEST_F(DecryptionJob, StopDuringDecryptionOrExtraction) {
  writeFile(source + "\\big.bin", patternBytes(24 << 20, 2));
  // The second format checks every chunk before anything is restored.
  const Format2WriterSettings quick = {FORMAT2_ITERATIONS_MIN, nullptr};
  setFormat2WriterSettings(&quick);
  result = makeResult(source, nullptr, CONTAINER_FORMAT_2);
  setFormat2WriterSettings(nullptr);
  setUpJob(work / "out");
  {
    StopWhen stop("書庫を復号中です");
    runJob(runDecryptionJob);
  }
  expectCleanedUp();
  EXPECT_EQ(lastMessage(), "処理を中断しました。");  // the cipher saw the stop
  EXPECT_TRUE(listFolder(work / "out").empty());
  resetJobState();
  result = makeResult(source);
  setUpJob(work / "out");
  {
    StopWhen stop("big.bin");
    runJob(runDecryptionJob);
  }
  expectCleanedUp();
  EXPECT_EQ(lastMessage(), "処理を中断しました。");
}

TEST(DecryptionMessages, PartialFailuresAndEveryCode) {
  EXPECT_EQ(mapExtractionResult(0x10001), 10);
  EXPECT_EQ(mapExtractionResult(0x10002), 7);
  EXPECT_EQ(mapExtractionResult(0x10003), 7);
  EXPECT_EQ(mapExtractionResult(17), 17);
  char b[256];
  EXPECT_STREQ(decryptionResultMessage(9, b, sizeof b), "元に戻すファイルパスが長すぎます");
  EXPECT_STREQ(decryptionResultMessage(10, b, sizeof b), "書庫化したファイルを戻せませんでした");
  EXPECT_STREQ(decryptionResultMessage(80, b, sizeof b), "復号出来ませんでした。\r\nパスワードを確認してください");
  EXPECT_STREQ(decryptionResultMessage(81, b, sizeof b), "正常に処理出来ませんでした。 エラー(81)");
  // A folder kept under its temporary name is named, not a number.
  EXPECT_STREQ(decryptionResultMessage(12, b, sizeof b, L"C:\\o\\~kyv0000abcd.tmp"),
               "次のフォルダは、ほかのプログラムが使用していたため名前を付けられませんでした。\r\n"
               "復号したファイルは、次のフォルダにあります。\r\nC:\\o\\~kyv0000abcd.tmp");
  EXPECT_STREQ(decryptionResultMessage(99, b, sizeof b), "処理を中断しました。");
  EXPECT_STREQ(decryptionResultMessage(299, b, sizeof b), "処理を中断しました。");
  EXPECT_STREQ(decryptionResultMessage(999, b, sizeof b), "正常に処理出来ませんでした。 エラー(999)");
}

}  // namespace
