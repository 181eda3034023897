// The encryption and decryption jobs, stage by stage, in this process: the
// same calls the workers make (buildArchive, encryptArchiveAs,
// assembleSelfDecryptingFile; SplitSelfMeltFile, decryptArchive,
// runExtraction), each timed.
//
//   job_bench jobs  CORPUS WORK PROGRAM REPEATS [FORMAT]
//                                                 both jobs on a tree, best of REPEATS,
//                                                 in container format 1 (default) or 2
//   job_bench copy  CORPUS WORK REPEATS           a 32 KiB-buffer copy of the tree
//   job_bench large FILE WORK PROGRAM             one round trip of one (large) file
//
// PROGRAM is the program image of the self-decrypting result (Kyvomar.exe).
// Intermediate files go into WORK and are deleted as soon as the next stage
// has read them. Besides its report every figure is printed once more as a
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
#include "manager/startup/job_state.h"
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
  long long archiveSize = 0, containerSize = 0, resultSize = 0, payloadSize = 0, decryptedSize = 0;
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
// container in the given format.
void encryption(const std::string& source, const std::string& work, const std::string& program,
                const std::string& result, Run* run, int format = CONTAINER_FORMAT_1) {
  std::string archive = work + "\\TmpCrp_bench.arv", container = work + "\\TmpCrp_bench.enc";
  resetJobState();
  setPath(jobState.moduleDir, work + "\\");
  setPath(jobState.sourceListPath, work + "\\TmpCrp_bench.prc");
  std::string command = "\"" + source + "\" -o \"" + archive + "\"";

  double t0 = now();
  int code = packForJob(command.c_str());
  double t1 = now();
  run->pack = t1 - t0;
  run->archiveSize = fileSizeOf(archive);
  if (!failed(run, code, "buildArchive")) {
    code = encryptArchiveAs(archive.c_str(), container.c_str(), kPassword, format);
    double t2 = now();
    run->encrypt = t2 - t1;
    run->containerSize = fileSizeOf(container);
    DeleteFileA(archive.c_str());
    if (!failed(run, code, "encryptArchiveAs")) {
      code = assembleSelfDecryptingFile(result.c_str(), program.c_str(), container.c_str());
      run->assemble = now() - t2;
      run->resultSize = fileSizeOf(result);
      failed(run, code, "assembleSelfDecryptingFile");
    }
  }
  DeleteFileA(archive.c_str());
  DeleteFileA(container.c_str());
  DeleteFileW(jobState.sourceListPath);
}

// The decryption job's steps: result into the folder restore. With
// dropResult the result file is deleted once its payload is out (saves disk
// space on a large round trip).
void decryption(const std::string& result, const std::string& work, const std::string& restore, Run* run,
                bool dropResult = false) {
  std::string container = work + "\\TmpCrp_dec.enc", archive = work + "\\TmpCrp_dec.arv";
  resetJobState();
  setPath(jobState.moduleDir, work + "\\");
  std::string command = "-i \"" + archive + "\" -o \"" + restore + "\"";

  double t0 = now();
  int code = SplitSelfMeltFile(result.c_str(), container.c_str());
  double t1 = now();
  run->split = t1 - t0;
  run->payloadSize = fileSizeOf(container);
  if (dropResult) DeleteFileA(result.c_str());
  if (!failed(run, code, "SplitSelfMeltFile")) {
    code = decryptArchive(container.c_str(), archive.c_str(), kPassword);
    double t2 = now();
    run->decrypt = t2 - t1;
    run->decryptedSize = fileSizeOf(archive);
    DeleteFileA(container.c_str());
    if (!failed(run, code, "decryptArchive")) {
      code = runExtraction(command.c_str());
      run->extract = now() - t2;
      failed(run, code, "runExtraction");
    }
  }
  DeleteFileA(container.c_str());
  DeleteFileA(archive.c_str());
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
    if (run.code == 0) decryption(result, work, restore, &run);
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
  printf("archive %lld bytes, container %lld bytes, result %lld bytes\n", run.archiveSize,
         run.containerSize, run.resultSize);
  if (run.code == 0) {
    decryption(result, work, restore, &run, true);
    printf("payload %lld bytes, decrypted archive %lld bytes\n", run.payloadSize, run.decryptedSize);
  }
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
  figure("container_bytes", static_cast<double>(run.containerSize));
  figure("decrypted_bytes", static_cast<double>(run.decryptedSize));
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
