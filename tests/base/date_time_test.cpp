#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "base/date_time.h"
#include "base/local_time.h"

namespace kvx {
namespace {

TEST(DateTime, DayZeroAndKnownDates) {
  EXPECT_EQ(DecodeDateTime(0), (CivilTime{1899, 12, 30, 0, 0, 0, 0}));
  EXPECT_EQ(DecodeDateTime(36526.5), (CivilTime{2000, 1, 1, 12, 0, 0, 0}));
  EXPECT_EQ(DecodeDateTime(-1.25), (CivilTime{1899, 12, 29, 6, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2024, 2, 29, 0, 0, 0, 0}), 45351.0);
}

TEST(DateTime, RoundTripsToTheMillisecond) {
  const CivilTime t{2031, 7, 14, 23, 59, 59, 999};
  EXPECT_EQ(DecodeDateTime(EncodeDateTime(t)), t);
  // A value a hair below midnight rounds up into the next day.
  EXPECT_EQ(DecodeDateTime(45351.0 - 1e-10), (CivilTime{2024, 2, 29, 0, 0, 0, 0}));
}

TEST(DateTime, FileTimesAreUtcSince1601) {
  EXPECT_EQ(CivilOfFileTime(0), (CivilTime{1601, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(CivilOfFileTime(kFileTimeUnixEpoch), (CivilTime{1970, 1, 1, 0, 0, 0, 0}));
  const CivilTime t{2024, 3, 31, 1, 30, 15, 250};
  EXPECT_EQ(CivilOfFileTime(FileTimeOfCivil(t)), t);
}

TEST(LocalTime, LocalTimeMinusOffsetIsUtc) {
  const FileTimeUtc instants[] = {FileTimeOfCivil({2024, 1, 15, 12, 0, 0, 0}),
                                  FileTimeOfCivil({2024, 7, 15, 12, 0, 0, 0})};
  for (FileTimeUtc t : instants) {
    const ZonedTime zoned = LocalTimeOf(t);
    EXPECT_EQ(FileTimeOfCivil(zoned.Local) - zoned.GmtOffsetMinutes * 60 * kFileTimeTicksPerSecond, t);
    EXPECT_EQ(GmtOffsetMinutesAtLocal(zoned.Local), zoned.GmtOffsetMinutes);
  }
}

#ifndef _WIN32
// Daylight saving counts only at the instants it applies to.
TEST(LocalTime, OffsetFollowsTheSeasonOfEachDate) {
  const char* old = getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Paris", 1);
  tzset();
  const ZonedTime winter = LocalTimeOf(FileTimeOfCivil({2024, 1, 15, 12, 0, 0, 0}));
  const ZonedTime summer = LocalTimeOf(FileTimeOfCivil({2024, 7, 15, 12, 0, 0, 0}));
  EXPECT_EQ(winter.Local, (CivilTime{2024, 1, 15, 13, 0, 0, 0}));
  EXPECT_EQ(winter.GmtOffsetMinutes, 60);
  EXPECT_EQ(summer.Local, (CivilTime{2024, 7, 15, 14, 0, 0, 0}));
  EXPECT_EQ(summer.GmtOffsetMinutes, 120);
  EXPECT_EQ(GmtOffsetMinutesAtLocal({2024, 12, 1, 8, 0, 0, 0}), 60);
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}
#endif

}  // namespace
}  // namespace kvx
