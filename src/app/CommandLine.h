// The program's four arguments: which part of the log to fetch (the log
// download dialog's conditions, filled as its controls would be), how many
// messages a page holds for this run, and whether to end once the pages
// are written. Texts are CP932; dates and times are read in the user's
// short formats, counts in decimal only.
//
//   past  N                      the last N minutes (N clamped to 1..5000)
//   term  DATE-DATE              whole days, split at the first "-"
//   start DATE[ TIME]            everything since then (a date alone: midnight)
//   then  PER-PAGE  and  "noview" (end after writing) or anything else
//
// Also the texts a terminal user gets: the usage that "--help" prints, the
// reason a command line was refused and the line a finished run ends with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/LogConditions.h"
#include "platform/DateFormats.h"
#include "platform/Ui.h"

namespace hollowmere {

struct TCommandLine {
  TLogConditions Conditions;
  int32_t MessagesPerPage;
  bool NoView;
};

// What an argument that was refused should have been.
enum class TArgumentForm {
  FourArguments,  // the count of arguments itself
  Kind,           // "past", "term" or "start"
  Minutes,        // a decimal integer
  DateRange,      // two dates joined by "-"
  DateTime,       // a date with an optional time of day
  PerPage,        // a decimal integer
};

struct TCommandLineRefusal {
  std::size_t Argument;  // 1-based; 0 for the count of arguments
  TArgumentForm Expected;
  bool operator==(const TCommandLineRefusal&) const = default;
};

// Exactly one of the two is set.
struct TParsedCommandLine {
  std::optional<TCommandLine> Command;
  std::optional<TCommandLineRefusal> Refusal;
};

// Refused: not four arguments, an unknown kind (case counts), a condition or
// page count that does not read. `now` fills the conditions' start values,
// as the dialog's creation does.
TParsedCommandLine ParseCommandLine(const std::vector<std::string>& args, const TLocalTime& now,
                                    const IDateFormats& formats);

// True for the one argument that asks for the usage: "--help" or "-h".
bool AsksForHelp(const std::vector<std::string>& args);

// How the user's locale writes the dates and times the command line reads,
// with examples made from today; CP932.
struct TDateForms {
  std::string LocaleName;  // e.g. "ja_JP"
  std::string Date;        // the pattern, e.g. "yyyy/MM/dd"
  std::string Time;        // e.g. "H:mm"
  std::string Yesterday;   // dates and a time of day in those patterns
  std::string Today;
  std::string Afternoon;   // 14:00
};

// The usage, lines ended by "\n" (CP932, like the forms it quotes).
std::string CommandLineUsage(const TDateForms& forms);
// One line saying which argument was refused and what it should have been.
std::string RefusalText(const std::vector<std::string>& args, const TCommandLineRefusal& refusal,
                        const TDateForms& forms);
// "N messages on P pages, first page: URL" for a run that wrote them.
std::string PagesWrittenText(std::size_t messages, int32_t perPage, const std::string& firstPage);

}  // namespace hollowmere

namespace hollowmere {

// How a run of the command line ended.
enum class TCommandLineResult {
  PagesWritten,
  FetchFailed,
  LogNotShown,    // fetched, but refused as a log or failed while writing pages
  BadParameters,  // "パラメータが不正です"
};

// A run's end with what a terminal is told of it.
struct TCommandLineRun {
  TCommandLineResult Result;
  std::optional<TCommandLineRefusal> Refusal;  // with BadParameters
  bool NoView = false;
  std::size_t Messages = 0;                    // on the pages written
  int32_t MessagesPerPage = 0;                 // as given for this run
  std::string FirstPage;                       // the address the view was sent to
};

// The exit status a batch run ends with: 0, 1 (fetch failed, log not
// shown) or 2 (bad command line).
int ExitStatus(TCommandLineResult result);

// The status `body` returns; an error escaping it is shown in `boxes` and
// gives 1, so no error ends the program unreported.
int StatusReportingErrors(IMessageBoxes& boxes, const std::function<int()>& body);

}  // namespace hollowmere
