// Posting times as the user reads them: the locale's short date, a blank and
// its medium time (hours, minutes, seconds), or the date alone for a time of
// exactly 00:00:00. Output is CP932. The ICU formatters are made once per
// instance, and the last date text is reused, since a page run formats one
// time per message and neighbouring messages share their day.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/MessageItem.h"

namespace hollowmere {

// The ICU locale name to use: `configured` when not empty, else the first set
// one of LC_ALL, LC_TIME, LANG with its encoding and modifier dropped
// ("ja_JP.UTF-8" -> "ja_JP"); "C", "POSIX" and nothing at all give "en_US_POSIX".
std::string ResolveLocaleName(std::string_view configured);

// Whether ICU has data for the language of a locale name (as resolved by
// ResolveLocaleName): "ja_JP", "de", "C" do; "xx_YY" and "nonsense" do not,
// and would silently get ICU's root formats.
bool IsKnownLocale(std::string_view name);

class TDateText {
 public:
  // `locale` as for ResolveLocaleName. Throws hollowmere::Error when ICU has
  // no formatter for it.
  explicit TDateText(std::string_view locale);
  ~TDateText();
  TDateText(const TDateText&) = delete;
  TDateText& operator=(const TDateText&) = delete;

  const std::string& Format(const TDateTime& when);

 private:
  struct Formatters;
  double Instant(const TDateTime& when);

  std::unique_ptr<Formatters> icu_;
  bool haveDate_ = false;
  TDateTime lastDay_;
  std::string dateText_;
  TDateTime lastStamp_;
  bool haveStamp_ = false;
  std::string stampText_;
  // The time pattern as literal pieces (field '\0') and fields ('h' = hour
  // without a leading zero, 'H', 'm', 's' = two digits) when it is that
  // simple and ICU writes the same; empty to let ICU format every time.
  std::vector<std::pair<char, std::string>> timePieces_;
};

}  // namespace hollowmere
