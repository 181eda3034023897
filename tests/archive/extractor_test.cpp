// The extractor on real files: the edge cases of the format, replacing
// existing files safely, full disks, stops and damaged data.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <vector>

#include "archive/archive_files.h"
#include "manager/archive/extractor.h"
#include "manager/base/job_state.h"
#include "support/ntfs_rules.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/narrow_paths.h"

namespace {

class Extractor : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    setPath(jobState.moduleDir, (work.path() + "\\"));
    archive = work / "TmpCrp_x.arv";
    out = work / "out";
    makeFolder(out);
  }
  int extract(const std::string& bytes) {
    writeFile(archive, bytes);
    return extractArchiveFile(archive, out);
  }
  TempDir work;
  std::string archive, out;
};

const EntryTimes kTimes = {128790000000000000ull, 128790000300000000ull, 128790000200000000ull};

std::string provisional(const std::string& name, const std::string& data) {
  std::string entry = fileEntry(name, "", data);
  entry.replace(2430, 4, std::string(4, '\0'));
  return entry;
}

TEST_F(Extractor, ArchiveWithoutAValidFirstEntryIsNoArchive) {
  // What a wrong password decrypts to, whatever its length.
  EXPECT_EQ(extract(""), EXTRACT_NO_FIRST_ENTRY);
  EXPECT_EQ(extract(std::string(100, 'n')), EXTRACT_NO_FIRST_ENTRY);
  EXPECT_EQ(extract(patternBytes(5000, 3) + fileEntry("a.txt", "", "alpha")), EXTRACT_NO_FIRST_ENTRY);
  EXPECT_TRUE(namesBelow(out).empty());
  EXPECT_EQ(jobState.countOnly, 0);
}

TEST_F(Extractor, HeaderThatFailsItsCheckBeforeTheEndIsDamage) {
  std::string bytes = fileEntry("a.txt", "", "alpha") + provisional("b.txt", patternBytes(50000, 1));
  EXPECT_EQ(extract(bytes), EXTRACT_DAMAGED);
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"a.txt"});
  // Fewer bytes than a header at the end are no entry: the archive ends there.
  EXPECT_EQ(extract(fileEntry("c.txt", "", "c") + std::string(1000, 'j')), 0);
  EXPECT_TRUE(fileExists(out + "\\c.txt"));
}

TEST_F(Extractor, StoredLengthZeroCreatesAnEmptyFileWithItsTimes) {
  EXPECT_EQ(extract(fileEntry("empty", "sub", "", kTimes)), 0);
  std::string path = out + "\\sub\\empty";
  EXPECT_EQ(fileSizeOf(path), 0);
  FileTimes t = timesOf(path);
  EXPECT_EQ(t.lastWrite, kTimes.lastWrite);
  EXPECT_EQ(t.lastAccess, kTimes.lastAccess);
}

TEST_F(Extractor, FolderEntriesAndFolderEndEntriesCreateTheirFolders) {
  std::string bytes = folderEntry("", "Empty") + folderEntry("Old", "Docs") + folderEntry("", "Docs\\Old") +
                      folderEntry("ソ", "表") + folderEntry("", "表\\ソ\\能");
  EXPECT_EQ(extract(bytes), 0);
  EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"Docs\\", "Docs\\Old\\", "Empty\\", "表\\", "表\\ソ\\",
                                                     "表\\ソ\\能\\"}));
  // The top level's own folder-end entry names the output folder itself.
  removeTree(out);
  EXPECT_EQ(extract(folderEntry("", "")), 0);
  EXPECT_TRUE(folderExists(out));
}

TEST_F(Extractor, UncompressedDataAreasAreAcceptedToo) {
  std::string data = patternBytes(70000, 9);
  RawEntry raw;
  raw.storedLength = data.size();
  raw.name = "raw.bin";
  raw.dataChecksum = unsignedSum(data);
  EXPECT_EQ(extract(rawHeader(raw) + data + fileEntry("next", "", "n")), 0);
  EXPECT_EQ(readFile(out + "\\raw.bin"), data);
  EXPECT_EQ(readFile(out + "\\next"), "n");
}

