#include "manager/archive/zone_mark.h"

#include <windows.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/unique_handle.h"

namespace {

enum { STREAM_PATH_SIZE = 2048 + 32, MARK_TEXT_LIMIT = 4096 };

// The path of a file's Zone.Identifier stream; false when it does not fit.
bool streamPathOf(const wchar_t* path, wchar_t* out) {
  return copyText(out, STREAM_PATH_SIZE, path) && appendText(out, STREAM_PATH_SIZE, L":Zone.Identifier");
}

int streamZoneOf(const wchar_t* path) {
  wchar_t stream[STREAM_PATH_SIZE];
  if (!streamPathOf(path, stream)) return ZONE_NONE;
  UniqueFile file(CreateFileW(stream, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ZONE_NONE;
  char text[MARK_TEXT_LIMIT];
  DWORD got = 0;
  if (!ReadFile(file.get(), text, sizeof text, &got, nullptr)) return ZONE_NONE;
  return zoneOfMarkText(text, got);
}

bool writeStreamMark(const wchar_t* path, int zone) {
  char text[64];
  size_t length = formatMarkText(zone, text, sizeof text);
  wchar_t stream[STREAM_PATH_SIZE];
  if (length == 0 || !streamPathOf(path, stream)) return false;
  UniqueFile file(CreateFileW(stream, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && writeAll(file.get(), text, length);
}

const ZoneMarks kStreams = {streamZoneOf, writeStreamMark};
ZoneMarks marks = kStreams;

}  // namespace

void setZoneMarks(const ZoneMarks* replacement) { marks = replacement ? *replacement : kStreams; }

int zoneOfFile(const wchar_t* path) { return marks.zoneOf(path); }

bool markFileZone(const wchar_t* path, int zone) { return marks.mark(path, zone); }
