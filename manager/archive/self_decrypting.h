// A self-decrypting file: the program image, the encrypted container, and the
// 12-byte trailer that gives the container's length.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "common/progress.h"
#include "manager/archive/payload_trailer.h"

// Result codes of the output assembly.
enum AssemblyResult {
  ASSEMBLY_OK = 0,
  ASSEMBLY_OPEN_OUTPUT = 32, ASSEMBLY_SEEK_OUTPUT = 33,  // the result under construction
  ASSEMBLY_OPEN_INPUT = 35, ASSEMBLY_READ_INPUT = 36,    // the program image
  ASSEMBLY_WRITE = 37, ASSEMBLY_WRITE_LENGTH = 38, ASSEMBLY_WRITE_MARKER = 39,  // data, then the trailer's two parts
  ASSEMBLY_DISK_FULL = 46,
  ASSEMBLY_STOPPED = RESULT_STOPPED,
};

// Result codes of SplitSelfMeltFile and findPayload.
enum SplitResult {
  SPLIT_OK = 0,
  SPLIT_CANNOT_OPEN = 2,
  SPLIT_BAD_LENGTH = PAYLOAD_BAD_LENGTH,
  SPLIT_NO_PAYLOAD = PAYLOAD_NONE,  // the file is no result (not a stop request, which is also 999)
};

// The parts of an assembly, for a result that is written as it is made
// (into a working file beside it, working_file.h): the program image of
// programPath appended to it, and the trailer behind a payload of
// payloadLength bytes.
AssemblyResult appendProgramImage(HANDLE output, const wchar_t* programPath, const Progress& progress);
AssemblyResult appendPayloadTrailer(HANDLE output, uint64_t payloadLength);

// Tests filePath for a payload. A path of 520 characters or more cannot be
// opened (2).
SplitResult SplitSelfMeltFile(const wchar_t* filePath);

// Opens a result to be restored in place: for reading, with writing and
// deletion denied until the handle is closed (null: it can't be opened, 2),
// and finds its payload (the codes of SplitSelfMeltFile).
HANDLE openResultForReading(const wchar_t* filePath);
SplitResult findPayload(HANDLE file, uint64_t* start, uint64_t* length);

// Length of the program image in a file: the Windows program at its start
// without whatever was appended to it, or, where its headers don't tell, the
// part before its payload (repeated while the image itself ends with a
// payload). Returns false if the file can't be opened.
bool programImageLength(const wchar_t* programPath, uint64_t* length);

// What a file is, judged by the image of a Windows program at its start.
enum ResultFileKind {
  RESULT_FILE_OTHER = 0,  // no such image (or another program's, or not all of it)
  RESULT_FILE_BARE,       // the image and nothing after it
  RESULT_FILE_INTACT,     // the image, then payloads each with its trailer, the last one ending the file
  RESULT_FILE_DAMAGED,    // the image followed by data its trailers don't account for: cut short, or added to
};

// Judges filePath. With programPath the image must be that program's image,
// byte for byte; without it the file's own image counts (a program judging
// itself). A file of the data form (data_form.h) is intact when its header
// is one this program reads and its one trailer leads back exactly to the
// header's end, and damaged otherwise.
ResultFileKind probeResultFile(const wchar_t* filePath, const wchar_t* programPath = nullptr);
