#include "manager/archive/self_decrypting.h"

#include <windows.h>
#include <string.h>

#include "common/file_util.h"
#include "common/fresh_file.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "manager/archive/payload_trailer.h"

namespace {

enum { kCopyChunk = 32768, kMaxSplitPath = 520 };

// One buffer serves every copy; only the worker thread copies.
unsigned char copyBuffer[kCopyChunk];

HANDLE openForReading(const wchar_t* path) {
  return CreateFileW(path, GENERIC_READ, WORKING_FILE_SHARE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool fileSize(HANDLE file, uint64_t* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value)) return false;
  *size = static_cast<uint64_t>(value.QuadPart);
  return true;
}

AssemblyResult writeFailure(AssemblyResult code) { return GetLastError() == ERROR_DISK_FULL ? ASSEMBLY_DISK_FULL : code; }

// Appends at most limit bytes of inputPath (all of it when limit is
// UINT64_MAX), then, with withTrailer, the trailer.
AssemblyResult appendFileRange(HANDLE output, const wchar_t* inputPath, uint64_t limit, bool withTrailer,
                    const Progress& progress) {
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(output, zero, nullptr, FILE_END)) return ASSEMBLY_SEEK_OUTPUT;

  uint64_t size = 0;
  {
    UniqueFile probe(openForReading(inputPath));
    if (!probe || !fileSize(probe.get(), &size)) size = 0;
  }
  if (size > limit) size = limit;
  progress.total(static_cast<int64_t>(size));

  UniqueFile input(openForReading(inputPath));
  if (!input) return ASSEMBLY_OPEN_INPUT;
  reportStatus(progress, "最終出力中です");
  progress.done(0);

  uint64_t remaining = limit;
  for (;;) {
    DWORD want = remaining < kCopyChunk ? static_cast<DWORD>(remaining) : DWORD{kCopyChunk};
    DWORD got = 0;
    if (want > 0 && !ReadFile(input.get(), copyBuffer, want, &got, nullptr)) return ASSEMBLY_READ_INPUT;
    if (got == 0) break;
    if (!writeAll(output, copyBuffer, got)) return writeFailure(ASSEMBLY_WRITE);
    remaining -= got;
    progress.advance(got);
    if (progress.stopRequested()) return ASSEMBLY_STOPPED;
  }
  if (!withTrailer) return ASSEMBLY_OK;
  unsigned char trailer[PAYLOAD_TRAILER_SIZE];
  encodePayloadTrailer(size, trailer);
  AssemblyResult result = ASSEMBLY_OK;
  if (!writeAll(output, trailer, 8)) result = writeFailure(ASSEMBLY_WRITE_LENGTH);
  if (!writeAll(output, trailer + 8, 4)) result = writeFailure(ASSEMBLY_WRITE_MARKER);
  return result;
}

// The name of the file under construction: in the folder of the output
// (the folder part of the context's path, empty when it has none), "~kyv",
// the process and the attempt's value.
bool formOutputName(const void* context, unsigned long value, wchar_t* out, size_t cap) {
  wchar_t folder[2049];
  copyText(folder, countOf(folder), static_cast<const wchar_t*>(context));
  folder[lastSeparatorIndex(folder) + 1] = 0;  // keeps the separator
  return formatText(out, cap, L"%ls~kyv%lx%lx.tmp", folder, GetCurrentProcessId(), value) && textLength(out) < MAX_PATH;
}

}  // namespace

