// The bare AES-256-CBC and AES-256-GCM loops in memory, the second container
// format's key derivation, and the cipher stage of both container formats as
// the jobs run it: a large file streamed through the container writer into a
// container file, and back through the reader.
//
//   cipher_bench [megabytes=100] [folder=temporary folder]
//
// Prints one line per measurement, in MB/s (10^6 bytes per second), and the
// figures bench/run judges as "@name value" lines.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "bench/bench_data.h"
#include "common/file_util.h"
#include "common/unique_handle.h"
#include "manager/cipher/container_format2.h"
#include "manager/cipher/container_stream.h"
#include "manager/cipher/key_material.h"
#include "manager/cipher/primitives.h"
#include "manager/base/job_state.h"

namespace {

const char* const kPassword = "ベンチマーク表";


void report(const char* what, double bytes, double seconds) {
  printf("%-52s %8.1f MB/s  (%.2f s)\n", what, bytes / seconds / 1e6, seconds);
  fflush(stdout);
}

bool makeSource(const char* path, unsigned long long size) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  static unsigned char block[1 << 20];
  unsigned x = 12345;
  bool ok = true;
  while (size > 0 && ok) {
    for (size_t i = 0; i < sizeof block; ++i) {
      x = x * 1103515245u + 12345u;
      block[i] = static_cast<unsigned char>(x >> 23);
    }
    DWORD n = size < sizeof block ? static_cast<DWORD>(size) : DWORD{sizeof block};
    DWORD written = 0;
    ok = WriteFile(file, block, n, &written, nullptr) && written == n;
    size -= n;
  }
  CloseHandle(file);
  return ok;
}

