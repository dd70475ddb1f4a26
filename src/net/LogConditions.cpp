// Change rules and request URLs of the log download conditions.
#include "net/LogConditions.h"

#include <algorithm>

namespace hollowmere {

TLogConditions::TLogConditions(const TLocalTime& now)
    : lower_(now.Date), upper_(now.Date), sinceDate_(now.Date), sinceTime_(now.Time) {}

void TLogConditions::SetCount(int64_t count) {
  count_ = static_cast<int>(std::clamp<int64_t>(count, kMinCount, kMaxCount));
  mode_ = TLogMode::Period;
}

void TLogConditions::SetUnitIndex(int index) {
  if (index >= kUnitHours && index <= kUnitMinutes) unit_ = index;
  mode_ = TLogMode::Period;
}

void TLogConditions::SetLowerDate(const TCivilDate& date) {
  lower_ = date;
  mode_ = TLogMode::Range;
}

void TLogConditions::SetUpperDate(const TCivilDate& date) {
  upper_ = date;
  mode_ = TLogMode::Range;
}

void TLogConditions::SetSinceDate(const TCivilDate& date) {
  sinceDate_ = date;
  mode_ = TLogMode::Since;
}

void TLogConditions::SetSinceTime(const TTimeOfDay& time) {
  sinceTime_ = time;
  mode_ = TLogMode::Since;
}

int64_t TLogConditions::PeriodMinutes() const {
  switch (unit_) {
    case kUnitHours:
      return int64_t{count_} * 60;
    case kUnitDays:
      return int64_t{count_} * 1440;
    default:
      return count_;
  }
}

int64_t TLogConditions::SinceMinutes(const TLocalTime& now) const {
  // Whole days, then the hours and minutes of the rest, is whole minutes.
  const int64_t elapsed = WallSeconds(now) - WallSeconds({sinceDate_, sinceTime_});
  return elapsed <= 0 ? 0 : elapsed / 60;
}

std::string TLogConditions::RequestUrl(const std::string& address, const TLocalTime& now) const {
  switch (mode_) {
    case TLogMode::Period:
      return address + "/fetchlog.cgi?recent=" + std::to_string(PeriodMinutes());
    case TLogMode::Since:
      return address + "/fetchlog.cgi?recent=" + std::to_string(SinceMinutes(now));
    case TLogMode::Range:
      break;
  }
  return address + "/fetchlog.cgi?year_lo=" + std::to_string(lower_.Year) +
         "&month_lo=" + std::to_string(lower_.Month) + "&day_lo=" + std::to_string(lower_.Day) +
         "&year_hi=" + std::to_string(upper_.Year) + "&month_hi=" + std::to_string(upper_.Month) +
         "&day_hi=" + std::to_string(upper_.Day);
}

}  // namespace hollowmere
