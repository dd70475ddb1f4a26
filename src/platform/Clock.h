// The machine's local wall clock, as the date and time pickers and the
// "since" condition of a log request read it. Local civil time, to the
// second, no time zone attached: differences are taken between wall-clock
// readings, as the user reads them.
#pragma once

#include <cstdint>

namespace hollowmere {

struct TCivilDate {
  int Year = 1970;
  int Month = 1;
  int Day = 1;
  bool operator==(const TCivilDate&) const = default;
};

struct TTimeOfDay {
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool operator==(const TTimeOfDay&) const = default;
};

struct TLocalTime {
  TCivilDate Date;
  TTimeOfDay Time;
  bool operator==(const TLocalTime&) const = default;
};

// True for a real calendar day (leap years included) and a time of day
// from 00:00:00 to 23:59:59.
bool IsValidDate(const TCivilDate& date);
bool IsValidTime(const TTimeOfDay& time);

// Days since 1970-01-01 of a valid date (negative before it).
int64_t DaysFromCivil(const TCivilDate& date);
// Seconds since 1970-01-01 00:00:00 of a wall-clock reading.
int64_t WallSeconds(const TLocalTime& when);
// The wall-clock reading `seconds` after 1970-01-01 00:00:00.
TLocalTime FromWallSeconds(int64_t seconds);

class IClock {
 public:
  virtual ~IClock() = default;
  virtual TLocalTime Now() const = 0;
};

// The system's clock in the local time zone.
class TSystemClock : public IClock {
 public:
  TLocalTime Now() const override;
};

}  // namespace hollowmere
