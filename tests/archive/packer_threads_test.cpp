// The packer with its compression threads: the archive is byte for byte the
// one a single thread writes, a stop still lands between two blocks, every
// failure keeps its code, and no thread outlives the packing run.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <tlhelp32.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive_files.h"
#include "archive/packer_data.h"
#include "common/unique_handle.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/packer.h"
#include "manager/base/job_state.h"
#include "support/narrow_paths.h"
#include "support/stop_when.h"
#include "support/test_files.h"
#include "support/unix_command.h"

namespace {

// Where two byte strings first differ, or -1 (never prints megabytes).
long long firstDifference(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<long long>(i);
  return a.size() == b.size() ? -1 : static_cast<long long>(n);
}

// Whether area is the first k whole blocks of full, for some k; *blocks = k.
bool isWholeBlockPrefix(const std::string& area, const std::string& full, size_t* blocks) {
  size_t at = 0;
  *blocks = 0;
  while (at < area.size() && at + 2 <= full.size()) {
    at += 2 + (static_cast<unsigned char>(full[at]) | (static_cast<unsigned char>(full[at + 1]) << 8));
    ++*blocks;
  }
  return at == area.size() && full.compare(0, area.size(), area) == 0;
}

// The identifiers of the threads of this process, sorted.
std::vector<DWORD> threadsOfThisProcess() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
  CloseHandle(snapshot);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The identifiers in a but not in b.
std::vector<DWORD> without(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
  std::vector<DWORD> out;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

// A small ext2 volume on a loop device. Once cut, the image behind the device
// is shortened, so that reading the far part of a file on it fails with an
// I/O error while its first part still reads.
class CutLoopDisk {
 public:
  explicit CutLoopDisk(const std::string& folder) : unix_(unixPathOf(folder)) {
    std::string out;
    int status = runUnix("set -e; d='" + unix_ + "'; mkdir -p \"$d/m\"; truncate -s 8M \"$d/img\"; "
                         "mkfs.ext2 -q -F -b 4096 \"$d/img\"; dev=$(losetup -f --show \"$d/img\"); "
                         "echo \"$dev\" > \"$d/dev\"; mount \"$dev\" \"$d/m\" 2>&1",
                         &out);
    ok_ = status == 0;
    why_ = "loop device and mount: status " + std::to_string(status) + " " + out;
    windowsPath_ = folder + "\\m";
  }
  ~CutLoopDisk() {
    runUnix("d='" + unix_ + "'; umount \"$d/m\"; [ -f \"$d/dev\" ] && losetup -d \"$(cat \"$d/dev\")\"; "
            "rm -f \"$d/img\" \"$d/dev\"; rmdir \"$d/m\"; true");
  }
  CutLoopDisk(const CutLoopDisk&) = delete;
  CutLoopDisk& operator=(const CutLoopDisk&) = delete;
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }
  const std::string& windowsPath() const { return windowsPath_; }
  // Remounts the volume read-only (dropping what was cached of its files)
  // and leaves only the first bytes of the device.
  bool cut(const std::string& size) {
    return runUnix("set -e; d='" + unix_ + "'; dev=$(cat \"$d/dev\"); sync; umount \"$d/m\"; "
                   "mount -o ro \"$dev\" \"$d/m\"; truncate -s " + size + " \"$d/img\"; losetup -c \"$dev\"") == 0;
  }

 private:
  std::string unix_, windowsPath_, why_;
  bool ok_ = false;
};

struct Packed {
  int result = -1;
  std::string archive, list, status;
  int64_t done = -1, total = -1;
};

class PackerThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    setPath(jobState.moduleDir, (work.path() + "\\"));
    ASSERT_TRUE(makeFolder(src.path()));
  }
  void TearDown() override { setPackerThreads(0); }

  // Writes a source file with fixed times, which every pack restores first
  // (reading a file moves its last-access time).
  void source(const std::string& path, const std::string& data) {
    ASSERT_TRUE(writeFile(path, data)) << path;
    times.push_back({path, sampleTimes(static_cast<unsigned>(times.size()))});
    ASSERT_TRUE(setTimes(path, times.back().second));
  }
  void restoreTimes() {
    for (const auto& t : times) ASSERT_TRUE(setTimes(t.first, t.second));
  }
  // Packs the sources with the given number of threads into an archive of
  // its own.
  Packed pack(int threads, const std::string& sources) {
    restoreTimes();
    setPackerThreads(threads);
    std::string name = work / ("threads" + std::to_string(threads));
    setPath(jobState.sourceListPath, (name + ".prc"));
    jobState.stopCode = 0;
    Packed p;
    p.result = packForJob(sources, name + ".arv");
    p.archive = readFile(name + ".arv");
    p.list = readFile(name + ".prc");
    p.status = A(jobState.statusText);
    p.done = progressLoad(&jobState.progressDone);
    p.total = progressLoad(&jobState.progressTotal);
    return p;
  }
  std::string quoted(const std::string& path) { return "\"" + path + "\""; }
  // Forgets the last run's status and progress, which a stop watcher would
  // otherwise take for the next run's.
  void clearProgress() {
    jobState.stopCode = 0;
    reportStatus(jobProgress, "");
    progressStore(&jobState.progressDone, 0);
    progressStore(&jobState.progressTotal, 0);
  }

  TempDir work;
  TempDir src;
  std::vector<std::pair<std::string, FileTimes>> times;
};

