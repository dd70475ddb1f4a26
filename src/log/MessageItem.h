// The message record and the log text format of the Voyla service.
// A log is "Result: OK", two lines never read, then one message per line of
// eight TAB-separated fields. Parsing is all or nothing: a malformed line
// stops the parse and no message of the text is returned.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/Error.h"

namespace hollowmere {

// Local time as the service wrote it, to the second; no time zone.
struct TDateTime {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  bool operator==(const TDateTime&) const = default;
};

class TMessageItem {
 public:
  std::string GhostName;
  // "Key:value" lines; ParseLog writes MID, Channel, Connection, Vote, Agree.
  std::vector<std::string> Headers;
  std::string Script;
  TDateTime PostedAt;

  // Value of the first header whose key (text before the first colon) equals
  // `key` byte for byte; empty when there is none.
  std::string HeaderValue(std::string_view key) const;
};

// A text that claims to be a log but cannot be read as one. The message names
// the 1-based line number of the offending line.
class ELogFormatError : public Error {
 public:
  using Error::Error;
};

// The messages of a log text, in order; nullopt when the first line is not
// exactly "Result: OK" (the caller then does nothing at all). Throws
// ELogFormatError for an empty text or a malformed message line.
std::optional<std::vector<TMessageItem>> ParseLog(std::string_view text);

}  // namespace hollowmere
