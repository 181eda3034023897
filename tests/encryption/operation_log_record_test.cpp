// Fields of source-list pieces and the operation-log record, byte for byte.
#include "manager/encryption/operation_log_record.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// The pieces fgets(buffer, 256, file) delivers for a text (text mode: CR LF
// already read as LF).
std::vector<std::string> fgetsPieces(const std::string& text) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t n = 0;
    while (pos + n < text.size() && n < 255) {
      ++n;
      if (text[pos + n - 1] == '\n') break;
    }
    pieces.push_back(text.substr(pos, n));
    pos += n;
  }
  return pieces;
}

std::string sourceLine(const std::string& path, int type) {
  return "File=\"" + path + "\";Type=" + std::to_string(type) + ";\n";
}

struct Parsed {
  bool ok;
  std::string oldFilePath, srcDrvType;
};

Parsed parse(const std::string& piece) {
  SourceListFields fields;
  memset(&fields, 0x55, sizeof fields);
  Parsed p;
  p.ok = parseSourceListPiece(piece.c_str(), &fields);
  if (p.ok) {
    p.oldFilePath = fields.oldFilePath;
    p.srcDrvType = fields.srcDrvType;
  }
  return p;
}

// Records the pieces of a whole source list would give, as "old|type".
std::vector<std::string> fieldsOfList(const std::string& text) {
  std::vector<std::string> out;
  for (const std::string& piece : fgetsPieces(text)) {
    Parsed p = parse(piece);
    if (p.ok) out.push_back(p.oldFilePath + "|" + p.srcDrvType);
  }
  return out;
}

TEST(SourceListPiece, QuotedPathAndDriveTypeAreTaken) {
  Parsed p = parse("File=\"C:\\src\\a.txt\";Type=3;\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.oldFilePath, "\"C:\\src\\a.txt\"");
  EXPECT_EQ(p.srcDrvType, "3");
  p = parse("File=\"\\\\server\\share\\b.doc\";Type=4;\r\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.oldFilePath, "\"\\\\server\\share\\b.doc\"");
  EXPECT_EQ(p.srcDrvType, "4");
  p = parse("File=\"C:\\表\\ソ能.txt\";Type=2;");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.oldFilePath, "\"C:\\表\\ソ能.txt\"");
}

TEST(SourceListPiece, PathWithSemicolonIsCutThere) {
  Parsed p = parse("File=\"C:\\a;b\\c.txt\";Type=3;\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.oldFilePath, "\"C:\\a");
  EXPECT_EQ(p.srcDrvType, "3");
}

TEST(SourceListPiece, TypeInsideAFileNameIsNotTakenForTheDriveType) {
  Parsed p = parse("File=\"C:\\w\\Type=1.txt\";Type=3;\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.oldFilePath, "\"C:\\w\\Type=1.txt\"");
  EXPECT_EQ(p.srcDrvType, "3");
  p = parse("File=\"C:\\x;Type=9;y.txt\";Type=5;\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.oldFilePath, "\"C:\\x");
  EXPECT_EQ(p.srcDrvType, "5");
}

TEST(SourceListPiece, PiecesLackingAFieldOrItsSemicolonAreSkipped) {
  EXPECT_FALSE(parse("").ok);
  EXPECT_FALSE(parse("\n").ok);
  EXPECT_FALSE(parse("\r\n").ok);
  EXPECT_FALSE(parse("Type=3;\n").ok);
  EXPECT_FALSE(parse("File=\"C:\\a.txt\";\n").ok);
  EXPECT_FALSE(parse("File=\"C:\\a.txt\"\n").ok);
  EXPECT_FALSE(parse("File=\"C:\\a.txt\";Type=3\n").ok);
  // The cut at the first CR and the first LF comes before the search.
  EXPECT_FALSE(parse("File=\"C:\\a.txt\"\r;Type=3;\n").ok);
  EXPECT_FALSE(parse("File=\"C:\\a.txt\";Ty\npe=3;").ok);
  EXPECT_FALSE(parse("\rFile=\"C:\\a.txt\";Type=3;").ok);
}

TEST(SourceListPiece, OnlyTheFirst255BytesOfAPieceCount) {
  std::string piece = "File=\"C:\\a.txt\";" + std::string(300, 'x') + ";Type=3;";
  EXPECT_FALSE(parse(piece).ok);
}

TEST(SourceListPiece, PathOf240CharactersIsRecordedAnd241IsNot) {
  std::string p240 = "C:\\" + std::string(237, 'a');
  std::string p241 = "C:\\" + std::string(238, 'b');
  ASSERT_EQ(p240.size(), 240u);
  ASSERT_EQ(sourceLine(p240, 3).size(), 256u);  // 255 characters and the LF
  std::string list = sourceLine("C:\\first.txt", 3) + sourceLine(p240, 3) + sourceLine(p241, 2) +
                     sourceLine("C:\\last.txt", 5);
  std::vector<std::string> got = fieldsOfList(list);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "\"C:\\first.txt\"|3");
  EXPECT_EQ(got[1], "\"" + p240 + "\"|3");
  EXPECT_EQ(got[2], "\"C:\\last.txt\"|5");
}

