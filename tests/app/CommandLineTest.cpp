// What a terminal user is told about the command line: the usage in the
// locale's forms, which argument was refused, and what a run wrote.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/CommandLine.h"

namespace hollowmere {
namespace {

const TDateForms kJapanese{"ja_JP", "yyyy/MM/dd", "H:mm", "2026/12/07", "2026/12/08", "14:00"};
const TDateForms kSwedish{"sv_SE", "yyyy-MM-dd", "HH:mm", "2026-12-07", "2026-12-08", "14:00"};

bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CommandLineUsage, ShowsTheLocalesFormsAndAnExampleOfEachKind) {
  const std::string ja = CommandLineUsage(kJapanese);
  for (const char* part : {"(ja_JP)", "date yyyy/MM/dd (today: 2026/12/08), time H:mm (e.g. 14:00)",
                           "hollowmere past 90 20 view\n", "hollowmere term \"2026/12/07-2026/12/08\" 20 noview\n",
                           "hollowmere start \"2026/12/08 14:00\" 20 view\n"}) {
    EXPECT_TRUE(Holds(ja, part)) << part << "\n" << ja;
  }
  EXPECT_FALSE(Holds(ja, "no range"));
  // Dates that hold "-" cannot make a range: no example of one, and a word why.
  const std::string sv = CommandLineUsage(kSwedish);
  EXPECT_FALSE(Holds(sv, "hollowmere term")) << sv;
  EXPECT_TRUE(Holds(sv, "no range can be given")) << sv;
  EXPECT_TRUE(Holds(sv, "hollowmere start \"2026-12-08 14:00\" 20 view\n")) << sv;
  EXPECT_TRUE(AsksForHelp({"--help"}));
  EXPECT_TRUE(AsksForHelp({"-h"}));
  for (const std::vector<std::string>& not_help :
       std::vector<std::vector<std::string>>{{}, {"-help"}, {"--HELP"}, {"--help", "x"}, {"past", "-h", "1", "x"}}) {
    EXPECT_FALSE(AsksForHelp(not_help)) << not_help.size();
  }
}

TEST(CommandLineRefusal, NamesTheArgumentAndTheFormItWanted) {
  const std::vector<std::string> args{"term", "7 Dec 2026-8 Dec 2026", "x", "noview"};
  const struct {
    TCommandLineRefusal refusal;
    const TDateForms* forms;
    std::string text;
  } cases[] = {
      {{0, TArgumentForm::FourArguments}, &kJapanese, "4 arguments are needed, 4 were given (see hollowmere --help)"},
      {{2, TArgumentForm::Minutes}, &kJapanese, "argument 2 \"7 Dec 2026-8 Dec 2026\" is not a decimal number of minutes"},
      {{2, TArgumentForm::DateRange}, &kJapanese,
       "argument 2 \"7 Dec 2026-8 Dec 2026\" is not two dates joined by \"-\" (2026/12/07-2026/12/08); "
       "date yyyy/MM/dd (today: 2026/12/08), time H:mm (e.g. 14:00)"},
      {{2, TArgumentForm::DateTime}, &kJapanese,
       "argument 2 \"7 Dec 2026-8 Dec 2026\" is not a date with an optional time (\"2026/12/08 14:00\"); "
       "date yyyy/MM/dd (today: 2026/12/08), time H:mm (e.g. 14:00)"},
      {{2, TArgumentForm::DateRange}, &kSwedish,
       "argument 2 \"7 Dec 2026-8 Dec 2026\" is not two dates joined by \"-\" (2026-12-07-2026-12-08); "
       "date yyyy-MM-dd (today: 2026-12-08), time HH:mm (e.g. 14:00); dates of this locale hold \"-\", so no "
       "range can be given: use start or past"},
  };
  for (const auto& c : cases) EXPECT_EQ(RefusalText(args, c.refusal, *c.forms), c.text);
  EXPECT_EQ(RefusalText({"a", "b"}, {0, TArgumentForm::FourArguments}, kJapanese),
            "4 arguments are needed, 2 were given (see hollowmere --help)");
}

TEST(CommandLineRun, OneLineSaysWhatWasWritten) {
  const struct {
    std::size_t messages;
    int32_t perPage;
    const char* text;
  } cases[] = {
      {25, 10, "25 messages on 3 pages, first page: file:///p/long0.html"},
      {20, 10, "20 messages on 3 pages, first page: file:///p/long0.html"},  // the last page empty
      {1, 10, "1 message on 1 page, first page: file:///p/long0.html"},
      {0, 10, "0 messages on 1 page, first page: file:///p/long0.html"},
      {3, 0, "3 messages on 4 pages, first page: file:///p/long0.html"},  // below 1 counts as 1
  };
  for (const auto& c : cases) EXPECT_EQ(PagesWrittenText(c.messages, c.perPage, "file:///p/long0.html"), c.text);
}

class RecordedBoxes : public IMessageBoxes {
 public:
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  bool AskYesNo(const std::string&) override { return false; }
  void Beep() override {}
  std::vector<std::string> shown;
};

TEST(StatusReportingErrors, AnEscapingErrorIsShownAndEndsWithOne) {
  const struct {
    std::function<int()> body;
    int status;
    std::vector<std::string> shown;
  } cases[] = {
      {[] { return 2; }, 2, {}},
      {[]() -> int { throw std::runtime_error("fetch broke"); }, 1, {"fetch broke"}},
      {[]() -> int { throw 7; }, 1, {"unknown error"}},
  };
  for (const auto& c : cases) {
    RecordedBoxes boxes;
    EXPECT_EQ(StatusReportingErrors(boxes, c.body), c.status);
    EXPECT_EQ(boxes.shown, c.shown);
  }
}

}  // namespace
}  // namespace hollowmere
