// The local time zone: local civil time of an instant and the offset from UTC in
// effect then (daylight saving included when it applies at that instant).
#pragma once

#include <string>

#include "base/date_time.h"

namespace kvx {

struct ZonedTime {
  CivilTime Local;
  int GmtOffsetMinutes = 0;  // local time minus UTC
};

ZonedTime LocalTimeOf(FileTimeUtc time);

ZonedTime LocalNow();

// The current local time as the system's time format writes it (posix: "HH:MM:SS").
std::string CurrentTimeText();

// Offset in effect at a local civil time (an hour that exists twice takes either offset).
int GmtOffsetMinutesAtLocal(const CivilTime& local);

}  // namespace kvx
