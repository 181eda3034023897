// For bench/run: makes a result of a tree with the real Kyvomar.exe in the
// given container format, then restores it with the real program into a
// scratch folder, timing the restore from the moment the folder is chosen to
// the program's end.
//   reader_bench_result SOURCE RESULT FORMAT
// Prints "@restore_s" and "@result_bytes" for bench/run.
#include <stdio.h>
#include <stdlib.h>

#include "e2e/program_driver.h"
#include "support/container_policy.h"
#include "support/test_files.h"

namespace {

const char kPassword[] = "ベンチ表ソ能";

double seconds() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: reader_bench_result SOURCE RESULT FORMAT\n");
    return 2;
  }
  const std::string source = argv[1], result = argv[2];
  ContainerPolicyValue policy;  // restored when the tool ends
  if (!(atoi(argv[3]) == 2 ? policy.set(2) : policy.remove())) return 1;
  {
    ProgramRun run;
    if (!run.start(builtKyvomarPath(), "xx /crpmode=0 \"" + source + "\"", true)) return 1;
    bool driven = enterPassword(run.pid(), kPassword, kPassword) && enterFileName(run.pid(), "", 0) &&
                  saveAs(run.pid(), result);
    if (!driven || run.wait(600000) != 0 || !fileExists(result)) {
      fprintf(stderr, "encryption failed\n");
      return 1;
    }
  }
  TempDir restore;
  const std::string copy = restore / "r.exe";
  if (!CopyFileA(result.c_str(), copy.c_str(), FALSE)) return 1;
  ProgramRun run;
  if (!run.start(copy, "") || !enterDecryptionPassword(run.pid(), kPassword) ||
      !answerFolderBrowser(run.pid(), true, restore.path()))
    return 1;
  double start = seconds();
  long code = run.wait(600000);
  double restoreSeconds = seconds() - start;
  if (code != 0) {
    fprintf(stderr, "restore failed (%ld)\n", code);
    return 1;
  }
  printf("@restore_s %.6f\n@result_bytes %lld\n", restoreSeconds, fileSizeOf(result));
  return 0;
}
