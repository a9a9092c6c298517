#include "base/date_time.h"

#include <cmath>

namespace kvx {
namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 1 January 1970 back to day 0 of TDateTime (30 December 1899).
constexpr int64_t kDay0FromUnix = -25569;
// Days from 1 January 1601 to 1 January 1970.
constexpr int64_t kUnixFrom1601 = 134774;

// Days since 1 January 1970 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, CivilTime& out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  out.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.Year = static_cast<int>(yoe + era * 400 + (out.Month <= 2));
}

int64_t MsOfDay(const CivilTime& t) {
  return ((t.Hour * 60LL + t.Minute) * 60 + t.Second) * 1000 + t.Millisecond;
}

void SetTimeOfDay(int64_t ms, CivilTime& out) {
  out.Millisecond = static_cast<int>(ms % 1000);
  out.Second = static_cast<int>(ms / 1000 % 60);
  out.Minute = static_cast<int>(ms / 60000 % 60);
  out.Hour = static_cast<int>(ms / 3600000);
}

}  // namespace

bool operator==(const CivilTime& a, const CivilTime& b) {
  return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && MsOfDay(a) == MsOfDay(b);
}

TDateTime EncodeDateTime(const CivilTime& time) {
  const double days = static_cast<double>(DaysFromCivil(time.Year, time.Month, time.Day) - kDay0FromUnix);
  const double fraction = static_cast<double>(MsOfDay(time)) / kMsPerDay;
  return days >= 0 ? days + fraction : days - fraction;
}

CivilTime DecodeDateTime(TDateTime value) {
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {  // rounding reached the next midnight
    ms -= kMsPerDay;
    whole += value >= 0 ? 1 : -1;
  }
  CivilTime out;
  CivilFromDays(static_cast<int64_t>(whole) + kDay0FromUnix, out);
  SetTimeOfDay(ms, out);
  return out;
}

CivilTime CivilOfFileTime(FileTimeUtc time) {
  const int64_t ms = time / 10000;
  int64_t days = ms / kMsPerDay;
  int64_t rest = ms % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  CivilTime out;
  CivilFromDays(days - kUnixFrom1601, out);
  SetTimeOfDay(rest, out);
  return out;
}

FileTimeUtc FileTimeOfCivil(const CivilTime& time) {
  const int64_t days = DaysFromCivil(time.Year, time.Month, time.Day) + kUnixFrom1601;
  return (days * kMsPerDay + MsOfDay(time)) * 10000;
}

}  // namespace kvx
