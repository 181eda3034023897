#include "common/progress.h"

#include "common/text_util.h"
#include "common/wide_text.h"

namespace {

void noStatus(const wchar_t*) {}
void noPhase(ProgressPhase) {}
void noCounter(int64_t) {}
void noCountOnly(bool) {}
bool neverStop() { return false; }

}  // namespace

const Progress quietProgress = {noStatus, noPhase, noCounter, noCounter, noCounter, noCountOnly, neverStop};

void reportStatus(const Progress& progress, const char* text) {
  wchar_t wide[1024];
  ansiToWide(text, wide, countOf(wide));
  progress.status(wide);
}
