// The window's archive played through doubles: every accepted log kept before
// its pages, a failing archive that never stops them, the search dialog and
// the period view written as pages from the archive alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "app/ArchiveCounter.h"
#include "app/ControllerDoubles.h"
#include "archive/SqliteArchive.h"
#include "text/Encoding.h"

// The case tables name only the request fields a case is about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using namespace hollowmere::testing;
using text::Sjis;

void Spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Message blocks on the written pages, counted by their "No." lines.
std::size_t MessagesOnPages(const std::string& folder) {
  std::size_t n = 0;
  for (int k = 0; fs::exists(folder + "long" + std::to_string(k) + ".html"); ++k) {
    const std::string page = ReadFileBytes(folder + "long" + std::to_string(k) + ".html");
    for (std::size_t at = page.find("\r\nNo."); at != std::string::npos; at = page.find("\r\nNo.", at + 1)) ++n;
  }
  return n;
}

// Answers each search dialog with `answer` after asking for its count and
// waiting for it, as a user who reads the count before pressing OK.
class FakeArchiveSearchDialog : public IArchiveSearchDialog {
 public:
  explicit FakeArchiveSearchDialog(IMainLoop& loop) : loop_(loop) {}
  bool Execute(TArchiveSearchRequest& request, const std::vector<std::string>& g,
               const std::vector<std::string>& c, const TArchiveCountAsk& ask) override {
    ghosts = g;
    channels = c;
    count.reset();
    ask(answer);
    loop_.ServeUntil([&] { return count.has_value(); });
    request = answer;
    return ok;
  }
  void ShowCount(const TArchiveCount& c) override { count = c; }

  TArchiveSearchRequest answer;
  bool ok = true;
  std::optional<TArchiveCount> count;
  std::vector<std::string> ghosts, channels;

 private:
  IMainLoop& loop_;
};

class ArchiveControllerTest : public ::testing::Test, protected ControllerDoubles {
 protected:
  ArchiveControllerTest() : ControllerDoubles({{2004, 5, 8}, {12, 0, 0}}) {
    fs::copy_file(SourceDir() + "/data/log.txt", dir.file("log.txt"));
  }
  void Start(const std::string& extraIni = "") {
    Spit(dir.file("Hollowmere.ini"), "[General]\r\nSppDir=" + dir.path() + "\r\n" + extraIni);
    controller.FormCreate();
  }
  uint64_t Kept() { return OpenSqliteArchive(dir.file("archive.sqlite3"))->Stats().Messages; }

  FakeArchiveSearchDialog search{loop};
  TMainController controller{dir.path(), plugins, Parts(&search)};
};

