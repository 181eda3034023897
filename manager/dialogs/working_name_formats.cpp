#include "manager/dialogs/working_name_formats.h"

#include <stdlib.h>

#include "common/text_util.h"

const char kUniqueNameAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int formatTimeText(char* out, size_t cap, int kind, const LocalTimeFields& t) {
  if (cap == 0) return 1;
  bool ok = false;
  if (kind == TIME_TEXT_STAMP) {
    ok = formatText(out, cap, "%04d%02d%02d_%02d%02d%02d%03d", t.year, t.month, t.day, t.hour, t.minute,
                    t.second, t.millisecond);
  } else if (kind == TIME_TEXT_LOG) {
    ok = formatText(out, cap, "%d-%d-%d %d:%d:%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  }
  if (!ok) out[0] = '\0';
  return ok ? 0 : 1;
}

int formatWorkingNames(WorkingNames* names, const wchar_t* folder, const char* stamp, unsigned processId,
                       unsigned threadId) {
  // The stamp and the numbers are ASCII.
  char tail[96];
  bool ok = formatText(tail, sizeof tail, "TmpCrp_%s_%x_%x.prc", stamp, processId, threadId);
  wchar_t wideTail[96];
  size_t n = 0;
  for (; tail[n] != '\0'; ++n) wideTail[n] = static_cast<unsigned char>(tail[n]);
  wideTail[n] = 0;
  if (!ok || !copyText(names->sourceList, countOf(names->sourceList), folder) ||
      !appendText(names->sourceList, countOf(names->sourceList), wideTail)) {
    names->sourceList[0] = 0;
    return 1;
  }
  return 0;
}

int formatUniqueName(char* out, size_t cap, const LocalTimeFields& t, unsigned seed, unsigned processId,
                     unsigned threadId) {
  if (cap == 0) return 1;
  out[0] = '\0';
  if (cap <= UNIQUE_NAME_LENGTH) return 1;
  char drawn[UNIQUE_RANDOM_LENGTH + 1];
  srand(seed);
  for (int i = 0; i < UNIQUE_RANDOM_LENGTH; ++i) drawn[i] = kUniqueNameAlphabet[rand() % 62];
  drawn[UNIQUE_RANDOM_LENGTH] = '\0';
  // A text that does not fit is refused rather than cut.
  if (!formatText(out, cap, "%04d%02d%02d-%02d%02d%02d%s%08x%08x", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, drawn, processId, threadId)) {
    out[0] = '\0';
    return 1;
  }
  return 0;
}
