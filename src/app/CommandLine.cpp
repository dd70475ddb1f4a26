// Reading the four arguments into log conditions, and the texts that
// explain them.
#include "app/CommandLine.h"

#include "render/Pages.h"
#include "text/Numbers.h"
#include "text/Sjis.h"

namespace hollowmere {

TParsedCommandLine ParseCommandLine(const std::vector<std::string>& args, const TLocalTime& now,
                                    const IDateFormats& formats) {
  const auto refuse = [](std::size_t argument, TArgumentForm expected) {
    return TParsedCommandLine{std::nullopt, TCommandLineRefusal{argument, expected}};
  };
  if (args.size() != 4) return refuse(0, TArgumentForm::FourArguments);
  TLogConditions conditions(now);
  const std::string& kind = args[0];
  const std::string& value = args[1];
  if (kind == "past") {
    const std::optional<int32_t> minutes = text::TryDecimalToInt(value);
    if (!minutes) return refuse(2, TArgumentForm::Minutes);
    conditions.SetCount(*minutes);
    conditions.SetUnitIndex(kUnitMinutes);
  } else if (kind == "term") {
    const std::size_t dash = text::Find(value, "-");
    if (dash == std::string::npos) return refuse(2, TArgumentForm::DateRange);
    const std::optional<TCivilDate> lower = formats.ReadShortDate(value.substr(0, dash));
    const std::optional<TCivilDate> upper = formats.ReadShortDate(value.substr(dash + 1));
    if (!lower || !upper) return refuse(2, TArgumentForm::DateRange);
    conditions.SetLowerDate(*lower);
    conditions.SetUpperDate(*upper);
  } else if (kind == "start") {
    const std::optional<TLocalTime> since = formats.ReadShortDateTime(value);
    if (!since) return refuse(2, TArgumentForm::DateTime);
    conditions.SetSinceDate(since->Date);
    conditions.SetSinceTime(since->Time);
  } else {
    return refuse(1, TArgumentForm::Kind);
  }
  const std::optional<int32_t> perPage = text::TryDecimalToInt(args[2]);
  if (!perPage) return refuse(3, TArgumentForm::PerPage);
  return {TCommandLine{conditions, *perPage, args[3] == "noview"}, std::nullopt};
}

bool AsksForHelp(const std::vector<std::string>& args) {
  return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

namespace {

// The value is cut at the first "-": a date that holds one cannot be given.
bool DatesHoldADash(const TDateForms& forms) { return text::Find(forms.Date, "-") != std::string::npos; }

std::string DateLine(const TDateForms& forms) {
  return "date " + forms.Date + " (today: " + forms.Today + "), time " + forms.Time + " (e.g. " +
         forms.Afternoon + ")";
}

const char* const kNoRange = "dates of this locale hold \"-\", so no range can be given: use start or past";

}  // namespace

std::string CommandLineUsage(const TDateForms& forms) {
  std::string usage =
      "Usage: hollowmere KIND VALUE PER-PAGE VIEW\n"
      "       hollowmere            (the window alone)\n"
      "Fetches part of the Voyla log, writes its pages into the program folder\n"
      "and shows the first one.\n"
      "\n"
      "  past MINUTES       the last MINUTES minutes (decimal, 1 to 5000)\n"
      "  term DATE-DATE     whole days from the first date to the second\n"
      "  start \"DATE[ TIME]\" everything since then (a date alone: midnight)\n"
      "  PER-PAGE           messages on each page, for this run only (decimal)\n"
      "  VIEW               noview: end once the pages are written; anything\n"
      "                     else: keep the window open\n"
      "\n"
      "Dates and times are written as the locale (" +
      forms.LocaleName + ") writes them:\n  " + DateLine(forms) + "\n";
  if (DatesHoldADash(forms)) usage += std::string("  (") + kNoRange + ")\n";
  usage += "\nExamples:\n  hollowmere past 90 20 view\n";
  if (!DatesHoldADash(forms)) {
    usage += "  hollowmere term \"" + forms.Yesterday + "-" + forms.Today + "\" 20 noview\n";
  }
  usage += "  hollowmere start \"" + forms.Today + " " + forms.Afternoon + "\" 20 view\n";
  return usage;
}

std::string RefusalText(const std::vector<std::string>& args, const TCommandLineRefusal& refusal,
                        const TDateForms& forms) {
  if (refusal.Expected == TArgumentForm::FourArguments) {
    return "4 arguments are needed, " + std::to_string(args.size()) + " were given (see hollowmere --help)";
  }
  const std::string given = refusal.Argument >= 1 && refusal.Argument <= args.size()
                                ? args[refusal.Argument - 1]
                                : std::string();
  std::string out = "argument " + std::to_string(refusal.Argument) + " \"" + given + "\" is not ";
  switch (refusal.Expected) {
    case TArgumentForm::Kind:
      return out + "past, term or start (small letters)";
    case TArgumentForm::Minutes:
      return out + "a decimal number of minutes";
    case TArgumentForm::PerPage:
      return out + "a decimal number of messages per page";
    case TArgumentForm::DateRange:
      out += "two dates joined by \"-\" (" + forms.Yesterday + "-" + forms.Today + "); " + DateLine(forms);
      if (DatesHoldADash(forms)) out += std::string("; ") + kNoRange;
      return out;
    case TArgumentForm::DateTime:
      return out + "a date with an optional time (\"" + forms.Today + " " + forms.Afternoon + "\"); " +
             DateLine(forms);
    case TArgumentForm::FourArguments:
      break;
  }
  return out;
}

std::string PagesWrittenText(std::size_t messages, int32_t perPage, const std::string& firstPage) {
  const std::size_t pages = messages / static_cast<std::size_t>(EffectivePageSize(perPage)) + 1;
  return std::to_string(messages) + (messages == 1 ? " message" : " messages") + " on " +
         std::to_string(pages) + (pages == 1 ? " page" : " pages") + ", first page: " + firstPage;
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

int StatusReportingErrors(IMessageBoxes& boxes, const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    boxes.ShowMessage(e.what());
  } catch (...) {
    boxes.ShowMessage("unknown error");
  }
  return 1;
}

}  // namespace hollowmere
