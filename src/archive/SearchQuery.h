// The search box's language. Words are separated by blanks (ideographic
// ones too); every word must occur, "a phrase" in double quotes occurs as
// written, -word must not occur, and ghost:NAME, channel:NAME (a name with
// blanks in double quotes), since:DATE and until:DATE narrow the messages.
// Dates are YYYY/MM/DD, YYYY-MM-DD or the user's short date format; until
// takes the whole day. Any text parses to a query or raises
// ESearchQueryError with a message for the user: nothing typed here ever
// reaches a database as anything but a value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateFormats.h"
#include "text/Error.h"

namespace hollowmere {

// what() is English for the command line (UTF-8, the query's own words
// quoted); the window words the problem from Kind, Key and Value.
class ESearchQueryError : public Error {
 public:
  enum class TKind { Other, NeedsValue, NotInLogs, NotADate, BadPeriod };
  explicit ESearchQueryError(const std::string& message, TKind kind = TKind::Other, std::string key = {},
                             std::string value = {})
      : Error(message), kind_(kind), key_(std::move(key)), value_(std::move(value)) {}
  TKind Kind() const { return kind_; }
  const std::string& Key() const { return key_; }      // "ghost", "since", ...
  const std::string& Value() const { return value_; }  // UTF-8, as typed

 private:
  TKind kind_;
  std::string key_;
  std::string value_;
};

struct TArchiveFilter {
  std::optional<std::string> Ghost;    // CP932, exact
  std::optional<std::string> Channel;  // CP932, exact
  std::optional<int64_t> Since;        // wall seconds, inclusive
  std::optional<int64_t> Until;        // wall seconds, exclusive
  bool Empty() const { return !Ghost && !Channel && !Since && !Until; }
};

struct TSearchQuery {
  std::vector<std::string> Include;  // folded, non-empty
  std::vector<std::string> Exclude;  // folded, non-empty
  TArchiveFilter Filter;
};

// `formats` reads the user's short date format; null accepts only the two
// numeric forms.
TSearchQuery ParseSearchQuery(std::string_view utf8, const IDateFormats* formats = nullptr);

// A date as since:/until: read it: the start of that day in wall seconds
// (for until, the start of the next day).
std::optional<int64_t> ReadQueryDate(const std::string& text, bool endOfDay,
                                     const IDateFormats* formats);

// True when the folded text holds every included term and no excluded one.
bool MatchesTerms(const TSearchQuery& query, std::string_view folded);

}  // namespace hollowmere
