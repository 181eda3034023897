// Proposed names of the result and the extension rule of the save-as path.
#include "manager/encryption/result_names.h"

#include <gtest/gtest.h>
#include <string.h>
#include <wchar.h>

#include <string>

namespace {

const wchar_t kModuleDir[] = L"C:\\Program Files\\Kyvo\\";

std::wstring last(const wchar_t* list, const wchar_t* initial = L"kept") {
  wchar_t target[2049];
  wcscpy(target, initial);
  EXPECT_EQ(lastSourcePath(list, target, 2049), 0);
  return target;
}

std::wstring proposed(const wchar_t* list) {
  wchar_t out[2052];
  proposedResultPath(kModuleDir, list, out, 2052);
  return out;
}

std::wstring fileName(const std::wstring& proposedPath) {
  wchar_t out[2049];
  proposedFileName(proposedPath.c_str(), out, 2049);
  return out;
}

TEST(LastSourcePath, LastUsableTokenWinsWithItsQuotesRemoved) {
  EXPECT_EQ(last(L"\"C:\\w\\a.txt\""), L"C:\\w\\a.txt");
  EXPECT_EQ(last(L"\"C:\\w\\a.txt\" \"C:\\my docs\\b.doc\""), L"C:\\my docs\\b.doc");
  EXPECT_EQ(last(L"C:\\w\\a.txt   C:\\w\\b.txt  "), L"C:\\w\\b.txt");
}

TEST(LastSourcePath, TokensBeginningWithSlashOrHyphenAreSkipped) {
  EXPECT_EQ(last(L"\"C:\\w\\a.txt\" /x -o"), L"C:\\w\\a.txt");
  EXPECT_EQ(last(L"-i \"C:\\w\\a.txt\" /crpmode=1"), L"C:\\w\\a.txt");
  // Only the first character counts: a quoted "-" path is a path.
  EXPECT_EQ(last(L"\"-name.txt\""), L"-name.txt");
}

TEST(LastSourcePath, NoUsableTokenKeepsTheTarget) {
  EXPECT_EQ(last(L""), L"kept");
  EXPECT_EQ(last(L"    "), L"kept");
  EXPECT_EQ(last(L"/a -b"), L"kept");
  EXPECT_EQ(last(nullptr), L"kept");
}

TEST(LastSourcePath, LongTokenIsCutSafelyTo2047Units) {
  std::wstring list = L"\"C:\\" + std::wstring(3000, 'a') + L"\"";
  std::wstring got = last(list.c_str());
  EXPECT_EQ(got.size(), 2047u);
  EXPECT_EQ(got.substr(0, 4), L"C:\\a");
  // A character of two units (a surrogate pair) is never split.
  const wchar_t pair[] = {0xD83D, 0xDE00, 0};
  std::wstring emoji = L"C:\\x";
  while (emoji.size() < 2100) emoji += pair;
  got = last(emoji.c_str());
  EXPECT_EQ(got.size(), 2046u);  // "C:\x" and 1021 whole characters
  EXPECT_EQ(got.substr(got.size() - 2), pair);
  wchar_t small[8];
  lastSourcePath(L"\"C:\\abcdefgh\"", small, 8);
  EXPECT_EQ(std::wstring(small), L"C:\\abcd");
}

TEST(ProposedResultPath, SingleFileKeepsFolderAndBaseNameWithExe) {
  EXPECT_EQ(proposed(L"\"C:\\w\\report.txt\""), L"C:\\w\\report.exe");
  EXPECT_EQ(fileName(proposed(L"\"C:\\w\\report.txt\"")), L"report.crpt");
  EXPECT_EQ(proposed(L"\"C:\\w\\archive.tar.gz\""), L"C:\\w\\archive.tar.exe");
}

TEST(ProposedResultPath, SeveralSourcesUseTheLast) {
  EXPECT_EQ(proposed(L"\"C:\\w\\a.txt\" \"D:\\x y\\b.doc\""), L"D:\\x y\\b.exe");
  EXPECT_EQ(fileName(proposed(L"\"C:\\w\\a.txt\" \"D:\\x y\\b.doc\"")), L"b.crpt");
}

TEST(ProposedResultPath, FolderSourceIsNamedAfterTheFolderBesideIt) {
  EXPECT_EQ(proposed(L"\"C:\\w\\Docs\""), L"C:\\w\\Docs.exe");
  EXPECT_EQ(fileName(proposed(L"\"C:\\w\\Docs\"")), L"Docs.crpt");
}

TEST(ProposedResultPath, DriveRootGivesAnEmptyBaseName) {
  EXPECT_EQ(proposed(L"\"E:\\\""), L"E:\\.exe");
  EXPECT_EQ(fileName(proposed(L"\"E:\\\"")), L".crpt");
}

TEST(ProposedResultPath, NoUsableSourceFallsBackToTheProgramFolder) {
  EXPECT_EQ(proposed(L""), std::wstring(kModuleDir) + L"暗号化ファイル.exe");
  EXPECT_EQ(proposed(L"/x -o"), std::wstring(kModuleDir) + L"暗号化ファイル.exe");
  EXPECT_EQ(fileName(proposed(L"")), L"暗号化ファイル.crpt");
}

TEST(ProposedResultPath, JapaneseNamesWhoseShiftJisFormEndsIn5C) {
  // 表, ソ and 能 end in the byte 0x5C in code page 932; as paths they are
  // plain characters.
  EXPECT_EQ(proposed(L"\"C:\\表\\ソ.txt\""), L"C:\\表\\ソ.exe");
  EXPECT_EQ(proposed(L"\"C:\\w\\表\""), L"C:\\w\\表.exe");
  EXPECT_EQ(fileName(proposed(L"\"C:\\w\\表\"")), L"表.crpt");
  EXPECT_EQ(fileName(L"C:\\能\\機能.exe"), L"機能.crpt");
  EXPECT_EQ(proposed(L"\"C:\\表.d\\a\""), L"C:\\表.d\\a.exe");
}

TEST(ProposedFileName, BaseNameOver230CharactersGetsNoCrpt) {
  std::wstring at = std::wstring(230, 'n');
  EXPECT_EQ(fileName(L"C:\\w\\" + at + L".exe"), at + L".crpt");
  std::wstring over = std::wstring(231, 'n');
  EXPECT_EQ(fileName(L"C:\\w\\" + over + L".exe"), over);
  std::wstring kanji230(230, L'表'), kanji231(231, L'表');
  EXPECT_EQ(fileName(L"C:\\w\\" + kanji230 + L".exe"), kanji230 + L".crpt");
  EXPECT_EQ(fileName(L"C:\\w\\" + kanji231 + L".exe"), kanji231);
}

std::wstring withExtension(const wchar_t* path) {
  wchar_t out[2049];
  EXPECT_TRUE(withResultExtension(path, out, 2049));
  return out;
}

TEST(ResultExtension, ExeOrExUnderscoreInAnyCaseStays) {
  EXPECT_EQ(withExtension(L"C:\\o\\a.crpt.exe"), L"C:\\o\\a.crpt.exe");
  EXPECT_EQ(withExtension(L"C:\\o\\a.crpt.EXE"), L"C:\\o\\a.crpt.EXE");
  EXPECT_EQ(withExtension(L"C:\\o\\a.crpt.ex_"), L"C:\\o\\a.crpt.ex_");
  EXPECT_EQ(withExtension(L"C:\\o\\a.crpt.eX_"), L"C:\\o\\a.crpt.eX_");
  EXPECT_TRUE(hasResultExtension(L"C:\\o\\表.Exe"));
}

TEST(ResultExtension, NoneOrAnotherGetsExeAppended) {
  EXPECT_EQ(withExtension(L"C:\\o\\a"), L"C:\\o\\a.exe");
  EXPECT_EQ(withExtension(L"C:\\o\\a.crpt"), L"C:\\o\\a.crpt.exe");
  EXPECT_EQ(withExtension(L"C:\\o\\a.exe.txt"), L"C:\\o\\a.exe.txt.exe");
  EXPECT_EQ(withExtension(L"C:\\o.exe\\a"), L"C:\\o.exe\\a.exe");
  EXPECT_EQ(withExtension(L"C:\\o\\a.exex"), L"C:\\o\\a.exex.exe");
  EXPECT_EQ(withExtension(L"C:\\o\\表"), L"C:\\o\\表.exe");
  EXPECT_FALSE(hasResultExtension(L"C:\\o\\a.ex"));
}

TEST(ResultExtension, ResultThatDoesNotFitIsRefusedNotCut) {
  wchar_t out[11] = L"x";
  EXPECT_FALSE(withResultExtension(L"C:\\o\\abc", out, 11));  // needs 13 units
  EXPECT_EQ(std::wstring(out), L"");
  EXPECT_TRUE(withResultExtension(L"C:\\o\\a", out, 11));  // 10 units and the terminator
  EXPECT_EQ(std::wstring(out), L"C:\\o\\a.exe");
  EXPECT_FALSE(withResultExtension(L"C:\\o\\abcdefgh.exe", out, 11));
  EXPECT_EQ(std::wstring(out), L"");
}

}  // namespace