TEST_F(PackerThreads, ParallelArchivesAreByteForByteTheSerialOne) {
  struct File {
    std::string name, data;
  };
  std::vector<File> files = {
      {"empty", ""},
      {"one", "1"},
      {"f32767", textLike(32767, 1)},
      {"f32768", patternBytes(32768, 2)},
      {"f32769", textLike(32769, 3)},
      {"f65536", patternBytes(65536, 4)},
      {"f65537", textLike(65537, 5)},
      {"text.txt", textLike((3 << 20) + 123, 6)},
      {"random.bin", patternBytes((3 << 20) + 7, 7)},
      {"zeros.bin", std::string(2 << 20, '\0')},
      {"mixed.dat", mixedChunks((5 << 20) + 1, 8)},
  };
  std::string sources, expectedTop;
  for (const File& f : files) {
    std::string path = src / f.name;
    source(path, f.data);
    FileTimes t = timesOf(path);
    expectedTop += fileEntry(f.name, "", f.data, EntryTimes{t.creation, t.lastAccess, t.lastWrite}, 0,
                             Deflater::LIBDEFLATE);
    sources += quoted(path) + " ";
  }
  // A folder walk too, with Shift-JIS names whose second byte is 0x5C.
  std::string tree = src / "表";
  for (const std::string& f : {tree, tree + "\\ソ", tree + "\\空"})
    ASSERT_TRUE(CreateDirectoryA(f.c_str(), nullptr)) << f;
  source(tree + "\\ソ\\能.bin", mixedChunks(200000, 9));
  source(tree + "\\small", textLike(1000, 10));
  source(tree + "\\big", patternBytes(100000, 11));
  sources += quoted(tree);

  Packed serial = pack(1, sources);
  ASSERT_EQ(serial.result, 0);
  // The top-level files are exactly the entries built independently here,
  // so the serial archive is the reference for the rest.
  ASSERT_GT(serial.archive.size(), expectedTop.size());
  EXPECT_EQ(firstDifference(serial.archive.substr(0, expectedTop.size()), expectedTop), -1);
  EXPECT_EQ(entrySequence(readArchiveBytes(serial.archive.substr(expectedTop.size()))).size(), 7u);

  for (int threads : {2, 3, 4}) {
    SCOPED_TRACE(threads);
    Packed parallel = pack(threads, sources);
    EXPECT_EQ(parallel.result, 0);
    EXPECT_EQ(firstDifference(parallel.archive, serial.archive), -1);
    EXPECT_EQ(parallel.list, serial.list);
    EXPECT_EQ(parallel.status, serial.status);
    EXPECT_EQ(parallel.done, serial.done);
    EXPECT_EQ(parallel.total, serial.total);
    EXPECT_EQ(compressThreadsRunning(), 0);
  }
}

TEST_F(PackerThreads, AStopSeenAtTheFirstBlockLetsExactlyThatBlockBeWritten) {
  std::string data = mixedChunks(1 << 20, 3);
  std::string path = src / "big.bin";
  source(path, data);
  std::string firstBlock = blocksOf(data.substr(0, 32768), Deflater::LIBDEFLATE);
  std::string serialBytes;
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    restoreTimes();
    setPackerThreads(threads);
    std::string archive = work / ("stop" + std::to_string(threads) + ".arv");
    setPath(jobState.sourceListPath, (work / "stop.prc"));
    DeleteFileW(jobState.sourceListPath);
    clearProgress();
    // Cancel from the moment the file's name is on the status line.
    Progress cancelled = jobProgress;
    cancelled.stopRequested = [] { return jobState.statusText[0] != 0; };
    {
      SourceListWriter list(jobState.sourceListPath);
      ArchiveFileSink sink(archive);
      EXPECT_EQ(buildArchive(W(quoted(path)).c_str(), list.packSetup(cancelled, &sink)), PACK_STOPPED);
    }
    EXPECT_EQ(compressThreadsRunning(), 0);
    std::string bytes = readFile(archive);
    ASSERT_EQ(bytes.size(), 2434u + firstBlock.size());
    EXPECT_EQ(bytes.substr(2430, 4), std::string(4, '\0'));  // the provisional header
    EXPECT_EQ(bytes.substr(2434), firstBlock);
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(firstBlock.size()));
    EXPECT_EQ(progressLoad(&jobState.progressTotal), 1 << 20);
    EXPECT_NE(readFile(A(jobState.sourceListPath)).find(path), std::string::npos);
    if (threads == 1) serialBytes = bytes;
    EXPECT_EQ(bytes, serialBytes);
  }
}

