// The mark a file carries of the zone it came from: the text of its
// Zone.Identifier stream, as browsers, mail programs and the file manager
// write it ("[ZoneTransfer]" and a line "ZoneId=3").
//
// Byte-level code: no windows.h.
#pragma once
#include <stddef.h>

enum ZoneId {
  ZONE_NONE = -1,       // no mark, or none that can be read
  ZONE_LOCAL = 0, ZONE_INTRANET = 1, ZONE_TRUSTED = 2,
  ZONE_INTERNET = 3, ZONE_RESTRICTED = 4,
};

// The zone the text of a mark names: the ZoneId of its [ZoneTransfer]
// section (keys and the section name regardless of case, blanks around them
// ignored), or ZONE_NONE when it names none from 0 to 4.
int zoneOfMarkText(const char* text, size_t size);

// Whether files taken out of a file of that zone carry its mark, as the file
// manager gives them for an archive: the internet and restricted zones.
inline bool zonePassesOn(int zone) { return zone == ZONE_INTERNET || zone == ZONE_RESTRICTED; }

// The text of a mark of the zone (0..4): "[ZoneTransfer]\r\nZoneId=<n>\r\n".
// Returns its length, 0 when cap is too small or the zone is none of them.
size_t formatMarkText(int zone, char* out, size_t cap);