TEST(SourceListPiece, LongLineTailIsSkipped) {
  std::string longPath = "C:\\" + std::string(600, 'z');
  std::vector<std::string> got = fieldsOfList(sourceLine(longPath, 3) + sourceLine("C:\\b", 3));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "\"C:\\b\"|3");
}

LogRecordFields exampleFields() {
  LogRecordFields f;
  f.procName = "Kyvomar.exe";
  f.startText = "2010-3-24 14:5:7";
  f.endText = "2010-3-24 14:6:30";
  f.procTime = 1;
  f.drvType = 3;
  f.drvName = "C:";
  f.filePath = "C:\\out\\data.crpt.exe";
  f.oldFilePath = "\"C:\\src\\a.txt\"";
  f.userName = "user01";
  f.srcDrvType = "3";
  return f;
}

const char kExampleRecord[] =
    "ProcName=Kyvomar.exe;CaptionName=;Start=2010-3-24 14:5:7;End=2010-3-24 14:6:30;ProcTime=1;"
    "AccStat=Write;PolNo=0;DNTStat=0;DrvType=3;DrvName=C:;FilePath=\"C:\\out\\data.crpt.exe\";"
    "OldFilePath=\"C:\\src\\a.txt\";UserName=\"user01\";SrcDrvType=3;\r\n";

TEST(LogRecord, FieldsInOrderEndingWithCrLf) {
  char out[1024];
  size_t n = composeLogRecord(out, sizeof out, exampleFields());
  EXPECT_EQ(n, strlen(kExampleRecord));
  EXPECT_STREQ(out, kExampleRecord);
}

TEST(LogRecord, NetworkDestinationEmptyNamesAndNegativeTime) {
  LogRecordFields f = exampleFields();
  f.drvType = 4;
  f.drvName = "";
  f.filePath = "\\\\srv\\share\\x.exe";
  f.userName = "";
  f.procTime = 0;
  char out[1024];
  composeLogRecord(out, sizeof out, f);
  std::string record = out;
  EXPECT_NE(record.find(";ProcTime=0;"), std::string::npos);
  EXPECT_NE(record.find(";DrvType=4;DrvName=;FilePath=\"\\\\srv\\share\\x.exe\";"), std::string::npos);
  EXPECT_NE(record.find(";UserName=\"\";"), std::string::npos);
  f.procTime = -3;
  composeLogRecord(out, sizeof out, f);
  EXPECT_NE(std::string(out).find(";ProcTime=-3;"), std::string::npos);
}

TEST(LogRecord, LongFieldsAreKeptWhole) {
  std::string path = "C:\\" + std::string(2045, 'p');
  std::string user(2047, 'u');
  LogRecordFields f = exampleFields();
  f.filePath = path.c_str();
  f.userName = user.c_str();
  size_t needed = composeLogRecord(nullptr, 0, f);
  std::vector<char> out(needed + 1);
  EXPECT_EQ(composeLogRecord(out.data(), out.size(), f), needed);
  std::string record = out.data();
  EXPECT_EQ(record.size(), needed);
  EXPECT_EQ(needed, strlen(kExampleRecord) - strlen("C:\\out\\data.crpt.exe") - strlen("user01") + 2048 + 2047);
  EXPECT_NE(record.find("FilePath=\"" + path + "\";"), std::string::npos);
  EXPECT_NE(record.find("UserName=\"" + user + "\";SrcDrvType=3;\r\n"), std::string::npos);
}

TEST(LogRecord, BufferOneByteShortGetsNothing) {
  size_t needed = composeLogRecord(nullptr, 0, exampleFields());
  std::vector<char> out(needed, 'x');
  EXPECT_EQ(composeLogRecord(out.data(), out.size(), exampleFields()), needed);
  EXPECT_EQ(out[0], '\0');
}

TEST(LogRecord, ProcTimeIsWholeMinutes) {
  EXPECT_EQ(procTimeMinutes(1000, 1000), 0);
  EXPECT_EQ(procTimeMinutes(1000, 1059), 0);
  EXPECT_EQ(procTimeMinutes(1000, 1060), 1);
  EXPECT_EQ(procTimeMinutes(1000, 1119), 1);
  EXPECT_EQ(procTimeMinutes(1000, 1120), 2);
  EXPECT_EQ(procTimeMinutes(5000000000LL, 5000003600LL), 60);
}

}  // namespace
