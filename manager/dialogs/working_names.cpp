#include "manager/dialogs/working_names.h"

#include <windows.h>

#include "manager/dialogs/working_name_formats.h"

namespace {

void localTimeFields(LocalTimeFields* fields) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  fields->year = now.wYear;
  fields->month = now.wMonth;
  fields->day = now.wDay;
  fields->hour = now.wHour;
  fields->minute = now.wMinute;
  fields->second = now.wSecond;
  fields->millisecond = now.wMilliseconds;
}

}  // namespace

int localTimeText(char* out, size_t cap, int kind) {
  LocalTimeFields fields;
  localTimeFields(&fields);
  return formatTimeText(out, cap, kind, fields);
}

int makeWorkingNames(WorkingNames* names) {
  names->sourceList[0] = 0;
  wchar_t folder[2049];
  // The result is the length without the terminator when the folder fitted,
  // else the size it would need; 0 on failure.
  DWORD length = GetTempPathW(2048, folder);
  if (length == 0 || length >= 2048) return 1;
  char stamp[32];
  localTimeText(stamp, sizeof stamp, TIME_TEXT_STAMP);
  return formatWorkingNames(names, folder, stamp, GetCurrentProcessId(), GetCurrentThreadId());
}

int makeUniqueName(char* out, size_t cap, unsigned seed) {
  LocalTimeFields fields;
  localTimeFields(&fields);
  return formatUniqueName(out, cap, fields, seed, GetCurrentProcessId(), GetCurrentThreadId());
}
