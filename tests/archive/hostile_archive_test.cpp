// Crafted archives: nothing is ever created outside the output folder, a bad
// entry is skipped with its data, and no buffer is read past.
#include <gtest/gtest.h>
#include <string.h>

#include "archive/archive_files.h"
#include "manager/archive/extractor.h"
#include "manager/base/job_state.h"
#include "support/test_files.h"
#include "support/unix_command.h"
#include "support/narrow_paths.h"

namespace {

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    resetJobState();
    setPath(jobState.moduleDir, (work.path() + "\\"));
    archive = work / "TmpCrp_h.arv";
    stage = work / "stage";
    out = stage + "\\out";
    makeFolder(out);
  }
  // The first entry that failed is kept in failed, as the message names it.
  int extract(const std::string& bytes) {
    writeFile(archive, bytes);
    wchar_t named[600] = L"";
    ExtractSetup setup = {&jobProgress, nullptr, nullptr, named, 600};
    int result = extractArchiveFile(W(archive).c_str(), W(out).c_str(), setup);
    failed = named;
    return result;
  }
  // Only the output folder beside the archive, and nothing but the good
  // entry inside it.
  void expectOnlyTheGoodEntry() {
    EXPECT_EQ(listFolder(work.path()), (std::vector<std::string>{"TmpCrp_h.arv", "stage"}));
    EXPECT_EQ(listFolder(stage), std::vector<std::string>{"out"});
    EXPECT_EQ(namesBelow(out), std::vector<std::string>{"good.txt"});
    EXPECT_EQ(readFile(out + "\\good.txt"), "good");
    removeTree(out);
    makeFolder(out);
  }
  std::string good() { return fileEntry("good.txt", "", "good"); }

  TempDir work;
  std::string archive, stage, out;
  std::wstring failed;
};

// Data of several blocks, so that skipping it has to be right.
const std::string& payload() {
  static const std::string data = patternBytes(100000, 77);
  return data;
}

TEST_F(Hostile, FileEntriesWithEscapingNamesAreSkippedWithTheirData) {
  const char* names[] = {"..\\evil.txt", "..",      ".",        "...",      ".. ",      "sub\\x",  "\\x",
                         "x\\",          "C:x",     "C:\\evil", "x:y",      "a/b",      "../x",    "/abs",
                         "file:ads",     "CON",     "con.txt",  "NUL .txt", "aux...",   "Com1",    "LPT9.tar",
                         "CON ",         "PRN.",    "conin$",   "",         "a*b",      "q?",      "tab\tx"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(extract(fileEntry(name, "", payload()) + good()), EXTRACT_PARTIAL_UNPACK);
    // The message names the entry as it is stored, its controls escaped.
    std::string shown = name;
    if (shown == "tab\tx") shown = "tab\\x09x";
    EXPECT_EQ(A(failed), shown);
    expectOnlyTheGoodEntry();
  }
}

TEST_F(Hostile, FileEntriesWithEscapingFolderPathsAreSkippedWithTheirData) {
  const char* folders[] = {"..",       "..\\..",    "a\\..\\..", ".",       "a\\.\\b",  "...",     ". .",
                           "\\abs",    "\\\\srv\\s", "trail\\",   "a\\\\b",   "C:",       "C:\\x",   "Z:\\tmp",
                           "x:y",      "a/b",        "../x",      "/abs",     "CON",      "sub\\nul.txt",
                           "表\\..",   "ソ\\..\\..", " ",         "LPT1\\x"};
  for (const char* folder : folders) {
    SCOPED_TRACE(folder);
    EXPECT_EQ(extract(fileEntry("evil.txt", folder, payload()) + good()), EXTRACT_PARTIAL_UNPACK);
    expectOnlyTheGoodEntry();
  }
}

TEST_F(Hostile, FolderEntriesWithEscapingPathsAreRefused) {
  struct Case {
    const char* name;
    const char* folder;
  } cases[] = {{"..", ""}, {"", ".."}, {"", "..\\x"}, {"x", ".."}, {"CON", ""}, {"", "a\\..\\.."},
               {"", "\\abs"}, {"", "C:\\evil"}, {"a\\..\\..\\b", ""}, {"", "x/../.."}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "|" + c.folder);
    EXPECT_EQ(extract(folderEntry(c.name, c.folder) + good()), EXTRACT_PARTIAL_UNPACK);
    expectOnlyTheGoodEntry();
  }
}

