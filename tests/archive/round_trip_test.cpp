// Whole trees packed with packForJob and restored by the extractor: names,
// folders, contents and file times come back.
#include <gtest/gtest.h>
#include <string.h>

#include <map>

#include "archive/archive_files.h"
#include "manager/archive/extractor.h"
#include "manager/archive/packer.h"
#include "manager/base/job_state.h"
#include "support/test_files.h"
#include "support/narrow_paths.h"

namespace {

// Text-like bytes that compress well but not trivially.
std::string textLike(size_t size, unsigned seed) {
  static const char* const words[] = {"archive ", "表ソ能 ", "block ", "zlib\r\n", "header ", "データ ", "x "};
  std::string s;
  unsigned x = seed;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += words[(x >> 16) % 7];
  }
  s.resize(size);
  return s;
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    setPath(jobState.moduleDir, (work.path() + "\\"));
    setPath(jobState.sourceListPath, (work / "list.prc"));
    archive = work / "TmpCrp_rt.arv";
    src = work / "src";
    out = work / "out";
    folders({src, out});
  }
  // Creates folders level by level (Shift-JIS names included).
  void folders(std::initializer_list<std::string> paths) {
    for (const std::string& p : paths) ASSERT_TRUE(CreateDirectoryA(p.c_str(), nullptr)) << p;
  }
  void file(const std::string& path, const std::string& data) {
    ASSERT_TRUE(writeFile(path, data)) << path;
    ASSERT_TRUE(setTimes(path, sampleTimes(static_cast<unsigned>(sourceTimes.size() + 1))));
    sourceTimes[path] = timesOf(path);  // read before packing
  }
  int pack(const std::string& sources) { return packForJob(sources, archive); }
  // The times of every restored file match its source's (creation times are
  // not kept by the platform here).
  void expectTimes(const std::string& srcRoot, const std::string& outRoot) {
    for (const auto& entry : sourceTimes) {
      if (entry.first.compare(0, srcRoot.size(), srcRoot) != 0) continue;
      std::string restored = outRoot + entry.first.substr(srcRoot.size());
      FileTimes t = timesOf(restored);
      EXPECT_EQ(t.lastWrite, entry.second.lastWrite) << restored;
      EXPECT_EQ(t.lastAccess, entry.second.lastAccess) << restored;
    }
  }

  TempDir work;
  std::string archive, src, out;
  std::map<std::string, FileTimes> sourceTimes;
};

TEST_F(RoundTrip, ShiftJisTreeWithBoundarySizesAndEmptyFoldersComesBackWhole) {
  std::string tree = src + "\\tree";
  folders({tree, tree + "\\表", tree + "\\表\\能", tree + "\\ソ", tree + "\\x表", tree + "\\Empty",
           tree + "\\nest", tree + "\\nest\\a", tree + "\\nest\\a\\b", tree + "\\能"});
  file(tree + "\\表\\ソ.txt", textLike(5000, 1));
  file(tree + "\\ソ\\能", "file named 能");
  file(tree + "\\x表\\y能", textLike(40000, 2));
  file(tree + "\\能\\表", "");
  file(tree + "\\empty.dat", "");
  file(tree + "\\f32767", patternBytes(32767, 1));
  file(tree + "\\f32768", patternBytes(32768, 2));
  file(tree + "\\f32769", patternBytes(32769, 3));
  file(tree + "\\nest\\a\\zeros.bin", std::string(1 << 20, '\0'));
  file(tree + "\\big.bin", textLike(1 << 20, 4) + patternBytes(2 << 20, 5) + std::string(300000, 'z'));
  folders({src + "\\EmptyTop"});
  file(src + "\\top.txt", "top");

  ASSERT_EQ(pack("\"" + tree + "\" \"" + src + "\\top.txt\" \"" + src + "\\EmptyTop\""), 0);
  ASSERT_EQ(extractArchiveFile(archive, out), 0);
  // Times first: reading the contents moves the last-access time.
  expectTimes(tree, out + "\\tree");
  expectTimes(src + "\\top.txt", out + "\\top.txt");
  EXPECT_EQ(compareTrees(tree, out + "\\tree"), "");
  EXPECT_EQ(readFile(out + "\\top.txt"), "top");
  EXPECT_TRUE(folderExists(out + "\\EmptyTop"));
  EXPECT_EQ(listFolder(out), (std::vector<std::string>{"EmptyTop", "top.txt", "tree"}));
  EXPECT_TRUE(temporaryFilesBelow(out).empty());

  // Restoring again over the same files, into the folder given with a
  // trailing backslash, replaces them and changes nothing else.
  writeFile(out + "\\top.txt", "changed meanwhile");
  ASSERT_EQ(extractArchiveFile(archive, out + "\\"), 0);
  expectTimes(tree, out + "\\tree");  // before reading the contents, which moves last-access
  EXPECT_EQ(compareTrees(tree, out + "\\tree"), "");
  EXPECT_EQ(readFile(out + "\\top.txt"), "top");
}