TEST_F(Extractor, OutputFolderWithOrWithoutTrailingBackslashGivesTheSamePaths) {
  std::string bytes = fileEntry("a", "d", "x") + folderEntry("", "e");
  writeFile(archive, bytes);
  EXPECT_EQ(extractArchiveFile(archive, out + "\\"), 0);
  std::vector<std::string> with = namesBelow(out);
  removeTree(out);
  EXPECT_EQ(extractArchiveFile(archive, out), 0);
  EXPECT_EQ(namesBelow(out), with);
  EXPECT_EQ(with, (std::vector<std::string>{"d\\", "d\\a", "e\\"}));
  // An output folder ending with 表 still gets its separator.
  std::string sjis = work / "表";
  EXPECT_EQ(extractArchiveFile(archive, sjis), 0);
  EXPECT_EQ(readFile(sjis + "\\d\\a"), "x");
}

TEST_F(Extractor, DriveRootAsOutputFolderWithOrWithoutItsBackslash) {
  // The decryption job hands a chosen drive root over as "C:".
  std::string folder = "kyvotest_root_" + std::to_string(GetCurrentProcessId());
  writeFile(archive, fileEntry("r.txt", folder, "at the root"));
  // "C:" alone names the current folder of drive C: to the file system.
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(out.c_str()));
  for (const char* root : {"C:", "C:\\"}) {
    SCOPED_TRACE(root);
    EXPECT_EQ(extractArchiveFile(archive, root), 0);
    EXPECT_EQ(readFile("C:\\" + folder + "\\r.txt"), "at the root");
    removeTree("C:\\" + folder);
  }
  SetCurrentDirectoryA(saved);
  EXPECT_TRUE(namesBelow(out).empty());
}

TEST_F(Extractor, ExistingFilesAreReplacedAndNoTemporaryFileIsLeft) {
  writeFile(out + "\\a.txt", "old content that is longer");
  EXPECT_EQ(extract(fileEntry("a.txt", "", "new", kTimes)), 0);
  EXPECT_EQ(readFile(out + "\\a.txt"), "new");
  EXPECT_EQ(timesOf(out + "\\a.txt").lastWrite, kTimes.lastWrite);
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"a.txt"});
  // Two entries of one name: the second wins.
  EXPECT_EQ(extract(fileEntry("same", "", "first") + fileEntry("same", "", "second")), 0);
  EXPECT_EQ(readFile(out + "\\same"), "second");
}

