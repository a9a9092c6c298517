#include <windows.h>

#include "base/local_time.h"

namespace kvx {
namespace {

CivilTime CivilOfSystemTime(const SYSTEMTIME& st) {
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

SYSTEMTIME SystemTimeOfCivil(const CivilTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.Year);
  st.wMonth = static_cast<WORD>(t.Month);
  st.wDay = static_cast<WORD>(t.Day);
  st.wHour = static_cast<WORD>(t.Hour);
  st.wMinute = static_cast<WORD>(t.Minute);
  st.wSecond = static_cast<WORD>(t.Second);
  st.wMilliseconds = static_cast<WORD>(t.Millisecond);
  return st;
}

int MinutesBetween(const CivilTime& local, const CivilTime& utc) {
  return static_cast<int>((FileTimeOfCivil(local) - FileTimeOfCivil(utc)) / (60 * kFileTimeTicksPerSecond));
}

}  // namespace

// SystemTimeToTzSpecificLocalTime applies the rule in effect at the given instant,
// unlike FileTimeToLocalFileTime, which applies today's daylight bias to every date.
ZonedTime LocalTimeOf(FileTimeUtc time) {
  ZonedTime out;
  const CivilTime utc = CivilOfFileTime(time);
  const SYSTEMTIME utcSt = SystemTimeOfCivil(utc);
  SYSTEMTIME localSt{};
  if (utc.Year < 1601 || utc.Year > 30827 || !SystemTimeToTzSpecificLocalTime(nullptr, &utcSt, &localSt)) {
    out.Local = utc;
    return out;
  }
  out.Local = CivilOfSystemTime(localSt);
  out.GmtOffsetMinutes = MinutesBetween(out.Local, utc);
  return out;
}

ZonedTime LocalNow() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return LocalTimeOf(static_cast<FileTimeUtc>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime));
}

std::string CurrentTimeText() {
  char text[128];
  const int length = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof(text));
  return length > 0 ? std::string(text, static_cast<size_t>(length - 1)) : std::string();
}

int GmtOffsetMinutesAtLocal(const CivilTime& local) {
  const SYSTEMTIME localSt = SystemTimeOfCivil(local);
  SYSTEMTIME utcSt{};
  if (local.Year < 1601 || local.Year > 30827 || !TzSpecificLocalTimeToSystemTime(nullptr, &localSt, &utcSt))
    return 0;
  return MinutesBetween(local, CivilOfSystemTime(utcSt));
}

}  // namespace kvx
