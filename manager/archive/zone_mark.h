// Zone marks on files: the Zone.Identifier stream beside a file's data, read
// from a result and written on what it restores. Through a seam that tests
// set, since not every file system keeps streams.
#pragma once
#include "manager/archive/zone_identifier.h"

struct ZoneMarks {
  int (*zoneOf)(const wchar_t* path);           // ZONE_NONE without a mark
  bool (*mark)(const wchar_t* path, int zone);  // false when it could not be written
};
// Replaces the marks' implementation; null restores the file system's streams.
void setZoneMarks(const ZoneMarks* marks);

// The zone a file's mark names, or ZONE_NONE.
int zoneOfFile(const wchar_t* path);
// Gives a file the mark of the zone. A file system without streams (FAT
// drives among others) keeps none: false, and the file stays as it is.
bool markFileZone(const wchar_t* path, int zone);