TEST_F(Extractor, HiddenExistingTargetStaysHidden) {
  std::string path = out + "\\h.txt";
  writeFile(path, "old");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(extract(fileEntry("h.txt", "", "replaced")), 0);
  EXPECT_EQ(readFile(path), "replaced");
  EXPECT_TRUE(attributesOf(path) & FILE_ATTRIBUTE_HIDDEN);
  // A file that was not there before is not hidden.
  EXPECT_EQ(extract(fileEntry("v.txt", "", "visible")), 0);
  EXPECT_FALSE(attributesOf(out + "\\v.txt") & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(Extractor, ReadOnlyExistingTargetFailsTheEntryAndStaysIntact) {
  std::string path = out + "\\ro.txt";
  writeFile(path, "keep me");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(extract(fileEntry("ro.txt", "", patternBytes(40000, 1)) + fileEntry("next", "", "n")),
            EXTRACT_PARTIAL_UNPACK);
  EXPECT_EQ(readFile(path), "keep me");
  EXPECT_EQ(readFile(out + "\\next"), "n");  // the archive position stayed right
  EXPECT_TRUE(temporaryFilesBelow(out).empty());
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Extractor, ReadOnlyMediumKeepsTheOldFile) {
  TmpfsMount mount("1m");
  KYVO_REQUIRE_MOUNT(mount);
  std::string folder = mount.windowsPath();
  writeFile(folder + "\\old.txt", "old file");
  ASSERT_TRUE(mount.remount(true));
  writeFile(archive, fileEntry("old.txt", "", "new file") + fileEntry("fresh.txt", "", "f"));
  EXPECT_EQ(extractArchiveFile(archive, folder), EXTRACT_PARTIAL_UNPACK);
  EXPECT_EQ(readFile(folder + "\\old.txt"), "old file");
  EXPECT_EQ(listFolder(folder), std::vector<std::string>{"old.txt"});
  mount.remount(false);
}

TEST_F(Extractor, FullDiskDeletesThePartialFileAndGoesOn) {
  TmpfsMount mount("256k");
  KYVO_REQUIRE_MOUNT(mount);
  std::string folder = mount.windowsPath();
  std::string bytes = fileEntry("big.bin", "", patternBytes(1 << 20, 4)) + fileEntry("small.txt", "", "small");
  writeFile(archive, bytes);
  EXPECT_EQ(extractArchiveFile(archive, folder), EXTRACT_PARTIAL_DISK_FULL);
  EXPECT_FALSE(fileExists(folder + "\\big.bin"));
  EXPECT_EQ(readFile(folder + "\\small.txt"), "small");
  EXPECT_TRUE(temporaryFilesBelow(folder).empty());
}

TEST_F(Extractor, FullDiskKeepsAnOldFileUntouched) {
  TmpfsMount mount("256k");
  KYVO_REQUIRE_MOUNT(mount);
  std::string folder = mount.windowsPath();
  writeFile(folder + "\\big.bin", "the old big file");
  writeFile(archive, fileEntry("big.bin", "", patternBytes(1 << 20, 5)));
  EXPECT_EQ(extractArchiveFile(archive, folder), EXTRACT_PARTIAL_DISK_FULL);
  EXPECT_EQ(readFile(folder + "\\big.bin"), "the old big file");
  EXPECT_EQ(listFolder(folder), std::vector<std::string>{"big.bin"});
}

TEST_F(Extractor, FullDiskAndAnotherFailureGiveBothBits) {
  TmpfsMount mount("256k");
  KYVO_REQUIRE_MOUNT(mount);
  std::string folder = mount.windowsPath();
  writeFile(folder + "\\ro.txt", "read-only");
  SetFileAttributesA((folder + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  writeFile(archive, fileEntry("ro.txt", "", "x") + fileEntry("big.bin", "", patternBytes(1 << 20, 6)));
  EXPECT_EQ(extractArchiveFile(archive, folder), EXTRACT_PARTIAL_BOTH);
  EXPECT_EQ(readFile(folder + "\\ro.txt"), "read-only");
  SetFileAttributesA((folder + "\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Extractor, DataChecksumMismatchReachesTheCaller) {
  std::string bad = fileEntry("bad.txt", "", "contents", kTimes);
  // Change the stored data checksum and seal the header again.
  RawEntry raw;
  std::vector<ReadEntry> read = readArchiveBytes(bad);
  ASSERT_EQ(read.size(), 1u);
  std::string area = bad.substr(2434);
  raw.formatTag = 0x00020001;
  raw.storedLength = area.size();
  raw.name = "bad.txt";
  raw.compressedFlag = 1;
  raw.lastWriteTime = kTimes.lastWrite;
  raw.lastAccessTime = kTimes.lastAccess;
  raw.dataChecksum = unsignedSum(area) + 1;
  bad = rawHeader(raw) + area;
  // No file before: none is left under its name, and the next entry follows.
  EXPECT_EQ(extract(bad + fileEntry("good", "", "g")), EXTRACT_PARTIAL_UNPACK);
  EXPECT_FALSE(fileExists(out + "\\bad.txt"));
  EXPECT_EQ(readFile(out + "\\good"), "g");
  // An old file is kept instead.
  writeFile(out + "\\bad.txt", "old");
  EXPECT_EQ(extract(bad), EXTRACT_PARTIAL_UNPACK);
  EXPECT_EQ(readFile(out + "\\bad.txt"), "old");
  EXPECT_TRUE(temporaryFilesBelow(out).empty());
}

TEST_F(Extractor, CutArchiveIsDamageAndLeavesNoHalfFile) {
  std::string data = patternBytes(200000, 7);
  std::string entry = fileEntry("a.txt", "", "alpha") + fileEntry("cut.bin", "", data);
  std::string cut = entry.substr(0, entry.size() - 1000);
  EXPECT_EQ(extract(cut), EXTRACT_DAMAGED);
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"a.txt"});  // files completed before stay
  writeFile(out + "\\cut.bin", "old");
  EXPECT_EQ(extract(cut), EXTRACT_DAMAGED);
  EXPECT_EQ(readFile(out + "\\cut.bin"), "old");
  EXPECT_TRUE(temporaryFilesBelow(out).empty());
}

TEST_F(Extractor, StopInsideAFileGives99AndKeepsTheOldFile) {
  std::string bytes = fileEntry("big.bin", "", patternBytes(8 << 20, 8)) + fileEntry("after", "", "a");
  writeFile(out + "\\big.bin", "old");
  writeFile(archive, bytes);
  int result;
  {
    StopWhen stop("big.bin");
    result = extractArchiveFile(archive, out);
    EXPECT_TRUE(stop.fired());
  }
  EXPECT_EQ(result, EXTRACT_STOPPED);
  EXPECT_EQ(readFile(out + "\\big.bin"), "old");
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"big.bin"});
  EXPECT_EQ(jobState.countOnly, 0);
}

// Cancel pressed once some of a file's bytes are written: what the progress
// window shows then, and the stop.
struct StopInAFile {
  static bool written, countOnly, countOnlyWhenWritten;
  static void done(int64_t) {
    written = true;
    countOnlyWhenWritten = countOnly;
  }
  static void counter(bool only) { countOnly = only; }
  static bool stop() { return written; }
};
bool StopInAFile::written = false, StopInAFile::countOnly = false, StopInAFile::countOnlyWhenWritten = false;

// A stop leaves no folder under a real name that holds no file restored
// whole: not a staged top-level folder, not levels made for the file.
TEST_F(Extractor, StopWithoutAnOldFileLeavesNoHalfFileNorAFolderMadeForIt) {
  struct Case {
    const char* folder;
    const char* existing;  // a folder there before
    std::vector<std::string> left;
  } cases[] = {{"", "", {}}, {"big", "", {}}, {"big\\deep", "big", {"big\\"}}};
  std::string data = patternBytes(1 << 20, 9);
  Progress progress = quietProgress;
  progress.done = StopInAFile::done;
  progress.countOnly = StopInAFile::counter;
  progress.stopRequested = StopInAFile::stop;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    removeTree(out);
    makeFolder(out);
    if (c.existing[0]) makeFolder(out + "\\" + c.existing);
    writeFile(archive, fileEntry("big.bin", c.folder, data));
    StopInAFile::written = false;
    EXPECT_EQ(extractArchiveFile(archive, out, progress), EXTRACT_STOPPED);
    EXPECT_TRUE(StopInAFile::written && StopInAFile::countOnlyWhenWritten);  // the window showed the amount left
    EXPECT_EQ(namesBelow(out), c.left);
    EXPECT_TRUE(listFolder(out).size() == c.left.size());  // no staging folder either
  }
}

TEST_F(Extractor, StopIsNoticedBetweenSmallFiles) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += fileEntry("f" + std::to_string(i), "", "one block");
  jobState.stopCode = STOP_REQUESTED;
  EXPECT_EQ(extract(bytes), EXTRACT_STOPPED);
  EXPECT_TRUE(namesBelow(out).empty());
}

