#include "manager/archive/self_decrypting.h"

#include <windows.h>
#include <string.h>

#include "common/file_util.h"
#include "common/text_util.h"
#include "common/unique_handle.h"
#include "manager/archive/data_form.h"
#include "manager/archive/payload_trailer.h"
#include "manager/archive/program_image.h"

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

bool readAt(HANDLE file, uint64_t at, void* out, DWORD size) {
  LARGE_INTEGER where;
  where.QuadPart = static_cast<LONGLONG>(at);
  DWORD got = 0;
  return SetFilePointerEx(file, where, nullptr, FILE_BEGIN) && ReadFile(file, out, size, &got, nullptr) &&
         got == size;
}

// The end of the Windows program image at the start of a file of size bytes;
// false when the file holds none.
bool windowsImageEnd(HANDLE file, uint64_t size, uint64_t* end) {
  unsigned char head[PROGRAM_HEADER_BYTES];
  DWORD want = size < sizeof head ? static_cast<DWORD>(size) : DWORD{sizeof head};
  ProgramImageLayout layout;
  if (!readAt(file, 0, head, want) || !readProgramImageLayout(head, want, &layout)) return false;
  unsigned char length[4];
  bool haveLength = layout.stringTableAt != 0 && readAt(file, layout.stringTableAt, length, sizeof length);
  *end = programImageEnd(layout, haveLength ? length : nullptr);
  return true;
}

// Steps back over the payloads and trailers that end the first size bytes,
// never below floor: where the first of them starts (size itself when there
// is none).
uint64_t stripPayloads(HANDLE file, uint64_t size, uint64_t floor) {
  while (size > floor && size >= PAYLOAD_TRAILER_SIZE) {
    unsigned char tail[PAYLOAD_TRAILER_SIZE];
    uint64_t start = 0, length = 0;
    if (!readAt(file, size - PAYLOAD_TRAILER_SIZE, tail, sizeof tail) ||
        locatePayload(size, tail, &start, &length) != PAYLOAD_FOUND)
      break;
    size = start;
  }
  return size;
}

// Whether the first length bytes of two files are the same.
bool sameStart(HANDLE a, HANDLE b, uint64_t length) {
  unsigned char x[16384], y[16384];
  for (uint64_t at = 0; at < length;) {
    DWORD n = length - at < sizeof x ? static_cast<DWORD>(length - at) : DWORD{sizeof x};
    if (!readAt(a, at, x, n) || !readAt(b, at, y, n) || memcmp(x, y, n) != 0) return false;
    at += n;
  }
  return true;
}

AssemblyResult writeFailure(AssemblyResult code) { return GetLastError() == ERROR_DISK_FULL ? ASSEMBLY_DISK_FULL : code; }

}  // namespace

AssemblyResult appendPayloadTrailer(HANDLE output, uint64_t payloadLength) {
  unsigned char trailer[PAYLOAD_TRAILER_SIZE];
  encodePayloadTrailer(payloadLength, trailer);
  AssemblyResult result = ASSEMBLY_OK;
  if (!writeAll(output, trailer, 8)) result = writeFailure(ASSEMBLY_WRITE_LENGTH);
  if (!writeAll(output, trailer + 8, 4)) result = writeFailure(ASSEMBLY_WRITE_MARKER);
  return result;
}

AssemblyResult appendProgramImage(HANDLE output, const wchar_t* programPath, const Progress& progress) {
  uint64_t imageLength = 0;
  if (!programImageLength(programPath, &imageLength)) return ASSEMBLY_OPEN_INPUT;
  LARGE_INTEGER zero = {};
  if (!SetFilePointerEx(output, zero, nullptr, FILE_END)) return ASSEMBLY_SEEK_OUTPUT;
  UniqueFile input(openForReading(programPath));
  if (!input) return ASSEMBLY_OPEN_INPUT;
  progress.phase(PHASE_WRITING_RESULT);
  progress.total(static_cast<int64_t>(imageLength));
  progress.done(0);
  for (uint64_t remaining = imageLength; remaining > 0;) {
    DWORD want = remaining < kCopyChunk ? static_cast<DWORD>(remaining) : DWORD{kCopyChunk};
    DWORD got = 0;
    if (!ReadFile(input.get(), copyBuffer, want, &got, nullptr)) return ASSEMBLY_READ_INPUT;
    if (got == 0) break;
    if (!writeAll(output, copyBuffer, got)) return writeFailure(ASSEMBLY_WRITE);
    remaining -= got;
    progress.advance(got);
    if (progress.stopRequested()) return ASSEMBLY_STOPPED;
  }
  return ASSEMBLY_OK;
}

