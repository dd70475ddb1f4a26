// The user's short date and time formats, as the toolkit's locale gives
// them: how the command line reads a date ("2004/07/01" where the separator
// is "/") and a date with a time of day. Texts are CP932.
#pragma once

#include <optional>
#include <string>

#include "platform/Clock.h"

namespace hollowmere {

class IDateFormats {
 public:
  virtual ~IDateFormats() = default;
  // A date in the user's short date format; nothing when it is not one.
  virtual std::optional<TCivilDate> ReadShortDate(const std::string& text) const = 0;
  // A date, optionally followed by blanks and a time of day in the user's
  // short (or long) time format; a date alone means midnight.
  virtual std::optional<TLocalTime> ReadShortDateTime(const std::string& text) const = 0;
};

}  // namespace hollowmere