TEST_F(Extractor, DamagedBlockStopsWith17AndKeepsTheOldFile) {
  std::string entry = fileEntry("z.bin", "", patternBytes(100000, 2));
  entry[2434 + 40000] ^= 0x5A;  // inside the second block's stream
  // The data checksum no longer matches either, but the block is seen first.
  writeFile(out + "\\z.bin", "old");
  EXPECT_EQ(extract(entry + fileEntry("after", "", "a")), EXTRACT_DECOMPRESS);
  EXPECT_EQ(readFile(out + "\\z.bin"), "old");
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"z.bin"});
}

TEST_F(Extractor, TargetPathTooLongStopsWith9) {
  std::string name(250, 'n');
  EXPECT_EQ(extract(fileEntry("a", "", "a") + fileEntry(name, "", "x") + fileEntry("b", "", "b")),
            EXTRACT_PATH_TOO_LONG);
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"a"});
}

TEST_F(Extractor, StatusShowsTheEntryNameAndProgressCountsDown) {
  EXPECT_EQ(extract(fileEntry("表ソ能.txt", "", patternBytes(100000, 3))), 0);
  EXPECT_EQ(A(jobState.statusText), "表ソ能.txt");
  EXPECT_EQ(jobState.countOnly, 0);
}

// What the status line of an extraction does: here, what another restore
// into the same folder would do meanwhile.
std::function<void()> onStatus;
void statusHook(const wchar_t*) {
  if (onStatus) onStatus();
}

