// The text side of the operation log: the fields taken from a source-list
// piece and the record composed from them. Byte-level code.
#pragma once
#include <stddef.h>

// fgets count for reading the source list: 255 characters and the terminator.
enum { SOURCE_LIST_PIECE = 256 };

struct SourceListFields {
  char oldFilePath[SOURCE_LIST_PIECE];  // after "File=" up to the next ";", quotes included
  char srcDrvType[SOURCE_LIST_PIECE];   // after ";Type=" up to the next ";"
};

// Takes the two fields from one piece of the source list (at most 255 bytes
// of it are read, as much as one fgets delivers), cut first at its first CR
// and its first LF. False when nothing is left, or a field or the ";" that ends it is
// missing. The drive type is the last ";Type=" of the piece, the one the line
// ends with, so a "Type=" inside a file name is not taken for it.
bool parseSourceListPiece(const char* piece, SourceListFields* fields);

struct LogRecordFields {
  const char* procName;
  const char* startText;
  const char* endText;
  int procTime;
  int drvType;
  const char* drvName;
  const char* filePath;
  const char* oldFilePath;
  const char* userName;
  const char* srcDrvType;
};

// Composes the record, ending with CR LF: every field whole, whatever its
// length. Writes it into out when it fits with its terminator (otherwise out,
// if cap > 0, is empty) and returns its length in both cases.
size_t composeLogRecord(char* out, size_t cap, const LogRecordFields& fields);

// Whole minutes between the two calendar times: the difference in seconds cut
// to an integer, divided by 60, remainder dropped (59 s give 0, 119 s give 1).
int procTimeMinutes(long long startSeconds, long long endSeconds);
