#include <cstdio>
#include <ctime>

#include "base/local_time.h"

namespace kvx {

ZonedTime LocalTimeOf(FileTimeUtc time) {
  const int64_t ticks = time - kFileTimeUnixEpoch;
  int64_t seconds = ticks / kFileTimeTicksPerSecond;
  int64_t rest = ticks % kFileTimeTicksPerSecond;
  if (rest < 0) {
    rest += kFileTimeTicksPerSecond;
    --seconds;
  }
  const time_t t = static_cast<time_t>(seconds);
  tm fields{};
  ZonedTime out;
  if (!localtime_r(&t, &fields)) {
    out.Local = CivilOfFileTime(time);
    return out;
  }
  out.Local = {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,      fields.tm_hour,
               fields.tm_min,         fields.tm_sec,     static_cast<int>(rest / 10000)};
  out.GmtOffsetMinutes = static_cast<int>(fields.tm_gmtoff / 60);
  return out;
}

ZonedTime LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return LocalTimeOf(kFileTimeUnixEpoch + now.tv_sec * kFileTimeTicksPerSecond + now.tv_nsec / 100);
}

std::string CurrentTimeText() {
  const CivilTime now = LocalNow().Local;
  char text[16];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d", now.Hour % 100, now.Minute % 100, now.Second % 100);
  return text;
}

int GmtOffsetMinutesAtLocal(const CivilTime& local) {
  tm fields{};
  fields.tm_year = local.Year - 1900;
  fields.tm_mon = local.Month - 1;
  fields.tm_mday = local.Day;
  fields.tm_hour = local.Hour;
  fields.tm_min = local.Minute;
  fields.tm_sec = local.Second;
  fields.tm_isdst = -1;
  fields.tm_wday = -1;  // stays -1 only when mktime fails (−1 is also a valid time)
  mktime(&fields);
  if (fields.tm_wday < 0) return 0;
  return static_cast<int>(fields.tm_gmtoff / 60);
}

}  // namespace kvx