// A top-level folder is built hidden under a staging name; when another
// restore made a folder of its name meanwhile, it is removed and named. A
// staging folder that nobody holds (left by a killed restore) goes at the
// next restore; one still held, or one that only looks like it, stays.
TEST_F(Extractor, StagingFoldersAreHiddenRemovedOnAClashAndSweptWhenAbandoned) {
  const std::string abandoned = out + "\\~kyv0000beef.tmp", held = out + "\\~kyv0000cafe.tmp",
                    visible = out + "\\~kyv0000f00d.tmp";
  for (const std::string& f : {abandoned, held, visible}) {
    makeFolder(f);
    writeFile(f + "\\half.txt", "half");
    if (f != visible) SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_HIDDEN);
  }
  HANDLE hold = CreateFileA(held.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  writeFile(archive, fileEntry("a.txt", "top", "a") + fileEntry("b.txt", "top", "b"));
  bool stagedHidden = false;
  int calls = 0;
  onStatus = [&] {
    if (++calls < 2) return;  // once the folder is being built
    for (const std::string& name : listFolder(out))
      if (name.find("~kyv") == 0 && out + "\\" + name != held && out + "\\" + name != visible)
        stagedHidden = (attributesOf(out + "\\" + name) & FILE_ATTRIBUTE_HIDDEN) != 0;
    makeFolder(out + "\\top");  // the other restore's folder appears
  };
  Progress progress = quietProgress;
  progress.status = statusHook;
  wchar_t failed[MAX_PATH] = L"";
  ExtractSetup setup = {&progress, nullptr, nullptr, failed, MAX_PATH};
  EXPECT_EQ(extractArchiveFile(W(archive).c_str(), W(out).c_str(), setup), EXTRACT_FOLDER_CLASH);
  onStatus = nullptr;
  CloseHandle(hold);
  EXPECT_TRUE(stagedHidden);
  EXPECT_EQ(A(failed), out + "\\top");
  EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"top\\", "~kyv0000cafe.tmp\\", "~kyv0000cafe.tmp\\half.txt",
                                                       "~kyv0000f00d.tmp\\", "~kyv0000f00d.tmp\\half.txt"}));
}

// What the counter of an extraction does: here, another program that puts
// a file where an entry is being written.
std::function<void()> onDone;
void doneHook(int64_t) {
  if (onDone) onDone();
}

struct Asked {
  std::vector<ReplaceFacts> facts;
  ReplaceAnswer answer = ANSWER_KEEP;
};
ReplaceAnswer askAndRecord(void* context, const ReplaceFacts& facts) {
  Asked* asked = static_cast<Asked*>(context);
  asked->facts.push_back(facts);
  return asked->answer;
}

// A file that appears at the target while the entry is written is not
// replaced unasked: the commit finds it, and the caller is asked then.
TEST_F(Extractor, FileThatAppearsWhileItsEntryIsWrittenIsAskedAbout) {
  for (ReplaceAnswer answer : {ANSWER_KEEP, ANSWER_REPLACE}) {
    SCOPED_TRACE(answer);
    removeTree(out);
    makeFolder(out);
    std::string data = patternBytes(100000, 4);
    writeFile(archive, fileEntry("late.txt", "", data));
    onDone = [&] {
      if (!fileExists(out + "\\late.txt")) writeFile(out + "\\late.txt", "theirs");
    };
    Progress progress = quietProgress;
    progress.done = doneHook;
    Asked asked;
    asked.answer = answer;
    ExtractSetup setup = {&progress, askAndRecord, &asked, nullptr, 0};
    EXPECT_EQ(extractArchiveFile(W(archive).c_str(), W(out).c_str(), setup), EXTRACT_OK);
    onDone = nullptr;
    ASSERT_EQ(asked.facts.size(), 1u);
    EXPECT_EQ(asked.facts[0].existingSize, 6u);
    EXPECT_EQ(asked.facts[0].incomingSize, data.size());
    EXPECT_EQ(readFile(out + "\\late.txt"), answer == ANSWER_KEEP ? "theirs" : data);
    EXPECT_TRUE(temporaryFilesBelow(out).empty());
  }
}

