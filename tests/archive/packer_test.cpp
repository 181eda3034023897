// The packer on real files: entry order, entry fields, the source list, path
// lengths, failures and stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

#include "manager/cipher/primitives.h"

#include "archive/archive_files.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/packer.h"
#include "manager/base/job_state.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/narrow_paths.h"

namespace {

class Packer : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    setPath(jobState.moduleDir, (work.path() + "\\"));
    listPath = work / "TmpCrp_test.prc";
    setPath(jobState.sourceListPath, listPath);
    archive = work / "TmpCrp_test.arv";
    makeFolder(src.path());
  }
  int pack(const std::string& sources) { return packForJob(sources, archive); }
  std::vector<ReadEntry> entries() { return readArchiveFile(archive); }
  std::string line(const std::string& path) {
    return "File=\"" + path + "\";Type=" + std::to_string(GetDriveTypeA("C:\\")) + ";\r\n";
  }
  std::string quoted(const std::string& path) { return "\"" + path + "\""; }

  TempDir work;
  TempDir src;
  std::string archive, listPath;
};

// The order in which the file system lists a folder.
std::vector<std::string> listingOrder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

TEST_F(Packer, EntryOrderOfTheFileAndFolderExample) {
  std::string w = src / "w";
  makeFolder(w + "\\Docs\\Old");
  writeFile(w + "\\a.txt", "alpha");
  writeFile(w + "\\Docs\\x.doc", "document");
  ASSERT_EQ(pack(quoted(w + "\\a.txt") + " " + quoted(w + "\\Docs")), 0);

  std::vector<std::string> expected = {"F:|a.txt"};
  for (const std::string& name : listingOrder(w + "\\Docs")) {
    if (name == "Old") {
      expected.push_back("D:Docs|Old");
      expected.push_back("D:Docs\\Old|");  // the empty folder's folder-end entry
    } else {
      expected.push_back("F:Docs|x.doc");
    }
  }
  // Docs found a sub-folder, so it gets no folder-end entry of its own.
  std::vector<ReadEntry> read = entries();
  EXPECT_EQ(entrySequence(read), expected);
  for (const ReadEntry& e : read) {
    EXPECT_TRUE(e.reservedZero);
    EXPECT_TRUE(e.dataChecksumOk);
    if (e.folderFlag == 1) {
      EXPECT_EQ(e.formatTag, 0u);
      EXPECT_EQ(e.storedLength, 0u);
      EXPECT_EQ(e.entrySpan, 0u);
      EXPECT_EQ(e.compressedFlag, 0u);
      EXPECT_EQ(e.creationTime, 0u);
    } else {
      EXPECT_EQ(e.formatTag, 0x00020001u);
      EXPECT_EQ(e.compressedFlag, 1u);
    }
  }
  EXPECT_EQ(readFile(listPath), line(w + "\\a.txt") + line(w + "\\Docs\\x.doc"));
}

TEST_F(Packer, EmptyTopLevelFolderGivesOneFolderEndEntry) {
  makeFolder(src / "Empty");
  ASSERT_EQ(pack(quoted(src / "Empty")), 0);
  EXPECT_EQ(entrySequence(entries()), std::vector<std::string>{"D:Empty|"});
  EXPECT_FALSE(fileExists(listPath));  // folders get no source-list lines
}