TEST_F(PackerThreads, CancelWhilePackingLeavesWholeBlocksOfTheSerialDataArea) {
  std::string data = mixedChunks(8 << 20, 4);
  std::string big = src / "big.bin";
  source(big, data);
  source(src / "after", "after");
  std::string area = blocksOf(data, Deflater::LIBDEFLATE);
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    restoreTimes();
    setPackerThreads(threads);
    std::string archive = work / "cancel.arv";
    setPath(jobState.sourceListPath, (work / "cancel.prc"));
    DeleteFileW(jobState.sourceListPath);
    clearProgress();
    int result;
    {
      StopWhen stop("big.bin");
      result = packForJob(quoted(big) + " " + quoted(src / "after"), archive);
      EXPECT_TRUE(stop.fired());
    }
    EXPECT_EQ(result, PACK_STOPPED);
    EXPECT_EQ(compressThreadsRunning(), 0);
    std::string bytes = readFile(archive);
    ASSERT_GE(bytes.size(), 2434u);
    EXPECT_EQ(bytes.substr(2430, 4), std::string(4, '\0'));
    std::string written = bytes.substr(2434);
    size_t blocks = 0;
    EXPECT_TRUE(isWholeBlockPrefix(written, area, &blocks));
    EXPECT_GE(blocks, 1u);
    EXPECT_LT(written.size(), area.size());
    // Every block written was counted, and the check came after the count.
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(written.size()));
    EXPECT_EQ(readFile(A(jobState.sourceListPath)).find("after"), std::string::npos);
  }
}

TEST_F(PackerThreads, CompressionThreadsLiveOnlyWhileThePackingRunLasts) {
  source(src / "a.bin", mixedChunks(100000, 1));
  // Large enough that the stop, pressed only after the threads were counted
  // (a slow snapshot under Wine), still comes while it is being packed.
  source(src / "big.bin", mixedChunks(32 << 20, 2));
  std::string sources = quoted(src / "a.bin") + " " + quoted(src / "big.bin");
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    clearProgress();
    const std::vector<DWORD> before = threadsOfThisProcess();
    ASSERT_FALSE(before.empty());
    Packed p;
    int poolThreads = -1;
    std::vector<DWORD> during;
    {
      // Once big.bin has its first block: the pool's threads and the
      // process's (less the pressing thread), then Cancel.
      StopWhen stop("big.bin", [&] {
        poolThreads = compressThreadsRunning();
        during = without(threadsOfThisProcess(), {GetCurrentThreadId()});
      });
      p = pack(threads, sources);
      EXPECT_TRUE(stop.fired());
    }
    EXPECT_EQ(p.result, PACK_STOPPED);  // the stop came while big.bin was packed
    const int expected = threads == 1 ? 0 : threads;
    EXPECT_EQ(poolThreads, expected);
    EXPECT_EQ(compressThreadsRunning(), 0);
    // The platform may start a helper thread of its own at any time, so the
    // threads that came up while packing are at least the pool's, and all
    // but such helpers have ended once the run is over.
    std::vector<DWORD> started = without(during, before);
    std::vector<DWORD> stillThere = without(started, without(started, threadsOfThisProcess()));
    EXPECT_GE(started.size(), static_cast<size_t>(expected));
    EXPECT_LE(stillThere.size(), started.size() - expected);
  }
}

