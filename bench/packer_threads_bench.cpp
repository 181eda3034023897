// Packing throughput of large files with the chunks compressed in the worker
// thread alone and on the compression threads, runs taken in turn.
//   packer_threads_bench.exe [megabytes [runs [threads]]]   (default 64, 5, 0)
// The source is one file: text-like bytes, random bytes and zeros, in long
// stretches, so that the figure is the packer's and not the file system's.
// Each run packs it with buildArchive; the best and the spread of the runs
// are printed for each setting (the machine may be shared: the best run is
// the one least disturbed).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/packer.h"
#include "manager/base/job_state.h"
#include "support/narrow_paths.h"

namespace {

void report(const char* label, std::vector<double> seconds, double mb) {
  std::sort(seconds.begin(), seconds.end());
  double median = seconds[seconds.size() / 2];
  printf("%-9s best %.3f s (%.1f MB/s), median %.3f s, worst %.3f s, spread %.0f%%\n", label, seconds.front(),
         mb / seconds.front(), median, seconds.back(), 100.0 * (seconds.back() - seconds.front()) / seconds.front());
}

}  // namespace

int main(int argc, char** argv) {
  int megabytes = argc > 1 ? atoi(argv[1]) : 64;
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  int threads = argc > 3 ? atoi(argv[3]) : 0;
  if (megabytes < 1) megabytes = 64;
  if (runs < 1) runs = 5;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string work = std::string(temp) + "kyvo_packer_threads_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(work.c_str(), nullptr);
  std::string source = work + "\\large.dat", archive = work + "\\TmpCrp_bench.arv";
  resetJobState();
  setPath(jobState.moduleDir, work + "\\");
  setPath(jobState.sourceListPath, work + "\\list.prc");

  size_t size = static_cast<size_t>(megabytes) << 20;
  std::string data = textLike(size / 2, 1) + randomBytes(size * 3 / 8, 2) + std::string(size / 8, '\0');
  HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
            written == data.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  double mb = static_cast<double>(data.size()) / (1 << 20);
  data.clear();
  data.shrink_to_fit();

  setPackerThreads(threads);
  int parallel = packerThreadCount() > 1 ? packerThreadCount() : 2;
  printf("source: %.1f MB; runs: %d each, serial and %d threads in turn\n", mb, runs, parallel);
  Sleep(2000);  // let the start-up of the Wine session settle

  std::vector<double> serialRuns, parallelRuns;
  std::string selection = "\"" + source + "\"";
  int failures = ok ? 0 : 1;
  for (int r = 0; r < runs && failures == 0; ++r) {
    for (int t : {1, parallel}) {
      setPackerThreads(t);
      double start = now();
      int result = packForJob(selection, archive);
      double seconds = now() - start;
      if (result != 0) ++failures;
      (t == 1 ? serialRuns : parallelRuns).push_back(seconds);
      printf("run %d, %d thread%s: %.3f s\n", r + 1, t, t == 1 ? "" : "s", seconds);
    }
  }
  if (failures == 0) {
    report("serial", serialRuns, mb);
    report("parallel", parallelRuns, mb);
    std::sort(serialRuns.begin(), serialRuns.end());
    std::sort(parallelRuns.begin(), parallelRuns.end());
    printf("speed-up (best against best): %.2f\n", serialRuns.front() / parallelRuns.front());
  } else {
    printf("packing failed\n");
  }
  DeleteFileA(source.c_str());
  DeleteFileA(archive.c_str());
  DeleteFileW(jobState.sourceListPath);
  RemoveDirectoryA(work.c_str());
  return failures == 0 ? 0 : 1;
}