TEST_F(Packer, FileEntriesCarryTimesSizesAndOneBlockPerChunk) {
  struct Case {
    size_t size;
    size_t blocks;
  } cases[] = {{0, 0}, {1, 1}, {32767, 1}, {32768, 1}, {32769, 2}, {100000, 4}};
  std::string sources;
  std::vector<FileTimes> times;
  for (const Case& c : cases) {
    std::string path = src / ("f" + std::to_string(c.size));
    writeFile(path, patternBytes(c.size, static_cast<unsigned>(c.size)));
    setTimes(path, sampleTimes(static_cast<unsigned>(times.size())));
    times.push_back(timesOf(path));
    sources += quoted(path) + " ";
  }
  ASSERT_EQ(pack(sources), 0);
  std::vector<ReadEntry> read = entries();
  ASSERT_EQ(read.size(), 6u);
  for (size_t i = 0; i < read.size(); ++i) {
    const ReadEntry& e = read[i];
    SCOPED_TRACE(cases[i].size);
    EXPECT_EQ(e.name, "f" + std::to_string(cases[i].size));
    EXPECT_EQ(e.folderPath, "");
    EXPECT_EQ(e.entrySpan, cases[i].size + 2434);
    EXPECT_EQ(e.blockSizes.size(), cases[i].blocks);
    uint64_t stored = 0;
    for (size_t b : e.blockSizes) stored += b + 2;
    EXPECT_EQ(e.storedLength, stored);
    EXPECT_EQ(e.data, patternBytes(cases[i].size, static_cast<unsigned>(cases[i].size)));
    EXPECT_TRUE(e.dataChecksumOk);
    EXPECT_EQ(e.creationTime, times[i].creation);
    EXPECT_EQ(e.lastAccessTime, times[i].lastAccess);
    EXPECT_EQ(e.lastWriteTime, times[i].lastWrite);
  }
  // The last file's progress: its size as the total, the bytes written done.
  EXPECT_EQ(A(jobState.statusText), "f100000");
  EXPECT_EQ(progressLoad(&jobState.progressTotal), 100000);
  EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(read[5].storedLength));
}

TEST_F(Packer, SecondBlockOfA32769ByteFileHoldsOneByte) {
  std::string data = patternBytes(32769, 11);
  writeFile(src / "f", data);
  ASSERT_EQ(pack(quoted(src / "f")), 0);
  std::string bytes = readFile(archive);
  ASSERT_GT(bytes.size(), 2434u + 2);
  std::string area = bytes.substr(2434);
  size_t first = static_cast<unsigned char>(area[0]) | (static_cast<unsigned char>(area[1]) << 8);
  std::string second = area.substr(2 + first);
  RawEntry raw;
  raw.storedLength = second.size();
  raw.compressedFlag = 1;
  raw.dataChecksum = unsignedSum(second);
  std::vector<ReadEntry> tail = readArchiveBytes(rawHeader(raw) + second);
  ASSERT_EQ(tail.size(), 1u);
  EXPECT_EQ(tail[0].data, data.substr(32768));
}

