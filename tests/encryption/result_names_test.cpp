// Proposed names of the result and the extension rule of the save-as path.
#include "manager/encryption/result_names.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

const char kModuleDir[] = "C:\\Program Files\\Kyvo\\";

std::string last(const char* list, const char* initial = "kept") {
  char target[2049];
  strcpy(target, initial);
  EXPECT_EQ(lastSourcePath(list, target, sizeof target), 0);
  return target;
}

std::string proposed(const char* list) {
  char out[2052];
  proposedResultPath(kModuleDir, list, out, sizeof out);
  return out;
}

std::string fileName(const std::string& proposedPath) {
  char out[2049];
  proposedFileName(proposedPath.c_str(), out, sizeof out);
  return out;
}

TEST(LastSourcePath, LastUsableTokenWinsWithItsQuotesRemoved) {
  EXPECT_EQ(last("\"C:\\w\\a.txt\""), "C:\\w\\a.txt");
  EXPECT_EQ(last("\"C:\\w\\a.txt\" \"C:\\my docs\\b.doc\""), "C:\\my docs\\b.doc");
  EXPECT_EQ(last("C:\\w\\a.txt   C:\\w\\b.txt  "), "C:\\w\\b.txt");
}

TEST(LastSourcePath, TokensBeginningWithSlashOrHyphenAreSkipped) {
  EXPECT_EQ(last("\"C:\\w\\a.txt\" /x -o"), "C:\\w\\a.txt");
  EXPECT_EQ(last("-i \"C:\\w\\a.txt\" /crpmode=1"), "C:\\w\\a.txt");
  // Only the first byte counts: a quoted "-" path is a path.
  EXPECT_EQ(last("\"-name.txt\""), "-name.txt");
}

TEST(LastSourcePath, NoUsableTokenKeepsTheTarget) {
  EXPECT_EQ(last(""), "kept");
  EXPECT_EQ(last("    "), "kept");
  EXPECT_EQ(last("/a -b"), "kept");
  EXPECT_EQ(last(nullptr), "kept");
}

TEST(LastSourcePath, LongTokenIsCutSafelyTo2047Bytes) {
  std::string list = "\"C:\\" + std::string(3000, 'a') + "\"";
  std::string got = last(list.c_str());
  EXPECT_EQ(got.size(), 2047u);
  EXPECT_EQ(got.substr(0, 4), "C:\\a");
  // Double-byte characters are never split.
  std::string kanji = "C:\\x";
  while (kanji.size() < 2100) kanji += "表";
  got = last(kanji.c_str());
  EXPECT_EQ(got.size(), 2046u);  // "C:\x" and 1021 whole characters
  EXPECT_EQ(got.substr(got.size() - 2), "表");
  char small[8];
  lastSourcePath("\"C:\\abcdefgh\"", small, sizeof small);
  EXPECT_STREQ(small, "C:\\abcd");
}

TEST(ProposedResultPath, SingleFileKeepsFolderAndBaseNameWithExe) {
  EXPECT_EQ(proposed("\"C:\\w\\report.txt\""), "C:\\w\\report.exe");
  EXPECT_EQ(fileName(proposed("\"C:\\w\\report.txt\"")), "report.crpt");
  EXPECT_EQ(proposed("\"C:\\w\\archive.tar.gz\""), "C:\\w\\archive.tar.exe");
}

TEST(ProposedResultPath, SeveralSourcesUseTheLast) {
  EXPECT_EQ(proposed("\"C:\\w\\a.txt\" \"D:\\x y\\b.doc\""), "D:\\x y\\b.exe");
  EXPECT_EQ(fileName(proposed("\"C:\\w\\a.txt\" \"D:\\x y\\b.doc\"")), "b.crpt");
}

TEST(ProposedResultPath, FolderSourceIsNamedAfterTheFolderBesideIt) {
  EXPECT_EQ(proposed("\"C:\\w\\Docs\""), "C:\\w\\Docs.exe");
  EXPECT_EQ(fileName(proposed("\"C:\\w\\Docs\"")), "Docs.crpt");
}

TEST(ProposedResultPath, DriveRootGivesAnEmptyBaseName) {
  EXPECT_EQ(proposed("\"E:\\\""), "E:\\.exe");
  EXPECT_EQ(fileName(proposed("\"E:\\\"")), ".crpt");
}

