// What the log download dialog ("条件指定") holds and does, without the
// window: the three ways of naming a part of the log, the rules by which
// editing a control selects its way, and the request URL each way makes.
// The window's dialog and the command line both fill one of these.
//
// Invariants: exactly one mode is selected; the count stays in 1..5000 and
// the unit index in 0..2, as the spin field and the drop-down keep them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace hollowmere {

enum class TLogMode {
  Period,  // the last N hours, days or minutes ("過去")
  Range,   // whole days from a lower to an upper date
  Since,   // everything since a date and time of day
};

// Index of the drop-down's items.
enum TLogUnit : int { kUnitHours = 0, kUnitDays = 1, kUnitMinutes = 2 };

class TLogConditions {
 public:
  static constexpr int kMinCount = 1;
  static constexpr int kMaxCount = 5000;

  // The dialog as it opens: the period mode with 1 and "時間"; every date
  // today and the time of day now.
  explicit TLogConditions(const TLocalTime& now);

  TLogMode Mode() const { return mode_; }
  int Count() const { return count_; }
  int UnitIndex() const { return unit_; }
  const TCivilDate& LowerDate() const { return lower_; }
  const TCivilDate& UpperDate() const { return upper_; }
  const TCivilDate& SinceDate() const { return sinceDate_; }
  const TTimeOfDay& SinceTime() const { return sinceTime_; }

  // A radio button clicked.
  void SelectMode(TLogMode mode) { mode_ = mode; }
  // Editing a control selects the mode it belongs to. The count is clamped
  // to 1..5000 and an index outside the list is ignored, as the controls do.
  void SetCount(int64_t count);
  void SetUnitIndex(int index);
  void SetLowerDate(const TCivilDate& date);
  void SetUpperDate(const TCivilDate& date);
  void SetSinceDate(const TCivilDate& date);
  void SetSinceTime(const TTimeOfDay& time);

  // Minutes asked for in the period mode.
  int64_t PeriodMinutes() const;
  // Minutes from the starting moment to `now`, seconds dropped; 0 for a
  // moment in the future.
  int64_t SinceMinutes(const TLocalTime& now) const;
  // The GET URL: `address` ("http://" + host) followed by the log script's
  // path and the query of the selected mode.
  std::string RequestUrl(const std::string& address, const TLocalTime& now) const;

 private:
  TLogMode mode_ = TLogMode::Period;
  int count_ = 1;
  int unit_ = kUnitHours;
  TCivilDate lower_;
  TCivilDate upper_;
  TCivilDate sinceDate_;
  TTimeOfDay sinceTime_;
};

}  // namespace hollowmere