// Both ways between compressors: an archive whose blocks zlib's level 6 made,
// as every earlier program made them, restores exactly; and the packer's
// archive reads back whole through zlib's uncompress (the independent
// reader), as older programs and the browser's reader read it.
TEST_F(RoundTrip, ArchivesOfZlibRestoreAndThePackersInflateWithZlib) {
  const std::pair<std::string, std::string> files[] = {
      {"empty", ""},
      {"text 表.txt", textLike(100000, 7)},
      {"f32768", patternBytes(32768, 8)},
      {"f32769", textLike(32769, 9)},
      {"noise", patternBytes(200000, 10)},
      {"zeros", std::string(70000, '\0')},
  };
  std::string zlibArchive, sources;
  for (const auto& f : files) {
    file(src + "\\" + f.first, f.second);
    zlibArchive += fileEntry(f.first, "", f.second);
    sources += "\"" + src + "\\" + f.first + "\" ";
  }
  ASSERT_TRUE(writeFile(archive, zlibArchive));
  ASSERT_EQ(extractArchiveFile(archive, out), 0);
  for (const auto& f : files) EXPECT_TRUE(readFile(out + "\\" + f.first) == f.second) << f.first;

  DeleteFileA(archive.c_str());
  ASSERT_EQ(pack(sources), 0);
  std::vector<ReadEntry> entries = readArchiveFile(archive);
  ASSERT_EQ(entries.size(), sizeof files / sizeof files[0]);
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, files[i].first);
    EXPECT_TRUE(entries[i].data == files[i].second) << files[i].first;
    EXPECT_TRUE(entries[i].dataChecksumOk) << files[i].first;
  }
}

TEST_F(RoundTrip, DocumentedExampleRestoresBothFoldersAndTheFile) {
  std::string w = src + "\\w";
  folders({w, w + "\\Docs", w + "\\Docs\\Old"});
  file(w + "\\a.txt", "alpha");
  file(w + "\\Docs\\x.doc", textLike(70000, 9));
  ASSERT_EQ(pack("\"" + w + "\\a.txt\" \"" + w + "\\Docs\""), 0);
  ASSERT_EQ(extractArchiveFile(archive, out), 0);
  EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"Docs\\", "Docs\\Old\\", "Docs\\x.doc", "a.txt"}));
  expectTimes(w + "\\Docs", out + "\\Docs");
  EXPECT_EQ(compareTrees(w + "\\Docs", out + "\\Docs"), "");
}


TEST_F(RoundTrip, HiddenSourceIsRestoredVisibleButAHiddenTargetStaysHidden) {
  file(src + "\\h.txt", "hidden source");
  SetFileAttributesA((src + "\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(pack("\"" + src + "\\h.txt\""), 0);
  ASSERT_EQ(extractArchiveFile(archive, out), 0);
  EXPECT_FALSE(attributesOf(out + "\\h.txt") & FILE_ATTRIBUTE_HIDDEN);  // attributes are not stored
  SetFileAttributesA((out + "\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(extractArchiveFile(archive, out), 0);
  EXPECT_TRUE(attributesOf(out + "\\h.txt") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(readFile(out + "\\h.txt"), "hidden source");
}

}  // namespace