TEST(ProposedResultPath, NoUsableSourceFallsBackToTheProgramFolder) {
  EXPECT_EQ(proposed(""), std::string(kModuleDir) + "暗号化ファイル.exe");
  EXPECT_EQ(proposed("/x -o"), std::string(kModuleDir) + "暗号化ファイル.exe");
  EXPECT_EQ(fileName(proposed("")), "暗号化ファイル.crpt");
}

TEST(ProposedResultPath, ShiftJisNamesWithBackslashTrailBytes) {
  // 表 (95 5C), ソ (83 5C) and 能 (94 5C) end in a byte that is not a separator.
  EXPECT_EQ(proposed("\"C:\\表\\ソ.txt\""), "C:\\表\\ソ.exe");
  EXPECT_EQ(proposed("\"C:\\w\\表\""), "C:\\w\\表.exe");
  EXPECT_EQ(fileName(proposed("\"C:\\w\\表\"")), "表.crpt");
  EXPECT_EQ(fileName("C:\\能\\機能.exe"), "機能.crpt");
  EXPECT_EQ(proposed("\"C:\\表.d\\a\""), "C:\\表.d\\a.exe");
}

TEST(ProposedFileName, BaseNameOver230BytesGetsNoCrpt) {
  std::string at = std::string(230, 'n');
  EXPECT_EQ(fileName("C:\\w\\" + at + ".exe"), at + ".crpt");
  std::string over = std::string(231, 'n');
  EXPECT_EQ(fileName("C:\\w\\" + over + ".exe"), over);
  std::string kanji230, kanji232;
  for (int i = 0; i < 115; ++i) kanji230 += "表";
  kanji232 = kanji230 + "表";
  EXPECT_EQ(fileName("C:\\w\\" + kanji230 + ".exe"), kanji230 + ".crpt");
  EXPECT_EQ(fileName("C:\\w\\" + kanji232 + ".exe"), kanji232);
}

std::string withExtension(const char* path) {
  char out[2049];
  EXPECT_TRUE(withResultExtension(path, out, sizeof out));
  return out;
}

TEST(ResultExtension, ExeOrExUnderscoreInAnyCaseStays) {
  EXPECT_EQ(withExtension("C:\\o\\a.crpt.exe"), "C:\\o\\a.crpt.exe");
  EXPECT_EQ(withExtension("C:\\o\\a.crpt.EXE"), "C:\\o\\a.crpt.EXE");
  EXPECT_EQ(withExtension("C:\\o\\a.crpt.ex_"), "C:\\o\\a.crpt.ex_");
  EXPECT_EQ(withExtension("C:\\o\\a.crpt.eX_"), "C:\\o\\a.crpt.eX_");
  EXPECT_TRUE(hasResultExtension("C:\\o\\表.Exe"));
}

TEST(ResultExtension, NoneOrAnotherGetsExeAppended) {
  EXPECT_EQ(withExtension("C:\\o\\a"), "C:\\o\\a.exe");
  EXPECT_EQ(withExtension("C:\\o\\a.crpt"), "C:\\o\\a.crpt.exe");
  EXPECT_EQ(withExtension("C:\\o\\a.exe.txt"), "C:\\o\\a.exe.txt.exe");
  EXPECT_EQ(withExtension("C:\\o.exe\\a"), "C:\\o.exe\\a.exe");
  EXPECT_EQ(withExtension("C:\\o\\a.exex"), "C:\\o\\a.exex.exe");
  EXPECT_EQ(withExtension("C:\\o\\表"), "C:\\o\\表.exe");
  EXPECT_FALSE(hasResultExtension("C:\\o\\a.ex"));
}

TEST(ResultExtension, ResultThatDoesNotFitIsRefusedNotCut) {
  char out[11] = "x";
  EXPECT_FALSE(withResultExtension("C:\\o\\abc", out, sizeof out));  // needs 13 bytes
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(withResultExtension("C:\\o\\a", out, sizeof out));  // 10 bytes and the terminator
  EXPECT_STREQ(out, "C:\\o\\a.exe");
  EXPECT_FALSE(withResultExtension("C:\\o\\abcdefgh.exe", out, sizeof out));
  EXPECT_STREQ(out, "");
}

}  // namespace
