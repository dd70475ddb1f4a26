// The log download conditions: start values, the change rules, and the
// request URL of each mode, with a fixed clock.
#include "net/LogConditions.h"

#include <gtest/gtest.h>

#include <functional>

namespace hollowmere {
namespace {

const TLocalTime kNow{{2004, 7, 15}, {12, 30, 45}};
const std::string kAddress = "http://voyla.test";

TEST(LogConditionsTest, OpensInThePeriodModeWithOneHourAndTodayEverywhere) {
  const TLogConditions c(kNow);
  EXPECT_EQ(c.Mode(), TLogMode::Period);
  EXPECT_EQ(c.Count(), 1);
  EXPECT_EQ(c.UnitIndex(), kUnitHours);
  EXPECT_EQ(c.LowerDate(), kNow.Date);
  EXPECT_EQ(c.UpperDate(), kNow.Date);
  EXPECT_EQ(c.SinceDate(), kNow.Date);
  EXPECT_EQ(c.SinceTime(), kNow.Time);
  EXPECT_EQ(c.RequestUrl(kAddress, kNow), kAddress + "/fetchlog.cgi?recent=60");
}

TEST(LogConditionsTest, EachModeMakesItsUrl) {
  struct Case {
    const char* name;
    std::function<void(TLogConditions&)> edit;
    TLocalTime now;
    std::string query;
  };
  const std::vector<Case> cases = {
      {"3 hours", [](auto& c) { c.SetCount(3); }, kNow, "recent=180"},
      {"2 days", [](auto& c) { c.SetCount(2); c.SetUnitIndex(kUnitDays); }, kNow, "recent=2880"},
      {"5000 minutes", [](auto& c) { c.SetUnitIndex(kUnitMinutes); c.SetCount(5000); }, kNow, "recent=5000"},
      {"5000 days", [](auto& c) { c.SetUnitIndex(kUnitDays); c.SetCount(5000); }, kNow, "recent=7200000"},
      {"count clamped below", [](auto& c) { c.SetUnitIndex(kUnitMinutes); c.SetCount(0); }, kNow, "recent=1"},
      {"count clamped above", [](auto& c) { c.SetUnitIndex(kUnitMinutes); c.SetCount(9000); }, kNow, "recent=5000"},
      {"unknown unit ignored", [](auto& c) { c.SetUnitIndex(kUnitMinutes); c.SetUnitIndex(3); }, kNow, "recent=1"},
      {"range in July, no leading zeros",
       [](auto& c) { c.SetLowerDate({2004, 7, 1}); c.SetUpperDate({2004, 7, 15}); }, kNow,
       "year_lo=2004&month_lo=7&day_lo=1&year_hi=2004&month_hi=7&day_hi=15"},
      {"range of one day sends it twice", [](auto& c) { c.SetLowerDate({2004, 12, 31}); c.SetUpperDate({2004, 12, 31}); },
       kNow, "year_lo=2004&month_lo=12&day_lo=31&year_hi=2004&month_hi=12&day_hi=31"},
      {"range backwards is sent as picked", [](auto& c) { c.SetLowerDate({2005, 1, 2}); c.SetUpperDate({2004, 3, 4}); },
       kNow, "year_lo=2005&month_lo=1&day_lo=2&year_hi=2004&month_hi=3&day_hi=4"},
      {"since 90 min 30 s ago", [](auto& c) { c.SetSinceDate({2004, 7, 15}); c.SetSinceTime({11, 0, 15}); },
       kNow, "recent=90"},
      {"since 2 d 3 h 5 min ago", [](auto& c) { c.SetSinceDate({2004, 7, 13}); c.SetSinceTime({9, 25, 45}); },
       kNow, "recent=3065"},
      {"since across a month and a leap day", [](auto& c) { c.SetSinceDate({2004, 2, 28}); c.SetSinceTime({0, 0, 0}); },
       {{2004, 3, 1}, {0, 1, 59}}, "recent=2881"},
      {"since 59 s ago", [](auto& c) { c.SetSinceDate({2004, 7, 15}); c.SetSinceTime({12, 29, 46}); }, kNow, "recent=0"},
      {"since a future moment", [](auto& c) { c.SetSinceDate({2004, 7, 16}); c.SetSinceTime({0, 0, 0}); }, kNow, "recent=0"},
  };
  for (const Case& k : cases) {
    TLogConditions c(kNow);
    k.edit(c);
    EXPECT_EQ(c.RequestUrl(kAddress, k.now), kAddress + "/fetchlog.cgi?" + k.query) << k.name;
  }
}

TEST(LogConditionsTest, EditingAControlSelectsItsModeAndTheRadioButtonsDecide) {
  TLogConditions c(kNow);
  c.SetLowerDate({2004, 7, 1});
  EXPECT_EQ(c.Mode(), TLogMode::Range);
  c.SetSinceTime({1, 2, 3});
  EXPECT_EQ(c.Mode(), TLogMode::Since);
  c.SetUnitIndex(kUnitDays);
  EXPECT_EQ(c.Mode(), TLogMode::Period);
  c.SetUpperDate({2004, 7, 2});
  EXPECT_EQ(c.Mode(), TLogMode::Range);
  c.SetSinceDate({2004, 7, 14});
  EXPECT_EQ(c.Mode(), TLogMode::Since);
  c.SetCount(4);
  EXPECT_EQ(c.Mode(), TLogMode::Period);
  // A radio button chosen by hand keeps every value of the other modes.
  c.SelectMode(TLogMode::Range);
  EXPECT_EQ(c.RequestUrl(kAddress, kNow),
            kAddress + "/fetchlog.cgi?year_lo=2004&month_lo=7&day_lo=1&year_hi=2004&month_hi=7&day_hi=2");
  c.SelectMode(TLogMode::Since);
  EXPECT_EQ(c.RequestUrl(kAddress, kNow), kAddress + "/fetchlog.cgi?recent=2128");  // 1 d 11 h 28 min 42 s
  c.SelectMode(TLogMode::Period);
  EXPECT_EQ(c.RequestUrl(kAddress, kNow), kAddress + "/fetchlog.cgi?recent=5760");
}

TEST(LogConditionsTest, WallClockArithmeticRoundTrips) {
  for (const TLocalTime t : {TLocalTime{{1970, 1, 1}, {0, 0, 0}}, TLocalTime{{2000, 2, 29}, {23, 59, 59}},
                             TLocalTime{{1969, 12, 31}, {12, 0, 1}}, TLocalTime{{9999, 12, 31}, {1, 2, 3}},
                             TLocalTime{{1, 1, 1}, {0, 0, 0}}}) {
    EXPECT_EQ(FromWallSeconds(WallSeconds(t)), t);
  }
  EXPECT_EQ(DaysFromCivil({2004, 3, 1}) - DaysFromCivil({2004, 2, 28}), 2);
  EXPECT_EQ(DaysFromCivil({1900, 3, 1}) - DaysFromCivil({1900, 2, 28}), 1);
  EXPECT_TRUE(IsValidDate({2000, 2, 29}));
  EXPECT_FALSE(IsValidDate({1900, 2, 29}));
  EXPECT_FALSE(IsValidDate({2004, 13, 1}));
  EXPECT_FALSE(IsValidDate({2004, 4, 31}));
  EXPECT_FALSE(IsValidTime({24, 0, 0}));
  EXPECT_FALSE(IsValidTime({0, 60, 0}));
}

}  // namespace
}  // namespace hollowmere
