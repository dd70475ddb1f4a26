// Reading the four arguments into log conditions.
#include "app/CommandLine.h"

#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {

std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                             const TLocalTime& now, const IDateFormats& formats) {
  if (args.size() != 4) return std::nullopt;
  TLogConditions conditions(now);
  const std::string& kind = args[0];
  const std::string& value = args[1];
  if (kind == "past") {
    const std::optional<int32_t> minutes = text::TryStrToInt(value);
    if (!minutes) return std::nullopt;
    conditions.SetCount(*minutes);
    conditions.SetUnitIndex(kUnitMinutes);
  } else if (kind == "term") {
    const std::size_t dash = text::Find(value, "-");
    if (dash == std::string::npos) return std::nullopt;
    const std::optional<TCivilDate> lower = formats.ReadShortDate(value.substr(0, dash));
    const std::optional<TCivilDate> upper = formats.ReadShortDate(value.substr(dash + 1));
    if (!lower || !upper) return std::nullopt;
    conditions.SetLowerDate(*lower);
    conditions.SetUpperDate(*upper);
  } else if (kind == "start") {
    const std::optional<TLocalTime> since = formats.ReadShortDateTime(value);
    if (!since) return std::nullopt;
    conditions.SetSinceDate(since->Date);
    conditions.SetSinceTime(since->Time);
  } else {
    return std::nullopt;
  }
  const std::optional<int32_t> perPage = text::TryStrToInt(args[2]);
  if (!perPage) return std::nullopt;
  return TCommandLine{conditions, *perPage, args[3] == "noview"};
}

}  // namespace hollowmere

namespace hollowmere {

int ExitStatus(TCommandLineResult result) {
  switch (result) {
    case TCommandLineResult::PagesWritten:
      return 0;
    case TCommandLineResult::FetchFailed:
    case TCommandLineResult::LogNotShown:
      return 1;
    case TCommandLineResult::BadParameters:
      break;
  }
  return 2;
}

}  // namespace hollowmere
