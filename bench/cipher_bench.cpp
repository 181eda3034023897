// Throughput of the streaming cipher engine on a large file, and of the bare
// AES-256-CBC loop in memory for comparison.
//
//   cipher_bench [megabytes=100] [folder=temporary folder]
//
// Prints one line per measurement, in MB/s (10^6 bytes per second).
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mbedtls/aesni.h>
#include <mbedtls/padlock.h>

#include "bench/bench_data.h"
#include "support/narrow_paths.h"
#include "manager/cipher/container.h"
#include "manager/cipher/crypt_stream.h"
#include "manager/cipher/key_material.h"
#include "manager/startup/job_state.h"

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

// One cryptStream run from file to file; returns seconds, or -1 on failure.
double stream(const char* from, const char* to, int decrypting, int chunkSize) {
  EntryPrm prm;
  resetEntryPrm(&prm);
  prm.sourceKind = SRC_FILE;
  std::wstring wideFrom = W(from), wideTo = W(to);
  prm.sourcePath = wideFrom.c_str();
  prm.destKind = DST_NEW_FILE;
  prm.destPath = wideTo.c_str();
  prm.passwordText = kPassword;
  prm.chunkSize = chunkSize;
  prm.decrypting = decrypting;
  double start = now();
  cryptStream(&prm);
  double seconds = now() - start;
  if (prm.resultCode != 0) {
    printf("cryptStream failed with code %d\n", static_cast<int>(prm.resultCode));
    return -1;
  }
  return seconds;
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

  // This program is compiled with the flags the library was built with, so
  // the header tells what the library holds.
#if defined(MBEDTLS_AESNI_HAVE_CODE)
  printf("mbed TLS AES-NI code: compiled in (variant %d), %s on this processor\n", MBEDTLS_AESNI_HAVE_CODE,
         mbedtls_aesni_has_support(MBEDTLS_AESNI_AES) ? "used" : "not present");
#else
  printf("mbed TLS AES-NI code: not compiled in\n");
#endif
#if defined(MBEDTLS_PADLOCK_C) && defined(MBEDTLS_HAVE_X86)
  printf("VIA PadLock: compiled in, %s on this processor\n",
         mbedtls_padlock_has_support(MBEDTLS_PADLOCK_ACE) ? "used" : "not present");
#endif
  bareCbc();

  resetJobState();
  if (!makeSource(plain, megabytes * 1000000ull)) {
    printf("can't write %s\n", plain);
    return 1;
  }
  int result = 0;
  const int chunks[] = {1024, 65520};
  for (int chunk : chunks) {
    char label[96];
    double seconds = stream(plain, enc, 0, chunk);
    snprintf(label, sizeof label, "cryptStream encrypt, file to file, %d-byte chunks", chunk);
    if (seconds >= 0) report(label, bytes, seconds);
    seconds = stream(enc, back, 1, chunk);
    snprintf(label, sizeof label, "cryptStream decrypt, file to file, %d-byte chunks", chunk);
    if (seconds >= 0) report(label, bytes, seconds);
    // Only 1024-byte chunks restore the exact stream (other sizes pad each chunk).
    if (chunk == 1024 && !sameFiles(plain, back)) {
      printf("decrypted file differs from the source\n");
      result = 1;
    }
  }
  double start = now();
  int code = encryptArchive(plain, enc, kPassword);
  if (code == 0) report("encryptArchive (header + body)", bytes, now() - start);
  start = now();
  if (code == 0) code = decryptArchive(enc, back, kPassword);
  if (code == 0) report("decryptArchive (header + body)", bytes, now() - start);
  if (code != 0 || !sameFiles(plain, back)) {
    printf("container round trip failed (%d)\n", code);
    result = 1;
  }
  DeleteFileA(plain);
  DeleteFileA(enc);
  DeleteFileA(back);
  return result;
}
