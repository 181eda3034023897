// Packing and extraction throughput of the archive code on a mixed tree.
//   archive_bench.exe [megabytes [threads]]   (default 50, threads 0: one per processor)
// The tree holds text-like files, random (incompressible) files, runs of
// zeros, many small files and a few large ones; it is built in the temporary
// folder, packed with buildArchive, restored by the extractor, compared,
// and removed.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "support/narrow_paths.h"
#include "manager/archive/compress_pool.h"
#include "manager/archive/extractor.h"
#include "manager/archive/packer.h"
#include "manager/base/job_state.h"

namespace {

unsigned long long totalBytes = 0;
unsigned fileCount = 0;

bool writeWhole(const std::string& path, const std::string& data) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
  CloseHandle(f);
  totalBytes += data.size();
  ++fileCount;
  return ok;
}

bool readWhole(const std::string& path, std::string* data) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  GetFileSizeEx(f, &size);
  data->assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  bool ok = data->empty() || (ReadFile(f, &(*data)[0], static_cast<DWORD>(data->size()), &got, nullptr) &&
                              got == data->size());
  CloseHandle(f);
  return ok;
}


// Builds the mixed tree; returns the relative paths of its files.
std::vector<std::string> buildTree(const std::string& root, unsigned long long target) {
  std::vector<std::string> files;
  CreateDirectoryA(root.c_str(), nullptr);
  auto add = [&](const std::string& rel, const std::string& data) {
    if (writeWhole(root + "\\" + rel, data)) files.push_back(rel);
  };
  const unsigned long long part = target / 5;
  // Many small files in a few folders.
  for (int d = 0; d < 10; ++d) CreateDirectoryA((root + "\\small" + std::to_string(d)).c_str(), nullptr);
  for (unsigned i = 0; totalBytes < part; ++i) {
    size_t size = 200 + (i * 7919u) % 8000;
    std::string rel = "small" + std::to_string(i % 10) + "\\f" + std::to_string(i) + ".txt";
    add(rel, (i % 3 == 0) ? randomBytes(size, i) : textLike(size, i));
  }
  // Medium text-like files.
  CreateDirectoryA((root + "\\text").c_str(), nullptr);
  for (unsigned i = 0; totalBytes < 2 * part; ++i) add("text\\doc" + std::to_string(i) + ".txt", textLike(400000, i));
  // Random (incompressible) files.
  CreateDirectoryA((root + "\\random").c_str(), nullptr);
  for (unsigned i = 0; totalBytes < 3 * part; ++i) add("random\\r" + std::to_string(i) + ".bin", randomBytes(1 << 20, i));
  // Zeros.
  add("zeros.bin", std::string(static_cast<size_t>(part), '\0'));
  // A few large mixed files.
  CreateDirectoryA((root + "\\large").c_str(), nullptr);
  for (unsigned i = 0; totalBytes < target; ++i) {
    std::string data = textLike(3 << 20, 100 + i) + randomBytes(2 << 20, 100 + i) + std::string(1 << 20, '\0');
    add("large\\big" + std::to_string(i) + ".dat", data);
  }
  return files;
}

double seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

long long fileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return -1;
  return (static_cast<long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 50;
  if (megabytes == 0) megabytes = 50;
  setPackerThreads(argc > 2 ? atoi(argv[2]) : 0);
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string work = std::string(temp) + "kyvo_archive_bench_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(work.c_str(), nullptr);
  std::string tree = work + "\\tree", out = work + "\\out", archive = work + "\\TmpCrp_bench.arv";

  resetJobState();
  setPath(jobState.moduleDir, work + "\\");
  setPath(jobState.sourceListPath, work + "\\list.prc");

  std::vector<std::string> files = buildTree(tree, megabytes << 20);
  double mb = static_cast<double>(totalBytes) / (1 << 20);
  printf("tree: %u files, %.1f MB; compression threads: %d\n", fileCount, mb, packerThreadCount());

  LARGE_INTEGER t0, t1, t2;
  QueryPerformanceCounter(&t0);
  int packed = packForJob("\"" + tree + "\"", archive);
  QueryPerformanceCounter(&t1);
  int extracted = extractArchiveFile(archive, out);
  QueryPerformanceCounter(&t2);

  int mismatches = 0;
  for (const std::string& rel : files) {
    std::string a, b;
    if (!readWhole(tree + "\\" + rel, &a) || !readWhole(out + "\\tree\\" + rel, &b) || a != b) ++mismatches;
  }
  long long archiveSize = fileSize(archive);
  printf("archive: %.1f MB (%.1f%% of the tree)\n", static_cast<double>(archiveSize) / (1 << 20),
         100.0 * static_cast<double>(archiveSize) / static_cast<double>(totalBytes));
  printf("pack:    result %d, %.2f s, %.1f MB/s\n", packed, seconds(t0, t1), mb / seconds(t0, t1));
  printf("extract: result %d, %.2f s, %.1f MB/s\n", extracted, seconds(t1, t2), mb / seconds(t1, t2));
  printf("restored files differing from their sources: %d\n", mismatches);
  removeTree(work);
  return (packed == 0 && extracted == 0 && mismatches == 0) ? 0 : 1;
}