// Archives of names code page 932 holds stay byte for byte what the program
// made before it knew Unicode entries, but for the blocks: the digest below
// is of the archive made of this very tree since blocks are compressed with
// libdeflate (every folder holds one item, so no listing order enters). The
// same entries with their blocks made by zlib's level 6, as the previous
// version made them, give that version's archive, digest and all.
TEST_F(Packer, ArchiveOfCodePage932NamesIsTheOneThePreviousVersionMade) {
  std::string s = src.path();
  makeFolder(s + "\\データ\\能力");
  makeFolder(s + "\\ポ");
  std::string text;
  for (int i = 0; i < 100; ++i) text += "表ソ能";
  writeFile(s + "\\表ソ能.txt", text + patternBytes(5000, 3));
  writeFile(s + "\\データ\\能力\\memo.txt", patternBytes(70000, 4));
  writeFile(s + "\\空.txt", "");
  setTimes(s + "\\表ソ能.txt", sampleTimes(1));
  setTimes(s + "\\データ\\能力\\memo.txt", sampleTimes(2));
  setTimes(s + "\\空.txt", sampleTimes(3));
  ASSERT_EQ(pack(quoted(s + "\\表ソ能.txt") + " " + quoted(s + "\\データ") + " " + quoted(s + "\\空.txt") + " " +
                 quoted(s + "\\ポ")),
            0);
  auto digestOf = [](const std::string& bytes) {
    unsigned char digest[32];
    EXPECT_TRUE(cryptoSha256(bytes.data(), bytes.size(), digest));
    char hex[65];
    for (int i = 0; i < 32; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return std::string(hex);
  };
  std::string bytes = readFile(archive);
  EXPECT_EQ(bytes.size(), 89708u);
  EXPECT_EQ(digestOf(bytes), "b85be15afce1024c3fe2b7733e041fb1f59e39fd281bb677f696626a1998b816");
  std::string withZlibBlocks;
  for (const ReadEntry& e : readArchiveBytes(bytes))
    withZlibBlocks += e.folderFlag ? folderEntry(e.name, e.folderPath, e.nameEncoding)
                                   : fileEntry(e.name, e.folderPath, e.data,
                                               EntryTimes{e.creationTime, e.lastAccessTime, e.lastWriteTime},
                                               e.nameEncoding);
  EXPECT_EQ(withZlibBlocks.size(), 89718u);
  EXPECT_EQ(digestOf(withZlibBlocks), "95dee173253c5b5591d2abaaf9c70c8ce59b42922d2cb023ffa54ebdea86d75f");
}

TEST_F(Packer, ShiftJisNamesWithTrailBackslashKeepTheirFolders) {
  // 表, ソ and 能 end in 0x5C; as folder names they are the last byte before a separator.
  std::string top = src / "表";
  // Level by level: the shared makeFolder splits at the 0x5C of 能.
  for (const std::string& f : {top, top + "\\ソ", top + "\\ソ\\能", top + "\\空能"})
    ASSERT_TRUE(CreateDirectoryA(f.c_str(), nullptr)) << f;
  writeFile(top + "\\ソ\\能\\表ソ能.txt", "deep");
  writeFile(top + "\\能", "file named 能");
  ASSERT_EQ(pack(quoted(top)), 0);
  std::vector<std::string> seq = entrySequence(entries());
  std::sort(seq.begin(), seq.end());
  std::vector<std::string> expected = {"D:表\\ソ\\能|",   "D:表\\ソ|能", "D:表\\空能|",
                                       "D:表|ソ",        "D:表|空能",   "F:表\\ソ\\能|表ソ能.txt",
                                       "F:表|能"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(seq, expected);
}

// Selected items that cannot all be packed stop the run before anything is
// packed, and the problem names the item: nothing is ever left out silently.
TEST_F(Packer, SelectionsThatCannotBePackedStopBeforePackingAndNameTheItem) {
  makeFolder(src / "d1");
  makeFolder(src / "d2");
  writeFile(src / "d1\\same.txt", "first");
  writeFile(src / "d2\\SAME.txt", "second");
  writeFile(src / "a.txt", "a");
  struct Case {
    std::string sources;
    int code;
    std::string item, otherItem;
  } cases[] = {
      // Two items of one name (regardless of case) would meet on one target.
      {quoted(src / "d1\\same.txt") + " " + quoted(src / "d2\\SAME.txt"), PACK_NAME_CLASH, src / "d1\\same.txt",
       src / "d2\\SAME.txt"},
      {quoted(src / "a.txt") + " " + quoted(src / "missing.txt"), PACK_NOT_FOUND, src / "missing.txt", ""},
      {quoted(src / "a.txt") + " " + quoted(src / "no\\such\\folder"), PACK_NOT_FOUND, src / "no\\such\\folder", ""},
      {quoted(src / "a*.txt"), PACK_NOT_FOUND, src / "a*.txt", ""},
      {quoted(src.path().substr(0, 2) + "\\"), PACK_DRIVE_ROOT, src.path().substr(0, 2) + "\\", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sources);
    DeleteFileA(archive.c_str());
    DeleteFileA(listPath.c_str());
    PackProblem problem;
    EXPECT_EQ(packForJob(c.sources, archive, &problem), c.code);
    EXPECT_EQ(problem.code, c.code);
    EXPECT_EQ(A(problem.item), c.item);
    EXPECT_EQ(A(problem.otherItem), c.otherItem);
    EXPECT_FALSE(fileExists(archive));
    EXPECT_FALSE(fileExists(listPath));
  }
}

TEST_F(Packer, FolderGivenWithATrailingBackslashIsPackedUnderItsName) {
  makeFolder(src / "Docs");
  writeFile(src / "Docs\\x", "x");
  ASSERT_EQ(pack(quoted(src / "Docs\\")), 0);
  EXPECT_EQ(entrySequence(entries()), (std::vector<std::string>{"F:Docs|x", "D:Docs|"}));
}

TEST_F(Packer, RelativeSourceIsFoundInTheCurrentFolderAndListedAsGiven) {
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(src.path().c_str()));
  writeFile(src / "rel.txt", "relative");
  int result = pack("rel.txt");
  SetCurrentDirectoryA(saved);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(entrySequence(entries()), std::vector<std::string>{"F:|rel.txt"});
  EXPECT_EQ(readFile(listPath), "File=\"rel.txt\";Type=" + std::to_string(GetDriveTypeA("\\")) + ";\r\n");
}

// A folder chain below base whose path is exactly length bytes long.
std::string folderOfLength(const std::string& base, size_t length) {
  std::string path = base;
  while (path.size() < length) {
    size_t room = length - path.size() - 1;
    size_t take = room > 100 ? 100 : room;
    if (room - take == 1) --take;  // never leave a single byte for "\"
    path += "\\" + std::string(take, 'd');
  }
  return path;
}

TEST_F(Packer, SourcePathsOf259BytesArePackedAnd260BytesFail) {
  std::string folder = folderOfLength(src.path(), 200);
  ASSERT_TRUE(makeFolder(folder));
  std::string p259 = folder + "\\" + std::string(258 - folder.size(), 'f');
  ASSERT_EQ(p259.size(), 259u);
  ASSERT_TRUE(writeFile(p259, "259"));
  ASSERT_EQ(pack(quoted(p259)), 0);
  ASSERT_EQ(entries().size(), 1u);
  EXPECT_EQ(readFile(listPath), line(p259));

  // The same file found by a folder walk.
  std::string top = folder.substr(0, folder.find('\\', src.path().size() + 1));
  ASSERT_EQ(pack(quoted(top)), 0);
  std::vector<ReadEntry> walked = entries();
  ASSERT_FALSE(walked.empty());
  bool found259 = false;
  for (const ReadEntry& e : walked) found259 |= e.folderFlag == 0 && e.data == "259";
  EXPECT_TRUE(found259);

  // One byte more: created from the Linux side, since the path is too long
  // for the ANSI file calls.
  std::string name260(259 - folder.size(), 'g');
  ASSERT_EQ(runUnix("touch '" + unixPathOf(folder) + "/" + name260 + "'"), 0);
  DeleteFileA(listPath.c_str());
  EXPECT_EQ(pack(quoted(folder + "\\" + name260)), PACK_SOURCE_FAILED);
  EXPECT_FALSE(fileExists(listPath));  // refused at once: no source-list line
  EXPECT_EQ(pack(quoted(top)), PACK_SOURCE_FAILED);
  std::string list = readFile(listPath);
  EXPECT_EQ(list.find(name260), std::string::npos);
}

TEST_F(Packer, LockedSourceIsInUseAndStillGetsItsLine) {
  writeFile(src / "locked.bin", "secret");
  HANDLE lock = CreateFileA((src / "locked.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  PackProblem problem;
  EXPECT_EQ(packForJob(quoted(src / "locked.bin"), archive, &problem), PACK_IN_USE);
  EXPECT_EQ(A(problem.item), src / "locked.bin");
  CloseHandle(lock);
  EXPECT_EQ(readFile(listPath), line(src / "locked.bin"));
}

TEST_F(Packer, ArchiveThatCannotBeWrittenFailsAndTheLineIsStillWritten) {
  writeFile(src / "a", "a");
  makeFolder(src / "F");
  PackProblem problem;
  EXPECT_EQ(packForJob(quoted(src / "a"), work / "no\\such\\folder\\x.arv", &problem), PACK_ARCHIVE_UNWRITABLE);
  EXPECT_EQ(A(problem.item), "");
  EXPECT_EQ(readFile(listPath), line(src / "a"));
  EXPECT_EQ(packForJob(quoted(src / "F"), work / "no\\such\\folder\\x.arv"), PACK_ARCHIVE_UNWRITABLE);
}

TEST_F(Packer, OverlongTokensFailWithoutOverrun) {
  writeFile(src / "a", "a");
  std::string longSource(3000, 's');
  EXPECT_EQ(pack(quoted(src / "a") + " " + longSource), PACK_SOURCE_FAILED);
  EXPECT_EQ(listFolder(work.path()), std::vector<std::string>{});  // refused before packing
}

TEST_F(Packer, FolderThatCannotBeListedStopsTheRun) {
  EXPECT_EQ(addFolderTree(archive, (src / "not there").c_str(), "not there"), 9);
  EXPECT_TRUE(entries().empty());
  std::string tooLong(260, 'x');
  EXPECT_EQ(addFolderTree(archive, tooLong.c_str(), "x"), 9);
}

TEST_F(Packer, StopBeforePackingGives99AndPacksNothing) {
  writeFile(src / "a", "a");
  jobState.stopCode = STOP_REQUESTED;
  EXPECT_EQ(pack(quoted(src / "a")), PACK_STOPPED);
  EXPECT_FALSE(fileExists(archive));
  EXPECT_FALSE(fileExists(listPath));
}

TEST_F(Packer, StopBetweenTopLevelSourcesGives99) {
  writeFile(src / "first", "");  // no blocks: the stop is only seen between sources
  writeFile(src / "last", patternBytes(100000, 2));
  // Many empty sources keep the packer between sources long enough for the
  // stop to arrive while it is among them, well before the last.
  std::string sources = quoted(src / "first");
  for (int i = 0; i < 1000; ++i) {  // enough on a loaded machine too
    writeFile(src / ("e" + std::to_string(i)), "");
    sources += " " + quoted(src / ("e" + std::to_string(i)));
  }
  sources += " " + quoted(src / "last");
  int result;
  {
    StopOnStatus stop("e", true);
    result = pack(sources);
    EXPECT_TRUE(stop.fired());
  }
  EXPECT_EQ(result, PACK_STOPPED);
  std::vector<std::string> seq = entrySequence(entries());
  ASSERT_FALSE(seq.empty());
  EXPECT_EQ(seq.front(), "F:|first");
  EXPECT_EQ(std::count(seq.begin(), seq.end(), "F:|last"), 0);
}

TEST_F(Packer, StopInsideAFileGives99AndLeavesAProvisionalHeader) {
  std::string big = src / "big.bin";
  writeFile(big, patternBytes(8 << 20, 3));
  writeFile(src / "after", "after");
  // Compressing in the worker thread alone and on the compression threads.
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    setPackerThreads(threads);
    resetJobState();
    setPath(jobState.moduleDir, (work.path() + "\\"));
    setPath(jobState.sourceListPath, listPath);
    DeleteFileA(listPath.c_str());
    int result;
    {
      StopWhen stop("big.bin");
      result = pack(quoted(big) + " " + quoted(src / "after"));
      EXPECT_TRUE(stop.fired());
    }
    EXPECT_EQ(result, PACK_STOPPED);
    std::string bytes = readFile(archive);
    ASSERT_GE(bytes.size(), 2434u);
    EXPECT_EQ(bytes.substr(2430, 4), std::string(4, '\0'));  // header checksum still 0
    EXPECT_TRUE(entries().empty());  // readers stop at the provisional header
    EXPECT_LT(bytes.size(), static_cast<size_t>(8 << 20));
    // Every block written was counted before the stop was seen.
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(bytes.size() - 2434));
    EXPECT_EQ(readFile(listPath), line(big));
  }
  setPackerThreads(0);
}

TEST_F(Packer, StopIsCheckedAfterEveryListedItemAndTheFolderStillGetsItsEnd) {
  makeFolder(src / "F");
  for (int i = 0; i < 5; ++i) writeFile(src / ("F\\f" + std::to_string(i)), "x");
  jobState.stopCode = STOP_REQUESTED;
  EXPECT_EQ(addFolderTree(archive, (src / "F").c_str(), "F"), 99);
  std::vector<std::string> seq = entrySequence(entries());
  ASSERT_FALSE(seq.empty());
  EXPECT_LE(seq.size(), 2u);  // at most the first item, then the folder-end entry
  EXPECT_EQ(seq.back(), "D:F|");
}

}  // namespace
