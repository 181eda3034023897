// The encryption and decryption jobs, stage by stage, in this process: the
// same calls the workers make, each timed. An encryption packs straight into
// the result (ResultWriter: begin, then packForJob, then finish); a
// restore opens the result's container in place (ContainerReader: the
// header, and in the second format every chunk's tag) and extracts from it.
//
//   job_bench jobs  CORPUS WORK PROGRAM REPEATS [FORMAT]
//                                                 both jobs on a tree, best of REPEATS,
//                                                 in container format 1 (default) or 2
//   job_bench copy  CORPUS WORK REPEATS           a 32 KiB-buffer copy of the tree
//   job_bench large FILE WORK PROGRAM             one round trip of one (large) file
//
// PROGRAM is the program image of the self-decrypting result (Kyvomar.exe).
// The spill file of large entries goes into WORK. Besides its report every figure is printed once more as a
// line "@name value" for bench/run. MB are 10^6 bytes.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "bench/bench_data.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/extractor.h"
#include "manager/archive/packer.h"
#include "manager/archive/self_decrypting.h"
#include "manager/cipher/container.h"
#include "manager/decryption/decryption_job.h"
#include "manager/encryption/result_writer.h"
#include "manager/encryption/source_list.h"
#include "manager/base/job_state.h"
#include "support/test_files.h"
#include "support/narrow_paths.h"

namespace {

const char kPassword[] = "ベンチ表ソ能";


void figure(const char* name, double value) { printf("@%s %.6f\n", name, value); }

// This process's peak working set and page-file figure, in KiB, and as the
// figure name (bytes).
void printMemory(const char* when, const char* name) {
  PROCESS_MEMORY_COUNTERS c = {};
  c.cb = sizeof c;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) return;
  printf("  memory %s: peak working set %lu KiB, page file %lu KiB\n", when,
         static_cast<unsigned long>(c.PeakWorkingSetSize >> 10), static_cast<unsigned long>(c.PagefileUsage >> 10));
  figure(name, static_cast<double>(c.PeakWorkingSetSize));
}

// Bytes of every file below a folder (or of one file).
unsigned long long bytesOf(const std::string& path) {
  WIN32_FIND_DATAA data;
  if (!folderExists(path)) return static_cast<unsigned long long>(fileSizeOf(path));
  unsigned long long total = 0;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      total += bytesOf(path + "\\" + name);
    else
      total += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return total;
}

