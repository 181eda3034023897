#include "manager/encryption/operation_log_record.h"

#include <string.h>

#include "common/text_util.h"

namespace {

// Copies text[0..end) after the marker found at found, up to the first ";"
// that follows; false when there is none.
bool takeField(const char* found, size_t markerLength, char* out) {
  const char* value = found + markerLength;
  const char* end = strchr(value, ';');
  if (end == nullptr) return false;
  size_t length = static_cast<size_t>(end - value);
  memcpy(out, value, length);  // within the piece, so within SOURCE_LIST_PIECE
  out[length] = '\0';
  return true;
}

// Appends to out while it fits and counts every byte.
struct RecordWriter {
  char* out;
  size_t cap;
  size_t length;
  void add(const char* text) {
    size_t n = strlen(text);
    if (length + n < cap) memcpy(out + length, text, n);
    length += n;
  }
  void addNumber(int value) {
    char digits[16];
    formatText(digits, sizeof digits, "%d", value);
    add(digits);
  }
};

}  // namespace

bool parseSourceListPiece(const char* piece, SourceListFields* fields) {
  char text[SOURCE_LIST_PIECE];
  size_t length = strnlen(piece, SOURCE_LIST_PIECE - 1);
  memcpy(text, piece, length);
  text[length] = '\0';
  char* cr = strchr(text, '\r');
  if (cr) *cr = '\0';
  char* lf = strchr(text, '\n');
  if (lf) *lf = '\0';
  if (text[0] == '\0') return false;

  const char* file = strstr(text, "File=");
  if (file == nullptr || !takeField(file, 5, fields->oldFilePath)) return false;
  // ';' never occurs inside a double-byte character, so every match starts at
  // a real field boundary.
  const char* type = nullptr;
  for (const char* p = strstr(text, ";Type="); p; p = strstr(p + 1, ";Type=")) type = p;
  if (type == nullptr || !takeField(type, 6, fields->srcDrvType)) return false;
  return true;
}

size_t composeLogRecord(char* out, size_t cap, const LogRecordFields& f) {
  RecordWriter w = {out, cap, 0};
  w.add("ProcName=");
  w.add(f.procName);
  w.add(";CaptionName=;Start=");
  w.add(f.startText);
  w.add(";End=");
  w.add(f.endText);
  w.add(";ProcTime=");
  w.addNumber(f.procTime);
  w.add(";AccStat=Write;PolNo=0;DNTStat=0;DrvType=");
  w.addNumber(f.drvType);
  w.add(";DrvName=");
  w.add(f.drvName);
  w.add(";FilePath=\"");
  w.add(f.filePath);
  w.add("\";OldFilePath=");
  w.add(f.oldFilePath);
  w.add(";UserName=\"");
  w.add(f.userName);
  w.add("\";SrcDrvType=");
  w.add(f.srcDrvType);
  w.add(";\r\n");
  if (w.length < cap)
    out[w.length] = '\0';
  else if (cap > 0)
    out[0] = '\0';
  return w.length;
}

int procTimeMinutes(long long startSeconds, long long endSeconds) {
  int seconds = static_cast<int>(endSeconds - startSeconds);
  return seconds / 60;
}
