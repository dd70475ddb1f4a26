// Civil-date arithmetic on the proleptic Gregorian calendar (days counted
// from 1970-01-01) and the system clock through localtime_r.
#include "platform/Clock.h"

#include <time.h>

namespace hollowmere {
namespace {

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

bool IsValidDate(const TCivilDate& d) {
  return d.Year >= 1 && d.Year <= 9999 && d.Month >= 1 && d.Month <= 12 && d.Day >= 1 &&
         d.Day <= DaysInMonth(d.Year, d.Month);
}

bool IsValidTime(const TTimeOfDay& t) {
  return t.Hour >= 0 && t.Hour <= 23 && t.Minute >= 0 && t.Minute <= 59 && t.Second >= 0 &&
         t.Second <= 59;
}

// Counting years from March puts the leap day last, so every era of 400
// years has the same shape.
int64_t DaysFromCivil(const TCivilDate& date) {
  const int64_t y = date.Year - (date.Month <= 2 ? 1 : 0);
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (date.Month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + date.Day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t WallSeconds(const TLocalTime& when) {
  return DaysFromCivil(when.Date) * 86400 + when.Time.Hour * 3600 + when.Time.Minute * 60 +
         when.Time.Second;
}

TLocalTime FromWallSeconds(int64_t seconds) {
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t rest = seconds - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  TLocalTime out;
  out.Date.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.Date.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.Date.Year = static_cast<int>(yoe + era * 400 + (out.Date.Month <= 2 ? 1 : 0));
  out.Time.Hour = static_cast<int>(rest / 3600);
  out.Time.Minute = static_cast<int>(rest / 60 % 60);
  out.Time.Second = static_cast<int>(rest % 60);
  return out;
}

TLocalTime TSystemClock::Now() const {
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  TLocalTime out;
  out.Date = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  // A leap second reads as the second before it.
  out.Time = {local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec};
  return out;
}

}  // namespace hollowmere