// Unicode entries name their files in UTF-8: only well-formed UTF-8 of safe
// names is taken, and a name encoding no writer makes is refused.
TEST_F(Hostile, UnicodeEntriesWithUnsafeOrMalformedNamesAreSkipped) {
  struct Case {
    std::string name, folderPath;
    uint8_t encoding;
    std::wstring shown;  // in the message: as stored, bytes of no character escaped
  } cases[] = {
      {"..", "", 1, L".."},
      {"x", "..", 1, L"..\\x"},
      {"x", "ok\\..\\..", 1, L"ok\\..\\..\\x"},
      {"\xC0\xAE\xC0\xAE", "", 1, L"\\xC0\\xAE\\xC0\\xAE"},  // ".." in an overlong form
      {"x", "\xC0\xAE\xC0\xAE", 1, L"\\xC0\\xAE\\xC0\\xAE\\x"},
      {"a\xE0\x80\xAF" "b", "", 1, L"a\\xE0\\x80\\xAFb"},      // "/" in an overlong form
      {"a\xED\xA0\x80", "", 1, L"a\\xED\\xA0\\x80"},          // a surrogate
      {"\xF4\x90\x80\x80", "", 1, L"\\xF4\\x90\\x80\\x80"},  // beyond U+10FFFF
      {"caf\xC3", "", 1, L"caf\\xC3"},                         // a cut sequence
      {"\x81", "", 1, L"\\x81"},                               // a lone continuation byte
      {"CON\xC3\xA9", "", 1, L""},                             // fine UTF-8, and no device: kept below
      {"good.txt", "", 2, L"good.txt"},                          // an encoding no writer makes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " in " + c.folderPath);
    int result = extract(fileEntry(c.name, c.folderPath, payload(), {}, c.encoding) + good());
    if (c.name == "CON\xC3\xA9") {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(listFolder(W(out)), (std::vector<std::wstring>{L"CON\x00E9", L"good.txt"}));
      removeTree(out);
      makeFolder(out);
      continue;
    }
    EXPECT_EQ(result, EXTRACT_PARTIAL_UNPACK);
    EXPECT_EQ(failed, c.shown);
    expectOnlyTheGoodEntry();
  }
  // A well-formed Unicode entry comes back under its own name.
  EXPECT_EQ(extract(folderEntry("\xC3\x86r\xC3\xB8", "", 1) +
                    fileEntry("caf\xC3\xA9.txt", "\xC3\x86r\xC3\xB8", "data", {}, 1)),
            0);
  EXPECT_EQ(readFile(W(out) + L"\\\x00C6r\x00F8\\caf\x00E9.txt"), "data");
}

// The names only say where an entry goes; the disk may say otherwise: a
// link to a folder elsewhere, already inside the output folder, is never
// followed.
TEST_F(Hostile, FoldersThatAreLinksElsewhereAreNotFollowed) {
  std::string outside = work / "outside";
  makeFolder(outside);
  ASSERT_EQ(runUnix("ln -s '" + unixPathOf(outside) + "' '" + unixPathOf(out) + "/link'"), 0);
  ASSERT_TRUE(GetFileAttributesA((out + "\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)
      << "this system shows no link as a reparse point";
  struct Case {
    const char* what;
    std::string entry;
  } cases[] = {
      {"file in the link", fileEntry("x.txt", "link", "escaped")},
      {"file below the link", fileEntry("y.txt", "link\\deep", "escaped")},
      {"folder in the link", folderEntry("sub", "link")},
      {"the link as a folder", folderEntry("link", "")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(extract(c.entry + good()), EXTRACT_PARTIAL_UNPACK);
    EXPECT_TRUE(listFolder(outside).empty());
    EXPECT_EQ(readFile(out + "\\good.txt"), "good");
  }
  runUnix("rm -f '" + unixPathOf(out) + "/link'");
}

TEST_F(Hostile, ShiftJisNamesWithTrailBackslashAreNoEscape) {
  std::string bytes = fileEntry("能", "表\\ソ", "deep") + folderEntry("", "表\\能") + good();
  EXPECT_EQ(extract(bytes), 0);
  EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"good.txt", "表\\", "表\\ソ\\", "表\\ソ\\能", "表\\能\\"}));
  EXPECT_EQ(listFolder(stage), std::vector<std::string>{"out"});
}

TEST_F(Hostile, RefusedEntryWithAStoredLengthPastTheEndEndsTheArchive) {
  RawEntry raw;
  raw.name = "..";
  raw.storedLength = 0x7FFFFFFFFFFFFFFFull;
  raw.compressedFlag = 1;
  EXPECT_EQ(extract(good() + rawHeader(raw) + fileEntry("never.txt", "", "n")), EXTRACT_PARTIAL_UNPACK);
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"good.txt"});
  raw.storedLength = 0xFFFFFFFFFFFFFFFFull;  // would be a step backwards if taken as signed
  EXPECT_EQ(extract(good() + rawHeader(raw) + good()), EXTRACT_PARTIAL_UNPACK);
}

