// Zone marks as browsers and mail programs write them, and as the program
// writes them on what it restores.
#include "manager/archive/zone_identifier.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ZoneIdentifier, TheZoneOfAMarkAndWhetherItPassesOn) {
  const struct {
    std::string text;
    int zone;
  } cases[] = {
      {"[ZoneTransfer]\r\nZoneId=3\r\n", 3},
      {"[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://mail.example/\r\nHostUrl=about:internet\r\n", 3},
      {"\xEF\xBB\xBF[ZoneTransfer]\nZoneId=4", 4},  // a byte-order mark, Unix line ends, no last one
      {"  [ zonetransfer ]  \r\n  zoneid = 2 \r\n", 2},
      {"[Other]\r\nZoneId=3\r\n[ZoneTransfer]\r\nZoneId=1\r\n", 1},  // only its own section counts
      {"[ZoneTransfer]\r\nZoneIdentifier=3\r\n", ZONE_NONE},
      {"[ZoneTransfer]\r\nZoneId=5\r\n", ZONE_NONE},
      {"[ZoneTransfer]\r\nZoneId=33\r\n", ZONE_NONE},
      {"[ZoneTransfer]\r\nZoneId=\r\n", ZONE_NONE},
      {"ZoneId=3\r\n", ZONE_NONE},
      {"[ZoneTransfer\r\nZoneId=3\r\n", ZONE_NONE},
      {"", ZONE_NONE},
      {std::string("[ZoneTransfer]\r\nZone\0Id=3\r\n", 27), ZONE_NONE},
  };
  for (const auto& c : cases) EXPECT_EQ(zoneOfMarkText(c.text.data(), c.text.size()), c.zone) << c.text;
  for (int zone = -1; zone <= 5; ++zone) EXPECT_EQ(zonePassesOn(zone), zone == 3 || zone == 4) << zone;
  char text[64];
  size_t n = formatMarkText(4, text, sizeof text);
  EXPECT_EQ(std::string(text, n), "[ZoneTransfer]\r\nZoneId=4\r\n");
  EXPECT_EQ(zoneOfMarkText(text, n), 4);
  EXPECT_EQ(formatMarkText(5, text, sizeof text), 0u);
  EXPECT_EQ(formatMarkText(3, text, 10), 0u);
}

}  // namespace
