// Date-times as the engine stores them: TDateTime counts days since 30 December 1899,
// the fraction being the time of day; civil fields and Windows file times convert to it.
#pragma once

#include <cstdint>

namespace kvx {

using TDateTime = double;

struct CivilTime {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
};

bool operator==(const CivilTime& a, const CivilTime& b);

// Whole days are counted from day 0; for negative values the fraction still runs
// forward from midnight (−1.25 is 29 December 1899, 06:00), as TDateTime defines it.
TDateTime EncodeDateTime(const CivilTime& time);
CivilTime DecodeDateTime(TDateTime value);

// Windows file time: 100-nanosecond intervals since 1 January 1601, UTC.
using FileTimeUtc = int64_t;

inline constexpr FileTimeUtc kFileTimeUnixEpoch = 116444736000000000LL;
inline constexpr int64_t kFileTimeTicksPerSecond = 10000000;

// Civil fields of a file time, read as UTC.
CivilTime CivilOfFileTime(FileTimeUtc time);
FileTimeUtc FileTimeOfCivil(const CivilTime& time);

}  // namespace kvx