std::string entryWithArea(const std::string& name, const std::string& area, uint64_t storedLength) {
  RawEntry raw;
  raw.formatTag = 0x00020001;
  raw.name = name;
  raw.storedLength = storedLength;
  raw.compressedFlag = 1;
  raw.dataChecksum = unsignedSum(area);
  return rawHeader(raw) + area;
}

TEST_F(Hostile, BlockLongerThanTheReadBufferIsADecompressionFailure) {
  writeFile(out + "\\old.bin", "old");
  std::string area = std::string("\x01\x90", 2) + std::string(36865, 'z');
  EXPECT_EQ(extract(entryWithArea("old.bin", area, area.size()) + good()), EXTRACT_DECOMPRESS);
  EXPECT_EQ(readFile(out + "\\old.bin"), "old");
  EXPECT_EQ(namesBelow(out), std::vector<std::string>{"old.bin"});
  EXPECT_EQ(listFolder(stage), std::vector<std::string>{"out"});
  area = std::string("\xFF\xFF", 2) + std::string(65535, 'z');
  EXPECT_EQ(extract(entryWithArea("new.bin", area, area.size())), EXTRACT_DECOMPRESS);
}

TEST_F(Hostile, BlockLongerThanItsEntryIsADecompressionFailure) {
  std::string area = block(zlibStream(patternBytes(1000, 1)));
  // The stored length ends in the middle of the block; the following bytes
  // (here a valid entry) must not be taken as block data.
  EXPECT_EQ(extract(entryWithArea("short.bin", area, area.size() - 5) + good()), EXTRACT_DECOMPRESS);
  EXPECT_TRUE(namesBelow(out).empty());
}

TEST_F(Hostile, BlockInflatingBeyondOneChunkIsADecompressionFailure) {
  std::string area = block(zlibStream(std::string(36864, 'a')));
  writeFile(out + "\\bomb.bin", "old");
  EXPECT_EQ(extract(entryWithArea("bomb.bin", area, area.size()) + good()), EXTRACT_DECOMPRESS);
  EXPECT_EQ(readFile(out + "\\bomb.bin"), "old");
  area = block(zlibStream(std::string(1 << 20, 'a')));
  EXPECT_EQ(extract(entryWithArea("bomb2.bin", area, area.size())), EXTRACT_DECOMPRESS);
  EXPECT_FALSE(fileExists(out + "\\bomb2.bin"));
}

// The archive is decoded ahead of the entries' checks, but an entry that is
// refused is passed over by its stored length, whatever its data holds.
TEST_F(Hostile, RefusedEntriesArePassedOverEvenWhenTheirDataWouldNotDecode) {
  const std::string areas[] = {
      std::string("\x01\x90", 2) + std::string(36865, 'z'),  // longer than the read buffer
      block("no zlib stream at all"),
      block(zlibStream(std::string(36864, 'a'))),  // inflates beyond one chunk
      blocksOf(payload()).substr(0, 40000),        // cut in the middle of a block
  };
  for (const std::string& area : areas) {
    SCOPED_TRACE(area.size());
    EXPECT_EQ(extract(entryWithArea("..\\evil.bin", area, area.size()) + good()), EXTRACT_PARTIAL_UNPACK);
    expectOnlyTheGoodEntry();
  }
}

TEST_F(Hostile, HugeStoredLengthOnAFileReadsOnlyToTheEndOfTheArchive) {
  std::string area = blocksOf(payload());
  EXPECT_EQ(extract(entryWithArea("huge.bin", area, 0x7FFFFFFFFFFFFFFFull)), EXTRACT_DAMAGED);
  EXPECT_FALSE(fileExists(out + "\\huge.bin"));
}

TEST_F(Hostile, UnterminatedNameFieldsAreCutAndNeverReadPast) {
  RawEntry raw;
  raw.folderFlag = 1;
  raw.name = std::string(261, 'n');  // no terminator: cut to 260 bytes, too long a target
  EXPECT_EQ(extract(rawHeader(raw) + good()), EXTRACT_PATH_TOO_LONG);
  raw.name = "";
  raw.folderPath = std::string(2049, 'f');
  EXPECT_EQ(extract(rawHeader(raw) + good()), EXTRACT_PATH_TOO_LONG);
  EXPECT_TRUE(namesBelow(out).empty());
  EXPECT_EQ(listFolder(stage), std::vector<std::string>{"out"});
  // Padding after the terminator is ignored.
  raw.folderPath = std::string("dir\0../../evil", 14);
  raw.name = std::string("x\0\\..\\..", 8);
  EXPECT_EQ(extract(rawHeader(raw) + good()), 0);
  EXPECT_EQ(namesBelow(out), (std::vector<std::string>{"dir\\", "dir\\x\\", "good.txt"}));
}

}  // namespace