bool sameFiles(const char* a, const char* b) {
  HANDLE fa = CreateFileA(a, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE fb = CreateFileA(b, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
  static unsigned char ba[1 << 20], bb[1 << 20];
  while (same) {
    DWORD ga = 0, gb = 0;
    if (!ReadFile(fa, ba, sizeof ba, &ga, nullptr) || !ReadFile(fb, bb, sizeof bb, &gb, nullptr) || ga != gb) {
      same = false;
      break;
    }
    if (ga == 0) break;
    same = memcmp(ba, bb, ga) == 0;
  }
  if (fa != INVALID_HANDLE_VALUE) CloseHandle(fa);
  if (fb != INVALID_HANDLE_VALUE) CloseHandle(fb);
  return same;
}

void bareCbc() {
  const size_t size = 32u << 20;
  unsigned char* in = static_cast<unsigned char*>(calloc(1, size));
  unsigned char* out = static_cast<unsigned char*>(calloc(1, size));
  if (!in || !out) return;
  CipherKey key;
  deriveKey(kPassword, &key);
  unsigned char iv[CIPHER_BLOCK] = {};
  double start = now();
  cbcEncrypt(&key, iv, in, out, size);
  report("bare AES-256-CBC encrypt, in memory", size, now() - start);
  memset(iv, 0, sizeof iv);
  start = now();
  cbcDecrypt(&key, iv, out, in, size);
  report("bare AES-256-CBC decrypt, in memory", size, now() - start);
  wipeKey(&key);
  free(in);
  free(out);
}

void bareGcm() {
  const size_t size = 32u << 20;
  unsigned char* plain = static_cast<unsigned char*>(calloc(1, size));
  unsigned char* sealed = static_cast<unsigned char*>(calloc(1, size + size / FORMAT2_CHUNK_SIZE * FORMAT2_TAG_SIZE));
  if (!plain || !sealed) return;
  unsigned char key[FORMAT2_KEY_SIZE] = {7};
  Format2ChunkCipher cipher(key);
  const size_t chunks = size / FORMAT2_CHUNK_SIZE, sealedChunk = FORMAT2_CHUNK_SIZE + FORMAT2_TAG_SIZE;
  double start = now();
  for (size_t i = 0; i < chunks; ++i)
    cipher.seal(i, false, plain + i * FORMAT2_CHUNK_SIZE, FORMAT2_CHUNK_SIZE, sealed + i * sealedChunk);
  report("bare AES-256-GCM seal, 64 KiB chunks, in memory", size, now() - start);
  start = now();
  bool ok = true;
  for (size_t i = 0; i < chunks; ++i)
    ok = cipher.open(i, false, sealed + i * sealedChunk, FORMAT2_CHUNK_SIZE, plain + i * FORMAT2_CHUNK_SIZE) ==
             FORMAT2_OK && ok;
  report(ok ? "bare AES-256-GCM open, 64 KiB chunks, in memory" : "bare AES-256-GCM open FAILED", size,
         now() - start);
  free(plain);
  free(sealed);
}

double keyDerivationOnce() { return format2KeyDerivationSeconds(kPassword); }

// The second format's key derivation, best of three.
double keyDerivation() {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    double seconds = keyDerivationOnce();
    if (seconds < best) best = seconds;
  }
  printf("%-52s %8.3f s     (goal: under 1 s)\n", "format 2 key derivation, 600,000 iterations", best);
  printf("@kdf_s %.3f\n", best);
  return best;
}

HANDLE openFile(const char* path, bool writing) {
  return CreateFileA(path, writing ? GENERIC_WRITE : GENERIC_READ, 0, nullptr, writing ? CREATE_ALWAYS : OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The container of the file from, streamed into the file to through the
// writer in the packer's pieces; or, decrypting, the archive of the
// container from read back through the reader into to. 0, or the first
// failure's code.
int containerPass(int format, bool decrypting, const char* from, const char* to) {
  static unsigned char piece[CONTAINER_PIECE];
  UniqueFile source(openFile(from, false)), dest(openFile(to, true));
  if (!source || !dest) return CONTAINER_SOURCE_UNREADABLE;
  size_t got = 0;
  if (decrypting) {
    LARGE_INTEGER size;
    ContainerReader reader;
    int code = GetFileSizeEx(source.get(), &size)
                   ? reader.open(source.get(), 0, static_cast<uint64_t>(size.QuadPart), kPassword, jobProgress)
                   : CONTAINER_SOURCE_UNREADABLE;
    while (code == 0 && reader.read(piece, sizeof piece, &got) && got > 0)
      if (!writeAll(dest.get(), piece, got)) code = CONTAINER_WRITE_FAILED;
    return code == 0 ? reader.result() : code;
  }
  ContainerWriter writer;
  int code = writer.prepare(format, kPassword, jobProgress);
  if (code == 0) code = writer.start(dest.get());
  while (code == 0 && readUpTo(source.get(), piece, sizeof piece, &got) && got > 0)
    if (!writer.put(piece, got)) code = CONTAINER_WRITE_FAILED;
  uint64_t length = 0;
  return code == 0 ? writer.finish(&length) : code;
}

// One container pass of either format; seconds, or -1 when it failed.
double containerRun(int format, bool decrypting, const char* from, const char* to) {
  double start = now();
  int code = containerPass(format, decrypting, from, to);
  double seconds = now() - start;
  if (code != 0) printf("format %d %s failed with code %d\n", format, decrypting ? "decryption" : "encryption", code);
  return code == 0 ? seconds : -1;
}

// The cipher stage of both container formats, each call best of three, the
// two formats taking turns so that both see the same machine. Format 2's
// figure includes its key derivation (once per call), as the jobs see it;
// its streaming alone is each call less a derivation timed just before it
// (the derivation has its own goal).
bool compareFormats(const char* plain, const char* enc, const char* back, double bytes) {
  double best[2][2] = {{1e9, 1e9}, {1e9, 1e9}}, stream[2] = {1e9, 1e9};
  for (int run = 0; run < 3; ++run) {
    for (int format = 1; format <= 2; ++format) {
      double ke = format == 2 ? keyDerivationOnce() : 0;
      double e = containerRun(format, false, plain, enc);
      double kd = format == 2 ? keyDerivationOnce() : 0;
      double d = e < 0 ? -1 : containerRun(format, true, enc, back);
      if (d < 0 || !sameFiles(plain, back)) {
        printf("format %d round trip failed\n", format);
        return false;
      }
      if (e < best[format - 1][0]) best[format - 1][0] = e;
      if (d < best[format - 1][1]) best[format - 1][1] = d;
      if (format == 2 && e - ke < stream[0]) stream[0] = e - ke;
      if (format == 2 && d - kd < stream[1]) stream[1] = d - kd;
    }
  }
  const char* const names[2] = {"encrypt", "decrypt"};
  for (int format = 1; format <= 2; ++format) {
    for (int way = 0; way < 2; ++way) {
      char label[96];
      snprintf(label, sizeof label, "format %d container %s, streamed (best of 3)", format, names[way]);
      report(label, bytes, best[format - 1][way]);
      printf("@format%d_%s_mbs %.1f\n", format, names[way], bytes / best[format - 1][way] / 1e6);
    }
  }
  for (int way = 0; way < 2; ++way) {
    double mbs = bytes / stream[way] / 1e6;
    printf("  format 2 %s, less its key derivation              %8.1f MB/s\n", names[way], mbs);
    printf("@format2_%s_stream_mbs %.1f\n", names[way], mbs);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long megabytes = argc > 1 ? strtoull(argv[1], nullptr, 10) : 100;
  char folder[MAX_PATH];
  if (argc > 2)
    snprintf(folder, sizeof folder, "%s\\", argv[2]);
  else
    GetTempPathA(sizeof folder, folder);
  char plain[MAX_PATH], enc[MAX_PATH], back[MAX_PATH];
  snprintf(plain, sizeof plain, "%skyvo_bench_%lx.arv", folder, GetCurrentProcessId());
  snprintf(enc, sizeof enc, "%skyvo_bench_%lx.enc", folder, GetCurrentProcessId());
  snprintf(back, sizeof back, "%skyvo_bench_%lx.out", folder, GetCurrentProcessId());
  const double bytes = static_cast<double>(megabytes) * 1e6;

  printf("cryptography: the system's CNG (bcrypt.dll), %s\n", cryptoAvailable() ? "loaded" : "NOT AVAILABLE");
  bareCbc();
  bareGcm();
  keyDerivation();

  resetJobState();
  if (!makeSource(plain, megabytes * 1000000ull)) {
    printf("can't write %s\n", plain);
    return 1;
  }
  int result = compareFormats(plain, enc, back, bytes) ? 0 : 1;
  DeleteFileA(plain);
  DeleteFileA(enc);
  DeleteFileA(back);
  return result;
}