// Something that is no folder where a restored folder must go: the entries
// below it fail and the message names it; the rest comes back, and what is
// there stays as it was.
TEST_F(Extractor, FileWhereAFolderMustGoIsNamedAndTheRestComesBack) {
  writeFile(out + "\\sub", "mine");
  makeFolder(out + "\\top");
  writeFile(out + "\\top\\inner", "mine too");
  writeFile(archive, fileEntry("a.txt", "sub", "a") + folderEntry("", "sub\\deep") + fileEntry("b.txt", "sub\\deep", "b") +
                         fileEntry("c.txt", "top\\inner", "c") + fileEntry("d.txt", "", "d") +
                         fileEntry("e.txt", "other", "e"));
  wchar_t failed[MAX_PATH] = L"";
  ExtractSetup setup = {&jobProgress, nullptr, nullptr, failed, MAX_PATH};
  EXPECT_EQ(extractArchiveFile(W(archive).c_str(), W(out).c_str(), setup), EXTRACT_PARTIAL_UNPACK);
  EXPECT_EQ(A(failed), out + "\\sub");
  EXPECT_EQ(readFile(out + "\\sub"), "mine");
  EXPECT_EQ(readFile(out + "\\top\\inner"), "mine too");
  EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"d.txt", "other\\", "other\\e.txt", "sub", "top\\",
                                                       "top\\inner"}));
}

// A staged folder whose rename fails for a moment (a program holds a file
// in it) takes its name once it can; one whose rename keeps failing stays,
// visible, under its temporary name, which the extraction names: nothing
// restored is deleted because a rename failed.
TEST_F(Extractor, StagedFolderThatCannotTakeItsNameIsKeptNeverDeleted) {
  for (int failures : {3, -1}) {
    SCOPED_TRACE(failures);
    removeTree(out);
    makeFolder(out);
    writeFile(archive, fileEntry("a.txt", "top", "a") + fileEntry("b.txt", "top\\sub", "b") + fileEntry("c.txt", "", "c"));
    NtfsRules ntfs;
    ntfs.folderRenameFailures = failures;
    wchar_t failed[MAX_PATH] = L"";
    ExtractSetup setup = {&jobProgress, nullptr, nullptr, failed, MAX_PATH};
    int result = extractArchiveFile(W(archive).c_str(), W(out).c_str(), setup);
    std::string top = failures < 0 ? A(failed) : out + "\\top";
    EXPECT_EQ(result, failures < 0 ? EXTRACT_FOLDER_KEPT : EXTRACT_OK);
    if (failures < 0) {
      EXPECT_EQ(top.find(out + "\\~kyv"), 0u);
    }
    EXPECT_EQ(attributesOf(top) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(readFile(top + "\\a.txt"), "a");
    EXPECT_EQ(readFile(top + "\\sub\\b.txt"), "b");
    EXPECT_EQ(readFile(out + "\\c.txt"), "c");
  }
}

TEST(MakeDirectoryPath, CreatesEveryMissingLevelWithShiftJisNames) {
  TempDir dir;
  std::string base = dir.path();
  EXPECT_EQ(makeDirectoryPath((base + "\\a\\表\\ソ\\file.txt").c_str(), 0), 0);
  EXPECT_TRUE(folderExists(base + "\\a\\表\\ソ"));
  EXPECT_FALSE(folderExists(base + "\\a\\表\\ソ\\file.txt"));
  EXPECT_TRUE(listFolder(base + "\\a\\表\\ソ").empty());
  EXPECT_EQ(listFolder(base + "\\a"), std::vector<std::string>{"表"});  // no stray "\x95" level
  EXPECT_EQ(makeDirectoryPath((base + "\\b\\能").c_str(), 1), 0);
  EXPECT_TRUE(folderExists(base + "\\b\\能"));
  EXPECT_EQ(makeDirectoryPath((base + "\\c\\d\\").c_str(), 1), 0);
  EXPECT_TRUE(folderExists(base + "\\c\\d"));
  EXPECT_EQ(makeDirectoryPath((base + "\\c\\d").c_str(), 1), 0);  // exists already
  EXPECT_EQ(makeDirectoryPath(("\"" + base + "\\q\\x\"").c_str(), 0), 0);
  EXPECT_TRUE(folderExists(base + "\\q"));
  EXPECT_EQ(makeDirectoryPath("C:\\", 1), 0);
  EXPECT_EQ(makeDirectoryPath("C:\\x.txt", 0), 0);
  // A file in the way: the folder does not exist afterwards.
  writeFile(base + "\\file", "f");
  EXPECT_EQ(makeDirectoryPath((base + "\\file\\sub").c_str(), 1), 1);
  EXPECT_EQ(makeDirectoryPath(std::string(2049, 'x').c_str(), 0), 1);
}

}  // namespace
