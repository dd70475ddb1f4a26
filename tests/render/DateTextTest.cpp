// Posting times in the user's locale.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>
#include <optional>

#include "render/DateText.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

TEST(DateText, JapaneseShortDateAndTime) {
  TDateText dates("ja_JP");
  EXPECT_EQ(dates.Format({2004, 5, 6, 7, 8, 9}), "2004/05/06 7:08:09");
  EXPECT_EQ(dates.Format({2004, 5, 6, 0, 0, 0}), "2004/05/06");
  EXPECT_EQ(dates.Format({2004, 5, 6, 0, 0, 1}), "2004/05/06 0:00:01");
  EXPECT_EQ(dates.Format({2004, 12, 31, 23, 59, 59}), "2004/12/31 23:59:59");
  // Asked again after another date, the first answer is unchanged.
  EXPECT_EQ(dates.Format({2004, 5, 6, 7, 8, 9}), "2004/05/06 7:08:09");
}

TEST(DateText, OtherLocalesGiveCp932WithPlainBlanks) {
  TDateText dates("en_US");
  const std::string text = dates.Format({2004, 5, 6, 7, 8, 9});
  // ICU writes a narrow no-break space before "AM"; CP932 has none.
  EXPECT_EQ(text, "5/6/04 7:08:09 AM");
}

TEST(DateText, EveryTimeOfDayMatchesIcuInSeveralLocales) {
  // The time is written by hand for plain digit patterns; it must agree with
  // ICU's own text for every second of the day.
  for (const char* name : {"ja_JP", "de_DE", "es_ES", "en_GB", "en_US", "zh_CN"}) {
    TDateText dates(name);
    std::unique_ptr<icu::DateFormat> icuTime(
        icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, icu::Locale(name)));
    std::unique_ptr<icu::DateFormat> icuDate(
        icu::DateFormat::createDateInstance(icu::DateFormat::kShort, icu::Locale(name)));
    icuTime->setTimeZone(*icu::TimeZone::getGMT());
    icuDate->setTimeZone(*icu::TimeZone::getGMT());
    const auto cp932 = [](const icu::UnicodeString& u) {
      std::string utf8;
      u.toUTF8String(utf8);
      for (const std::string nbsp : {"\u202F", "\u00A0"}) {
        for (std::size_t at; (at = utf8.find(nbsp)) != std::string::npos;) utf8.replace(at, nbsp.size(), " ");
      }
      return text::Utf8ToCp932(utf8);
    };
    const double day = 1083801600000.0;  // 2004-05-06 00:00:00 GMT
    icu::UnicodeString d;
    icuDate->format(day, d);
    const std::string dateText = cp932(d);
    EXPECT_EQ(dates.Format({2004, 5, 6, 0, 0, 0}), dateText) << name;
    for (int second = 1; second < 86400; second += 7) {
      icu::UnicodeString t;
      icuTime->format(day + second * 1000.0, t);
      ASSERT_EQ(dates.Format({2004, 5, 6, second / 3600, second / 60 % 60, second % 60}),
                dateText + " " + cp932(t))
          << name << " at second " << second;
    }
  }
}

TEST(ResolveLocaleName, PrefersTheSettingThenTheEnvironment) {
  EXPECT_EQ(ResolveLocaleName("de_DE"), "de_DE");
  EXPECT_EQ(ResolveLocaleName("ja_JP.UTF-8"), "ja_JP");
  EXPECT_EQ(ResolveLocaleName("C"), "en_US_POSIX");

  const auto save = [](const char* name) {
    const char* v = getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  const auto restore = [](const char* name, const std::optional<std::string>& v) {
    if (v) {
      setenv(name, v->c_str(), 1);
    } else {
      unsetenv(name);
    }
  };
  const auto all = save("LC_ALL"), time = save("LC_TIME"), lang = save("LANG");
  unsetenv("LC_ALL");
  setenv("LC_TIME", "ja_JP.UTF-8@x", 1);
  setenv("LANG", "fr_FR.UTF-8", 1);
  EXPECT_EQ(ResolveLocaleName(""), "ja_JP");
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(ResolveLocaleName(""), "de_DE");
  unsetenv("LC_ALL");
  unsetenv("LC_TIME");
  EXPECT_EQ(ResolveLocaleName(""), "fr_FR");
  unsetenv("LANG");
  EXPECT_EQ(ResolveLocaleName(""), "en_US_POSIX");
  restore("LC_ALL", all);
  restore("LC_TIME", time);
  restore("LANG", lang);
}

}  // namespace
}  // namespace hollowmere