bool programImageLength(const wchar_t* programPath, uint64_t* length) {
  UniqueFile file(openForReading(programPath));
  uint64_t size = 0;
  if (!file || !fileSize(file.get(), &size)) return false;
  // A program that is itself a self-decrypting file carries a payload: the
  // image of a new result leaves it out, down to the bare program, and so
  // anything else appended to the program, which would make the new result
  // look damaged.
  *length = stripPayloads(file.get(), size, 0);
  uint64_t end = 0;
  if (windowsImageEnd(file.get(), size, &end) && end < *length) *length = end;
  return true;
}

// A file of the data form: its header, then one payload whose trailer leads
// back exactly to the header's end.
static ResultFileKind probeDataForm(HANDLE file, uint64_t size) {
  unsigned char head[DATA_FORM_HEADER_SIZE], tail[PAYLOAD_TRAILER_SIZE];
  uint64_t start = 0, length = 0;
  bool intact = size >= DATA_FORM_HEADER_SIZE + PAYLOAD_TRAILER_SIZE && readAt(file, 0, head, sizeof head) &&
                isDataFormHeader(head, sizeof head) && readAt(file, size - PAYLOAD_TRAILER_SIZE, tail, sizeof tail) &&
                locatePayload(size, tail, &start, &length) == PAYLOAD_FOUND && start == DATA_FORM_HEADER_SIZE;
  return intact ? RESULT_FILE_INTACT : RESULT_FILE_DAMAGED;
}

ResultFileKind probeResultFile(const wchar_t* filePath, const wchar_t* programPath) {
  UniqueFile file(openForReading(filePath));
  uint64_t size = 0, end = 0;
  unsigned char signature[DATA_FORM_SIGNATURE_SIZE];
  if (file && fileSize(file.get(), &size) && size >= sizeof signature &&
      readAt(file.get(), 0, signature, sizeof signature) && hasDataFormSignature(signature, sizeof signature))
    return probeDataForm(file.get(), size);
  if (!file || !fileSize(file.get(), &size) || !windowsImageEnd(file.get(), size, &end) || end > size)
    return RESULT_FILE_OTHER;
  if (programPath) {
    UniqueFile program(openForReading(programPath));
    uint64_t programSize = 0, programEnd = 0;
    if (!program || !fileSize(program.get(), &programSize) ||
        !windowsImageEnd(program.get(), programSize, &programEnd) || programEnd != end ||
        !sameStart(file.get(), program.get(), end))
      return RESULT_FILE_OTHER;
  }
  if (size == end) return RESULT_FILE_BARE;
  // Only trailers that lead back exactly to the end of the image make a
  // result: one cut short has lost its last trailer, one added to ends in
  // other bytes, and a trailer found there points anywhere but to the image.
  return stripPayloads(file.get(), size, end) == end ? RESULT_FILE_INTACT : RESULT_FILE_DAMAGED;
}

HANDLE openResultForReading(const wchar_t* filePath) {
  if (textLengthUpTo(filePath, kMaxSplitPath) >= kMaxSplitPath) return INVALID_HANDLE_VALUE;
  return CreateFileW(filePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

SplitResult findPayload(HANDLE file, uint64_t* start, uint64_t* length) {
  uint64_t size = 0;
  LARGE_INTEGER at;
  at.QuadPart = -PAYLOAD_TRAILER_SIZE;
  if (!fileSize(file, &size) || !SetFilePointerEx(file, at, nullptr, FILE_END)) return SPLIT_BAD_LENGTH;
  unsigned char tail[PAYLOAD_TRAILER_SIZE];
  DWORD got = 0;
  if (!ReadFile(file, tail, sizeof tail, &got, nullptr) || got != sizeof tail) return SPLIT_BAD_LENGTH;
  PayloadResult located = locatePayload(size, tail, start, length);
  if (located != PAYLOAD_FOUND) return located == PAYLOAD_NONE ? SPLIT_NO_PAYLOAD : SPLIT_BAD_LENGTH;
  at.QuadPart = static_cast<LONGLONG>(*start);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) ? SPLIT_OK : SPLIT_BAD_LENGTH;
}

SplitResult SplitSelfMeltFile(const wchar_t* filePath) {
  if (textLengthUpTo(filePath, kMaxSplitPath) >= kMaxSplitPath) return SPLIT_CANNOT_OPEN;
  UniqueFile file(openForReading(filePath));
  if (!file) return SPLIT_CANNOT_OPEN;
  uint64_t start = 0, length = 0;
  return findPayload(file.get(), &start, &length);
}