TEST_F(ArchiveControllerTest, EveryShownLogIsKeptOnceAndCounted) {
  Start();
  EXPECT_EQ(window.archiveState, "");  // no archive before the first log
  EXPECT_TRUE(window.archiveChecked);
  // Searching before there is anything makes no archive, it says so.
  controller.Guarded([&] { controller.ArchiveSearchMenuClick(); });
  ASSERT_EQ(boxes.messages.size(), 1u);
  EXPECT_NE(boxes.messages[0].find(Sjis("はまだありません")), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.file("archive.sqlite3")));
  boxes.messages.clear();
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_TRUE(boxes.messages.empty()) << boxes.messages.front();
  EXPECT_EQ(Kept(), 320u);
  EXPECT_EQ(window.archiveState, Sjis("アーカイブ 320 件"));
  EXPECT_FALSE(window.archiveProblem);
  EXPECT_EQ(fs::status(dir.file("archive.sqlite3")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(MessagesOnPages(dir.path()), 320u);
}

TEST_F(ArchiveControllerTest, ArchivingOffKeepsNothingAndTheFileStaysAsItWas) {
  Start("[Archive]\r\nEnabled=0\r\n");
  EXPECT_FALSE(window.archiveChecked);
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_FALSE(fs::exists(dir.file("archive.sqlite3")));
  EXPECT_EQ(MessagesOnPages(dir.path()), 320u);
  // Turned back on from the menu: the next log is kept, and the end says so.
  controller.ArchiveEnabledMenuClick();
  EXPECT_TRUE(window.archiveChecked);
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_EQ(Kept(), 320u);
  controller.FormDestroy();
  EXPECT_NE(ReadFileBytes(dir.file("Hollowmere.ini")).find("[Archive]\r\nEnabled=1\r\n"), std::string::npos);
}

TEST_F(ArchiveControllerTest, AnArchiveThatFailsIsToldOnceAndThePagesAreStillWritten) {
  const std::string notOurs = "SQLite format 3? no: a note the user keeps here\n";
  Spit(dir.file("archive.sqlite3"), notOurs);
  Start();
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_TRUE(boxes.messages.empty()) << boxes.messages.front();
  EXPECT_TRUE(window.archiveProblem);
  EXPECT_NE(window.archiveState.find("archive.sqlite3"), std::string::npos) << window.archiveState;
  EXPECT_EQ(ReadFileBytes(dir.file("archive.sqlite3")), notOurs);
  EXPECT_EQ(MessagesOnPages(dir.path()), 320u);
  EXPECT_EQ(view.navigations.size(), 1u);
}

TEST_F(ArchiveControllerTest, SearchAndPeriodWritePagesFromTheArchiveAlone) {
  Start();
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  fs::remove(dir.file("log.txt"));  // nothing but the archive from here on
  const std::size_t all = 320;
  const auto period = [&](TCivilDate from, TCivilDate to) {
    return [this, from, to] {
      logDialog.user = [from, to](TLogConditions& c) {
        c.SetLowerDate(from);
        c.SetUpperDate(to);
        return true;
      };
    };
  };

  struct Case {
    const char* name;
    std::function<void()> setUp;
    void (TMainController::*item)();
    std::size_t minHits, maxHits;
    const char* statusStart;
  };
  const Case cases[] = {
      {"every message of the two days, as a period", period({2004, 5, 6}, {2004, 5, 7}),
       &TMainController::ArchivePeriodMenuClick, all, all, "アーカイブの期間表示: 320 件"},
      {"a period before the log holds nothing", period({2003, 1, 1}, {2003, 1, 2}),
       &TMainController::ArchivePeriodMenuClick, 0, 0, "アーカイブの期間表示: 0 件"},
      {"a word some messages show", [&] { search.answer = {"こんにちは"}; },
       &TMainController::ArchiveSearchMenuClick, 1, all - 1, "検索 \"こんにちは\": "},
      {"a word together with a ghost chosen",
       [&] { search.answer = {"こんにちは", Sjis("毒子")}; }, &TMainController::ArchiveSearchMenuClick, 1,
       all - 1, "検索 \"こんにちは\" ゴースト:毒子: "},
      {"a tag's name is no visible text", [&] { search.answer = {"\\s[0]"}; },
       &TMainController::ArchiveSearchMenuClick, 0, 0, "検索 \"\\s[0]\": 0 件"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.setUp();
    view.navigations.clear();
    for (const auto& e : fs::directory_iterator(dir.path())) {
      if (e.path().extension() == ".html") fs::remove(e.path());
    }
    controller.Guarded([&] { (controller.*c.item)(); });
    ASSERT_TRUE(boxes.messages.empty()) << boxes.messages.front();
    const std::size_t shown = MessagesOnPages(dir.path());
    EXPECT_GE(shown, c.minHits);
    EXPECT_LE(shown, c.maxHits);
    // Nothing found writes nothing, so the pages being read stay.
    EXPECT_EQ(view.navigations.size(), shown == 0 ? 0u : 1u);
    // The status names what was shown, and stays once the page has loaded.
    if (shown > 0) {
      controller.DownloadBegin();
      controller.DownloadComplete();
    }
    EXPECT_EQ(window.status.rfind(Sjis(c.statusStart), 0), 0u) << text::Cp932ToUtf8Lossy(window.status);
    if (c.item == &TMainController::ArchiveSearchMenuClick) {
      ASSERT_TRUE(search.count.has_value());
      EXPECT_EQ(search.count->Count, std::optional<uint64_t>(shown));
    }
  }
  // The choosers offer the archive's own names.
  EXPECT_NE(std::find(search.ghosts.begin(), search.ghosts.end(), Sjis("毒子")), search.ghosts.end());
  EXPECT_NE(std::find(search.channels.begin(), search.channels.end(), Sjis("雑談")), search.channels.end());
  // A later load is plain again.
  controller.DownloadComplete();
  EXPECT_EQ(window.status, Sjis("読み込み完了"));
}

TEST(ArchiveSearchQueryTest, TheChoosersNarrowWhatIsTyped) {
  FixedDateFormats formats;
  struct Case {
    TArchiveSearchRequest request;
    std::optional<std::string> ghost;
    std::optional<int64_t> since, until;
    const char* refusal;  // what the window says, when refused
  };
  const int64_t may6 = WallSeconds({{2004, 5, 6}, {}});
  const Case cases[] = {
      {{"abc"}, std::nullopt, std::nullopt, std::nullopt, nullptr},
      {{"abc ghost:A"}, "A", std::nullopt, std::nullopt, nullptr},
      {{"abc ghost:A", "B"}, "B", std::nullopt, std::nullopt, nullptr},
      {{"", "", "", true, {2004, 5, 6}, {2004, 5, 7}}, std::nullopt, may6, may6 + 2 * 86400, nullptr},
      {{"since:2001/01/01", "", "", true, {2004, 5, 6}, {2004, 5, 6}}, std::nullopt, may6, may6 + 86400, nullptr},
      {{"", "", "", true, {2004, 2, 30}, {2004, 5, 6}}, std::nullopt, std::nullopt, std::nullopt,
       "期間の日付が正しくありません"},
      {{"ghost:"}, std::nullopt, std::nullopt, std::nullopt, "ghost: の後に名前を書いてください (例 ghost:さくら)"},
      {{"since:きのう"}, std::nullopt, std::nullopt, std::nullopt, "since: \"きのう\" は日付ではありません"},
      {{"channel:\xF0\x9F\x98\x80"}, std::nullopt, std::nullopt, std::nullopt,
       "channel: \"?\" にはログにない文字があります"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.QueryUtf8);
    if (c.refusal) {
      try {
        ArchiveSearchQuery(c.request, &formats);
        ADD_FAILURE() << "not refused";
      } catch (const ESearchQueryError& e) {
        EXPECT_EQ(SearchProblemText(e).rfind(Sjis(c.refusal), 0), 0u) << text::Cp932ToUtf8Lossy(SearchProblemText(e));
      }
      continue;
    }
    const TSearchQuery q = ArchiveSearchQuery(c.request, &formats);
    EXPECT_EQ(q.Filter.Ghost, c.ghost);
    EXPECT_EQ(q.Filter.Since, c.since);
    EXPECT_EQ(q.Filter.Until, c.until);
  }
}

}  // namespace
}  // namespace hollowmere
