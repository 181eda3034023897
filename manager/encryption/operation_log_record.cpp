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
  char procTime[16], drvType[16];
  formatText(procTime, sizeof procTime, "%d", f.procTime);
  formatText(drvType, sizeof drvType, "%d", f.drvType);
  // The record's fixed texts and its fields, in order.
  const char* const parts[] = {
      "ProcName=", f.procName, ";CaptionName=;Start=", f.startText, ";End=", f.endText, ";ProcTime=", procTime,
      ";AccStat=Write;PolNo=0;DNTStat=0;DrvType=", drvType, ";DrvName=", f.drvName, ";FilePath=\"", f.filePath,
      "\";OldFilePath=", f.oldFilePath, ";UserName=\"", f.userName, "\";SrcDrvType=", f.srcDrvType, ";\r\n"};
  RecordWriter w = {out, cap, 0};
  for (const char* part : parts) w.add(part);
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