// The walk loads the files it comes to next on the pool's threads; a file
// that fails still fails where a walk doing everything itself fails: same
// result, same item, same archive and source list up to that point.
TEST_F(PackerThreads, AFailureAmongFilesLoadedAheadComesWhereTheSerialWalkMeetsIt) {
  std::string tree = src / "表";
  ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr));
  for (unsigned i = 0; i < 40; ++i)
    source(tree + "\\f" + std::to_string(i), i % 2 ? textLike(3000 + i * 500, i) : patternBytes(i * 700, i));
  // The file held open is one the walk meets halfway, in listing order.
  std::vector<std::string> listed;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((tree + "\\f*").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do listed.push_back(found.cFileName);
  while (FindNextFileA(find, &found));
  FindClose(find);
  ASSERT_EQ(listed.size(), 40u);
  TmpfsMount disk("64k");
  KYVO_REQUIRE_MOUNT(disk);
  std::string eachFile;  // the same files selected one by one
  for (const std::string& name : listed) eachFile += quoted(tree + "\\" + name) + " ";
  struct Case {
    const char* what;
    std::string sources, archive, locked;
    int code;
  } cases[] = {
      {"a file held by another program", quoted(tree), work / "locked.arv", tree + "\\" + listed[20], PACK_IN_USE},
      {"the same among selected files", eachFile, work / "locked.arv", tree + "\\" + listed[20], PACK_IN_USE},
      {"the disk of the archive full", quoted(tree), disk.windowsPath() + "\\full.arv", "", PACK_ARCHIVE_UNWRITABLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueFile lock(c.locked.empty() ? INVALID_HANDLE_VALUE
                                     : CreateFileA(c.locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                                   nullptr));
    std::string serialArchive, serialList, serialItem;
    for (int threads : {1, 2, 4}) {
      SCOPED_TRACE(threads);
      restoreTimes();
      setPackerThreads(threads);
      setPath(jobState.sourceListPath, (work / "ahead.prc"));
      DeleteFileW(jobState.sourceListPath);
      DeleteFileA(c.archive.c_str());
      clearProgress();
      PackProblem problem;
      EXPECT_EQ(packForJob(c.sources, c.archive, &problem), c.code);
      EXPECT_EQ(compressThreadsRunning(), 0);
      std::string item = A(problem.item), bytes = readFile(c.archive), list = readFile(A(jobState.sourceListPath));
      EXPECT_EQ(item, c.locked);  // an archive that can't be written is no item of the selection
      if (threads == 1) {
        serialArchive = bytes;
        serialList = list;
        serialItem = item;
        EXPECT_GT(bytes.size(), 10 * 2434u) << "entries before the failure";
      }
      EXPECT_EQ(firstDifference(bytes, serialArchive), -1);
      EXPECT_EQ(list, serialList);
    }
  }
}

TEST_F(PackerThreads, FullDiskFailsInEveryModeAfterTheSameBlocks) {
  TmpfsMount disk("256k");
  KYVO_REQUIRE_MOUNT(disk);
  std::string path = src / "random.bin";
  source(path, patternBytes(1 << 20, 5));  // incompressible: more than the disk holds
  std::string archive = disk.windowsPath() + "\\full.arv";
  std::string serialBytes;
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    restoreTimes();
    setPackerThreads(threads);
    setPath(jobState.sourceListPath, (work / "full.prc"));
    DeleteFileA(archive.c_str());
    EXPECT_EQ(packForJob(quoted(path), archive), PACK_ARCHIVE_UNWRITABLE);
    EXPECT_EQ(compressThreadsRunning(), 0);
    std::string bytes = readFile(archive);
    EXPECT_GT(bytes.size(), 2434u);
    if (threads == 1) serialBytes = bytes;
    EXPECT_EQ(firstDifference(bytes, serialBytes), -1);
    DeleteFileA(archive.c_str());
  }
}

TEST_F(PackerThreads, ReadFailureCountsOnlyAfterEveryBlockBeforeItIsWritten) {
  CutLoopDisk disk(work / "disk");
  if (!disk.ok()) GTEST_SKIP() << "no loop device: " << disk.why();
  std::string data = mixedChunks(6000000, 6);
  std::string path = disk.windowsPath() + "\\far.bin";
  ASSERT_TRUE(writeFile(path, data));
  ASSERT_TRUE(disk.cut("3M"));
  std::string area = blocksOf(data, Deflater::LIBDEFLATE);
  std::string serialBytes;
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    setPackerThreads(threads);
    std::string archive = work / ("read" + std::to_string(threads) + ".arv");
    setPath(jobState.sourceListPath, (work / "read.prc"));
    EXPECT_EQ(packForJob(quoted(path), archive), PACK_UNREADABLE);
    EXPECT_EQ(compressThreadsRunning(), 0);
    std::string bytes = readFile(archive);
    ASSERT_GE(bytes.size(), 2434u);
    std::string written = bytes.substr(2434);
    size_t blocks = 0;
    EXPECT_TRUE(isWholeBlockPrefix(written, area, &blocks));
    EXPECT_LT(written.size(), area.size());
    EXPECT_EQ(progressLoad(&jobState.progressDone), static_cast<int64_t>(written.size()));
    if (threads == 1) {
      serialBytes = bytes;
      // The chunks that still read are written before the failure counts,
      // with more of them than the threads read ahead.
      EXPECT_GT(blocks, static_cast<size_t>(2 * COMPRESS_SLOTS_PER_THREAD)) << "blocks before the failed read";
    }
    EXPECT_EQ(firstDifference(bytes, serialBytes), -1);
  }
}

}  // namespace
