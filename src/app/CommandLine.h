// The program's four arguments: which part of the log to fetch (the log
// download dialog's conditions, filled as its controls would be), how many
// messages a page holds for this run, and whether to end once the pages
// are written. Texts are CP932; dates and times are read in the user's
// short formats.
//
//   past  N                      the last N minutes (N clamped to 1..5000)
//   term  DATE-DATE              whole days, split at the first "-"
//   start DATE[ TIME]            everything since then (a date alone: midnight)
//   then  PER-PAGE  and  "noview" (end after writing) or anything else
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/LogConditions.h"
#include "platform/DateFormats.h"

namespace hollowmere {

struct TCommandLine {
  TLogConditions Conditions;
  int32_t MessagesPerPage;
  bool NoView;
};

// Nothing for every command line that cannot be run: not four arguments, an
// unknown kind (case counts), a condition or page count that does not read.
// `now` fills the conditions' start values, as the dialog's creation does.
std::optional<TCommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                             const TLocalTime& now, const IDateFormats& formats);

}  // namespace hollowmere

namespace hollowmere {

// How a run of the command line ended.
enum class TCommandLineResult {
  PagesWritten,
  FetchFailed,
  LogNotShown,    // fetched, but refused as a log or failed while writing pages
  BadParameters,  // "パラメータが不正です"
};

// The exit status a batch run ends with: 0, 1 (fetch failed, log not
// shown) or 2 (bad command line).
int ExitStatus(TCommandLineResult result);

}  // namespace hollowmere