std::string baseName(const std::string& path) {
  size_t cut = path.find_last_of('\\');  // the corpus roots are plain ASCII names
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

struct Run {
  double pack = 0, encrypt = 0, assemble = 0, split = 0, decrypt = 0, extract = 0;
  long long archiveSize = 0, spilled = 0, resultSize = 0;
  int code = 0;  // the first non-zero result, 0 when every stage succeeded
  const char* failedStage = "";
  double encryption() const { return pack + encrypt + assemble; }
  double decryption() const { return split + decrypt + extract; }
};

bool failed(Run* run, int code, const char* stage) {
  if (code == 0) return false;
  run->code = code;
  run->failedStage = stage;
  return true;
}

// The encryption job's steps: source (a folder or a file) to result, the
// container in the given format. "encrypt" is the start (the keys and the
// program image), "pack" the packing straight into the result, "assemble"
// the header and the trailer.
void encryption(const std::string& source, const std::string& work, const std::string& program,
                const std::string& result, Run* run, int format = CONTAINER_FORMAT_1) {
  resetJobState();
  setPath(jobState.moduleDir, work + "\\");
  setPath(jobState.sourceListPath, work + "\\TmpCrp_bench.prc");
  std::string selection = "\"" + source + "\"";
  std::wstring resultPath = W(result);
  ResultWriter writer(resultPath.c_str());
  double t0 = now();
  int code = writer.begin(W(program).c_str(), format, kPassword, jobProgress);
  double t1 = now();
  run->encrypt = t1 - t0;
  if (!failed(run, code, "ResultWriter::begin")) {
    code = packForJob(W(selection).c_str(), nullptr, &writer);
    double t2 = now();
    run->pack = t2 - t1;
    if (!failed(run, code, "packForJob")) {
      code = writer.finish();
      run->assemble = now() - t2;
      failed(run, code, "ResultWriter::finish");
    }
  }
  run->archiveSize = static_cast<long long>(writer.archiveBytes());
  run->spilled = static_cast<long long>(writer.spilledBytes());
  run->resultSize = fileSizeOf(result);
  DeleteFileW(jobState.sourceListPath);
}

// The decryption job's steps: result into the folder restore. "split" is
// opening the container (its checks), "extract" the extraction that reads
// and deciphers it.
void decryption(const std::string& result, const std::string& restore, Run* run) {
  resetJobState();
  double t0 = now();
  UniqueFile file(openResultForReading(W(result).c_str()));
  uint64_t start = 0, length = 0;
  int code = file ? findPayload(file.get(), &start, &length) : SPLIT_CANNOT_OPEN;
  ContainerReader reader;
  if (code == 0) code = reader.open(file.get(), start, length, kPassword, jobProgress);
  double t1 = now();
  run->split = t1 - t0;
  if (!failed(run, code, "ContainerReader::open")) {
    ContainerSource archive(&reader);
    ExtractSetup setup = {&jobProgress, nullptr, nullptr, nullptr, 0};
    code = extractArchiveFrom(&archive, W(restore).c_str(), setup);
    if (code == 0) code = reader.result();
    run->extract = now() - t1;
    failed(run, code, "extractArchiveFrom");
  }
}

void printRun(int index, const Run& run, double mb) {
  printf("run %d: pack %.2f s, encrypt %.2f s, assemble %.2f s = %.2f s (%.1f MB/s); "
         "split %.2f s, decrypt %.2f s, extract %.2f s = %.2f s (%.1f MB/s)\n",
         index, run.pack, run.encrypt, run.assemble, run.encryption(), mb / run.encryption(), run.split,
         run.decrypt, run.extract, run.decryption(), mb / run.decryption());
  fflush(stdout);
}

int jobs(const std::string& corpus, const std::string& work, const std::string& program, int repeats, int format) {
  double mb = static_cast<double>(bytesOf(corpus)) / 1e6;
  // KYVO_PACKER_THREADS=n packs with n compression threads (1: none), as the
  // job's setting would; unset, one per processor.
  if (const char* threads = getenv("KYVO_PACKER_THREADS")) setPackerThreads(atoi(threads));
  printf("corpus %s: %.1f MB, container format %d; packer threads %d\n", corpus.c_str(), mb, format,
         packerThreadCount());
  double kdf = 0;  // format 2: the best key derivation, taken beside the runs
  std::string out = work + "\\out", result = out + "\\bench.crpt.exe";
  makeFolder(out);
  printMemory("before the first run", "rest_peak_ws");
  Run bestEncryption, bestDecryption;
  for (int i = 1; i <= repeats; ++i) {
    Run run;
    // Every run restores into a folder of its own, and the folders go only
    // at the end: some file systems (ext4 without a journal) make creating
    // files slow for minutes after many were deleted, which would charge a
    // run for the clean-up of the one before.
    std::string restore = work + "\\restore" + std::to_string(i);
    removeTree(restore);
    makeFolder(restore);
    encryption(corpus, work, program, result, &run, format);
    if (run.code == 0) decryption(result, restore, &run);
    if (run.code != 0) {
      printf("run %d: %s failed with %d\n", i, run.failedStage, run.code);
      return 1;
    }
    printRun(i, run, mb);
    if (format == CONTAINER_FORMAT_2) {
      double k = format2KeyDerivationSeconds(kPassword);
      if (i == 1 || k < kdf) kdf = k;
    }
    if (i == 1) printMemory("after the first run", "job_peak_ws");
    if (i == 1) {  // the restored tree must be the corpus, byte for byte
      std::string difference = compareTrees(corpus, restore + "\\" + baseName(corpus));
      if (!difference.empty()) {
        printf("restored tree differs from the corpus: %s\n", difference.c_str());
        return 1;
      }
      printf("restored tree matches the corpus\n");
    }
    if (i == 1 || run.encryption() < bestEncryption.encryption()) bestEncryption = run;
    if (i == 1 || run.decryption() < bestDecryption.decryption()) bestDecryption = run;
  }
  for (int i = 1; i <= repeats; ++i) removeTree(work + "\\restore" + std::to_string(i));
  DeleteFileA(result.c_str());
  figure("corpus_mb", mb);
  figure("archive_mb", bestEncryption.archiveSize / 1e6);
  figure("result_mb", bestEncryption.resultSize / 1e6);
  figure("spilled_mb", bestEncryption.spilled / 1e6);
  figure("pack_s", bestEncryption.pack);
  figure("encrypt_s", bestEncryption.encrypt);
  figure("assemble_s", bestEncryption.assemble);
  figure("encryption_s", bestEncryption.encryption());
  figure("split_s", bestDecryption.split);
  figure("decrypt_s", bestDecryption.decrypt);
  figure("extract_s", bestDecryption.extract);
  figure("decryption_s", bestDecryption.decryption());
  figure("kdf_s", kdf);
  return 0;
}

// Copies one file through a 32 KiB buffer; false on any failure.
bool copyFile32k(const std::string& from, const std::string& to) {
  static char buffer[32768];
  HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = out != INVALID_HANDLE_VALUE;
  while (ok) {
    DWORD got = 0, put = 0;
    ok = ReadFile(in, buffer, sizeof buffer, &got, nullptr) != FALSE;
    if (!ok || got == 0) break;
    ok = WriteFile(out, buffer, got, &put, nullptr) && put == got;
  }
  CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return ok;
}

bool copyTree(const std::string& from, const std::string& to) {
  if (!CreateDirectoryA(to.c_str(), nullptr)) return false;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((from + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ok = copyTree(from + "\\" + name, to + "\\" + name);
    else
      ok = copyFile32k(from + "\\" + name, to + "\\" + name);
  } while (ok && FindNextFileA(find, &data));
  FindClose(find);
  return ok;
}

int copy(const std::string& corpus, const std::string& work, int repeats) {
  double mb = static_cast<double>(bytesOf(corpus)) / 1e6, best = 0;
  for (int i = 1; i <= repeats; ++i) {
    std::string target = work + "\\copy" + std::to_string(i);  // each its own, as the restored trees
    removeTree(target);
    double t0 = now();
    bool ok = copyTree(corpus, target);
    double seconds = now() - t0;
    if (!ok) {
      printf("copy %d failed\n", i);
      return 1;
    }
    printf("copy %d: %.2f s (%.1f MB/s)\n", i, seconds, mb / seconds);
    fflush(stdout);
    if (i == 1 || seconds < best) best = seconds;
  }
  for (int i = 1; i <= repeats; ++i) removeTree(work + "\\copy" + std::to_string(i));
  figure("copy_s", best);
  return 0;
}

int large(const std::string& file, const std::string& work, const std::string& program) {
  double mb = static_cast<double>(bytesOf(file)) / 1e6;
  printf("file %s: %lld bytes\n", file.c_str(), fileSizeOf(file));
  std::string restore = work + "\\restore", result = work + "\\large.crpt.exe";
  makeFolder(restore);
  Run run;
  encryption(file, work, program, result, &run);
  printf("archive %lld bytes (%lld of them through the spill file), result %lld bytes\n", run.archiveSize,
         run.spilled, run.resultSize);
  if (run.code == 0) decryption(result, restore, &run);
  DeleteFileA(result.c_str());
  printf("pack     %8.1f s  %6.1f MB/s\n", run.pack, mb / run.pack);
  printf("encrypt  %8.1f s  %6.1f MB/s\n", run.encrypt, mb / run.encrypt);
  printf("assemble %8.1f s  %6.1f MB/s\n", run.assemble, mb / run.assemble);
  printf("split    %8.1f s  %6.1f MB/s\n", run.split, mb / run.split);
  printf("decrypt  %8.1f s  %6.1f MB/s\n", run.decrypt, mb / run.decrypt);
  printf("extract  %8.1f s  %6.1f MB/s\n", run.extract, mb / run.extract);
  if (run.code != 0) {
    printf("%s failed with %d\n", run.failedStage, run.code);
    return 1;
  }
  printf("restored %s\n", (restore + "\\" + baseName(file)).c_str());
  figure("archive_bytes", static_cast<double>(run.archiveSize));
  figure("result_bytes", static_cast<double>(run.resultSize));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "jobs" && (argc == 6 || argc == 7))
    return jobs(argv[2], argv[3], argv[4], atoi(argv[5]), argc == 7 ? atoi(argv[6]) : CONTAINER_FORMAT_1);
  if (mode == "copy" && argc == 5) return copy(argv[2], argv[3], atoi(argv[4]));
  if (mode == "large" && argc == 5) return large(argv[2], argv[3], argv[4]);
  fprintf(stderr,
          "usage: job_bench jobs CORPUS WORK PROGRAM REPEATS [FORMAT] | copy CORPUS WORK REPEATS | "
          "large FILE WORK PROGRAM\n");
  return 2;
}