AssemblyResult appendFileToOutput(const wchar_t* outputPath, const wchar_t* inputPath, bool withTrailer,
                       const Progress& progress) {
  UniqueFile output(CreateFileW(outputPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output) return ASSEMBLY_OPEN_OUTPUT;
  return appendFileRange(output.get(), inputPath, UINT64_MAX, withTrailer, progress);
}

bool programImageLength(const wchar_t* programPath, uint64_t* length) {
  UniqueFile file(openForReading(programPath));
  uint64_t size = 0;
  if (!file || !fileSize(file.get(), &size)) return false;
  // A program that is itself a self-decrypting file carries a payload: the
  // image of a new result leaves it out, down to the bare program.
  for (;;) {
    unsigned char tail[PAYLOAD_TRAILER_SIZE];
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size) - PAYLOAD_TRAILER_SIZE;
    DWORD got = 0;
    if (size < PAYLOAD_TRAILER_SIZE || !SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !ReadFile(file.get(), tail, sizeof tail, &got, nullptr) || got != sizeof tail)
      break;
    uint64_t start = 0, payload = 0;
    if (locatePayload(size, tail, &start, &payload) != PAYLOAD_FOUND) break;
    size = start;
  }
  *length = size;
  return true;
}

AssemblyResult assembleSelfDecryptingFile(const wchar_t* outputPath, const wchar_t* programPath,
                               const wchar_t* containerPath, const Progress& progress) {
  uint64_t imageLength = 0;
  if (!programImageLength(programPath, &imageLength)) return ASSEMBLY_OPEN_INPUT;
  wchar_t temporary[MAX_PATH + 1];
  UniqueFile output(createFreshFile(formOutputName, outputPath, FILE_ATTRIBUTE_NORMAL, temporary, countOf(temporary)));
  if (!output) return ASSEMBLY_OPEN_OUTPUT;
  AssemblyResult result = appendFileRange(output.get(), programPath, imageLength, false, progress);
  if (result == ASSEMBLY_OK) result = appendFileRange(output.get(), containerPath, UINT64_MAX, true, progress);
  output.reset();
  if (result == ASSEMBLY_OK &&
      !MoveFileExW(temporary, outputPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    result = ASSEMBLY_OPEN_OUTPUT;
  if (result != ASSEMBLY_OK) DeleteFileW(temporary);
  return result;
}

SplitResult SplitSelfMeltFile(const wchar_t* filePath, const wchar_t* payloadPath, const Progress& progress) {
  if (textLengthUpTo(filePath, kMaxSplitPath) >= kMaxSplitPath) return SPLIT_CANNOT_OPEN;
  UniqueFile file(openForReading(filePath));
  if (!file) return SPLIT_CANNOT_OPEN;
  uint64_t size = 0;
  LARGE_INTEGER at;
  at.QuadPart = -PAYLOAD_TRAILER_SIZE;
  if (!fileSize(file.get(), &size) || !SetFilePointerEx(file.get(), at, nullptr, FILE_END))
    return SPLIT_BAD_LENGTH;
  unsigned char tail[PAYLOAD_TRAILER_SIZE];
  DWORD got = 0;
  if (!ReadFile(file.get(), tail, sizeof tail, &got, nullptr) || got != sizeof tail)
    return SPLIT_BAD_LENGTH;
  uint64_t start = 0, length = 0;
  PayloadResult located = locatePayload(size, tail, &start, &length);
  if (located != PAYLOAD_FOUND) return located == PAYLOAD_NONE ? SPLIT_NO_PAYLOAD : SPLIT_BAD_LENGTH;
  at.QuadPart = static_cast<LONGLONG>(start);
  if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return SPLIT_BAD_LENGTH;
  if (payloadPath == nullptr) return SPLIT_OK;

  UniqueFile payload(CreateFileW(payloadPath, GENERIC_WRITE, WORKING_FILE_SHARE, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!payload) return SPLIT_CANNOT_CREATE;
  reportStatus(progress, "書庫化ファイルを分離中です");
  progress.total(static_cast<int64_t>(length));
  progress.done(0);
  uint64_t remaining = length;
  while (remaining > 0) {
    if (!ReadFile(file.get(), copyBuffer, kCopyChunk, &got, nullptr)) return SPLIT_READ_FAILED;
    if (got == 0) break;
    DWORD put = remaining < got ? static_cast<DWORD>(remaining) : got;
    if (!writeAll(payload.get(), copyBuffer, put)) return SPLIT_WRITE_FAILED;
    remaining -= put;
    progress.advance(put);
    if (progress.stopRequested()) return SPLIT_STOPPED;
  }
  return SPLIT_OK;
}
