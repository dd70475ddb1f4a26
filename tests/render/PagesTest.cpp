// Page assembly, page files and the ShowLog road from a log text to the view.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "log/MessageItem.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/FileSystem.h"
#include "platform/FreeSpace.h"
#include "render/Pages.h"
#include "render/RenderFixture.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using namespace hollowmere::testing;
using text::Sjis;
namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::string Log(int messages, const std::string& script = "\\0a\\e") {
  std::string log = "Result: OK\r\nheader\r\nheader\r\n";
  for (int i = 0; i < messages; ++i) {
    log += "20040506070809\tM" + std::to_string(i) + "\tCh\tG\t3\t1\t2\t" + script + "\r\n";
  }
  return log;
}

class PagesTest : public ::testing::Test, public RenderFixture {
 protected:
  ShowLogContext Context(int32_t perPage) {
    return ShowLogContext{parser,  awk,     plugins, cache.path(), out.path() + "long",
                          "Font",  perPage, true,    "ja_JP",      {},     {}};
  }
  std::string Page(int k) const { return out.path() + "long" + std::to_string(k) + ".html"; }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir out;
  FakeHtmlView view;
};

TEST(PageNavigation, LinksEveryOtherPageAndShowsTheCurrentOne) {
  const std::string p = "/d/long";
  EXPECT_EQ(PageNavigation(p, 0, 2),
            "1\r\n"
            "<a href=\"file:///d/long1.html\">\r\n2</a>\r\n"
            "<a href=\"file:///d/long2.html\">\r\n3</a>\r\n"
            "<a href=\"file:///d/long1.html\">\r\n&rsaquo;&rsaquo;</a>\r\n");
  EXPECT_EQ(PageNavigation(p, 1, 2),
            "<a href=\"file:///d/long0.html\">\r\n&lsaquo;&lsaquo;</a>\r\n"
            "<a href=\"file:///d/long0.html\">\r\n1</a>\r\n"
            "2\r\n"
            "<a href=\"file:///d/long2.html\">\r\n3</a>\r\n"
            "<a href=\"file:///d/long2.html\">\r\n&rsaquo;&rsaquo;</a>\r\n");
  EXPECT_EQ(PageNavigation(p, 2, 2),
            "<a href=\"file:///d/long1.html\">\r\n&lsaquo;&lsaquo;</a>\r\n"
            "<a href=\"file:///d/long0.html\">\r\n1</a>\r\n"
            "<a href=\"file:///d/long1.html\">\r\n2</a>\r\n"
            "3\r\n");
  EXPECT_EQ(PageNavigation(p, 0, 0), "1\r\n");
  // A folder name with markup characters cannot end the attribute, and one
  // with URL delimiters still names the file.
  EXPECT_EQ(PageNavigation("/a\"&b/long", 1, 1),
            "<a href=\"file:///a&quot;&amp;b/long0.html\">\r\n&lsaquo;&lsaquo;</a>\r\n"
            "<a href=\"file:///a&quot;&amp;b/long0.html\">\r\n1</a>\r\n2\r\n");
  EXPECT_EQ(PageNavigation("/x#1?%/long", 0, 1),
            "1\r\n<a href=\"file:///x%231%3F%25/long1.html\">\r\n2</a>\r\n"
            "<a href=\"file:///x%231%3F%25/long1.html\">\r\n&rsaquo;&rsaquo;</a>\r\n");
}

// A navigation in short: "<" and ">" for the arrows, "[n]" for the current
// page, "..." for pages left out; each link's file checked against its number.
std::string Shown(const std::string& nav) {
  std::istringstream lines(nav);
  std::string line, out, file;
  while (std::getline(lines, line)) {
    line.pop_back();  // CR
    if (line.rfind("<a href=\"file:///d/long", 0) == 0) {
      file = std::to_string(std::stoll(line.substr(23)) + 1);
      continue;
    }
    const bool link = line.size() > 4 && line.substr(line.size() - 4) == "</a>";
    std::string item = line == "&lsaquo;&lsaquo;</a>" ? "<" : line == "&rsaquo;&rsaquo;</a>" ? ">"
                     : line == "&hellip;" ? "..." : link ? line.substr(0, line.size() - 4) : "[" + line + "]";
    if (link && item.size() > 1 && item != file) item += "->" + file;
    out += (out.empty() ? "" : " ") + item;
  }
  return out;
}

// Pages first..last (1-based), page `current` in brackets.
std::string Pages(int64_t first, int64_t last, int64_t current) {
  std::string out;
  for (int64_t n = first; n <= last; ++n) {
    out += (n == first ? "" : " ") + (n == current ? "[" + std::to_string(n) + "]" : std::to_string(n));
  }
  return out;
}

TEST(PageNavigation, PastTheBoundAPageNamesTheEndsAndItsNeighboursOnly) {
  ASSERT_GE(kFullNavigationPages, 100);
  const int64_t L = kFullNavigationPages, R = kNavigationReach;  // L: one page past the bound
  const std::string end = " ... " + std::to_string(L + 1) + " >";
  struct Case {
    const char* name;
    int64_t k, last;
    std::string shown;
  } const cases[] = {
      {"up to the bound every page, first", 0, L - 1, Pages(1, L, 1) + " >"},
      {"up to the bound every page, middle", 57, L - 1, "< " + Pages(1, L, 58) + " >"},
      {"past it, first", 0, L, Pages(1, R + 1, 1) + end},
      {"middle", 100, L, "< 1 ... " + Pages(101 - R, 101 + R, 101) + end},
      {"window reaching the first", R + 1, L, "< " + Pages(1, 2 * R + 2, R + 2) + end},
      {"one page short of the first", R + 2, L, "< 1 ... " + Pages(3, 2 * R + 3, R + 3) + end},
      {"window reaching the last", L - R - 1, L, "< 1 ... " + Pages(L - 2 * R, L + 1, L - R) + " >"},
      {"one page short of the last", L - R - 2, L, "< 1 ... " + Pages(L - 2 * R - 1, L - 1, L - R - 1) + end},
      {"last", L, L, "< 1 ... " + Pages(L + 1 - R, L + 1, L + 1)},
      {"a million pages", 500000, 999999, "< 1 ... " + Pages(500001 - R, 500001 + R, 500001) + " ... 1000000 >"},
  };
  for (const Case& c : cases) EXPECT_EQ(Shown(PageNavigation("/d/long", c.k, c.last)), c.shown) << c.name;
}

TEST_F(PagesTest, AWholePageByteForByte) {
  const std::string log = Sjis(
      "Result: OK\r\nx\r\ny\r\n"
      "20040506070809\tM1\tさくら部\tソ表\t3\t1\t\t\\0\\s[0]Hi\\e\r\n"
      "20040506000000\tM2\t\tソ表\t4\t0\t2\tplain\r\n");
  ShowLogContext ctx = Context(100);
  ctx.HtmlFont = Sjis("ＭＳ ゴシック");
  ASSERT_TRUE(ShowLog(log, ctx, view));

  const std::string prefix = out.path() + "long";
  const std::string img = "<img src=\"file://" + cache.path() + "ソ表0.bmp\" alt=\"ソ表0\">";
  const std::string info1 =
      "2004/05/06 7:08:09/\r\n"
      "ゴースト:ソ表/\r\n"
      "チャンネル:さくら部\r\n"
      "<br>接続数:3/\r\n"
      "投票数:1/\r\n"
      "同意数:<br>\r\n"
      "<a href=\"http://vote.M1\">投票</a>/\r\n"
      "<a href=\"http://agree.M1\">同意</a>/\r\n"
      "<a href=\"http://messageofhlwmrplay/ソ表,さくら部,\\0\\s[0]Hi\\e,\">再生</a>\r\n";
  const std::string info2 =
      "2004/05/06/\r\n"
      "ゴースト:ソ表/\r\n"
      "チャンネル:\r\n"
      "<br>接続数:4/\r\n"
      "投票数:0/\r\n"
      "同意数:2<br>\r\n"
      "<a href=\"http://vote.M2\">投票</a>/\r\n"
      "<a href=\"http://agree.M2\">同意</a>/\r\n"
      "<a href=\"http://messageofhlwmrplay/ソ表,,plain,\">再生</a>\r\n";
  const std::string expected = Sjis(
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"><html lang=\"ja-JP\"><head>"
      "<meta http-equiv=\"content-type\" content=\"text/html; charset=Shift_JIS\"><title>Quibbleton</title>\r\n"
      "<META http-equiv=\"Content-Style-Type\" content=\"text/css\"><style type=\"text/css\">"
      "<!-- body{ font-family: \"ＭＳ ゴシック\";} --></style></head><body>\r\n"
      "1\r\n"
      "<hr><div align=\"left\">\r\nNo.1<br>\r\n" + info1 + "</div>\r\n<div>\r\n"
      "<div align=\"right\"><table border=\"0\" summary=\"\\0\"><tr bgcolor=\"#FFB6C1\"><td width=\"100%\">Hi"
      "</td><td>" + img + "</td></tr></table></div>\r\n"
      "</div>\r\n<div>\r\n" + info1 + "</div>\r\n"
      "<hr><div align=\"left\">\r\nNo.2<br>\r\n" + info2 + "</div>\r\n<div>\r\n"
      "<div align=\"right\"><table border=\"0\" summary=\"\\0\"><tr bgcolor=\"#FFB6C1\"><td width=\"100%\">plain"
      "</td><td>" + img + "</td></tr></table></div>\r\n"
      "</div>\r\n<div>\r\n" + info2 + "</div>\r\n"
      "1\r\n"
      "</body></html>\r\n");
  EXPECT_EQ(ReadFileBytes(Page(0)), expected);
  EXPECT_EQ(view.navigations, std::vector<std::string>{"file://" + prefix + "0.html"});
  EXPECT_EQ(Files(), std::vector<std::string>{"long0.html"});
}

TEST_F(PagesTest, MessagesAreCutIntoPagesAndNumberedThroughout) {
  std::vector<std::pair<std::size_t, std::size_t>> progress;
  ShowLogContext ctx = Context(100);
  ctx.OnProgress = [&](std::size_t done, std::size_t total) { progress.push_back({done, total}); };
  ASSERT_TRUE(ShowLog(Log(250), ctx, view));
  EXPECT_EQ(Files(), (std::vector<std::string>{"long0.html", "long1.html", "long2.html"}));
  const std::string p0 = ReadFileBytes(Page(0)), p1 = ReadFileBytes(Page(1)), p2 = ReadFileBytes(Page(2));
  EXPECT_EQ(Count(p0, "<hr>"), 100);
  EXPECT_EQ(Count(p1, "<hr>"), 100);
  EXPECT_EQ(Count(p2, "<hr>"), 50);
  EXPECT_NE(p0.find("No.1<br>"), std::string::npos);
  EXPECT_NE(p1.find("No.101<br>\r\n"), std::string::npos);
  EXPECT_NE(p2.find("No.250<br>"), std::string::npos);
  EXPECT_EQ(p2.find("No.251<br>"), std::string::npos);
  EXPECT_EQ(Count(p2, "&rsaquo;&rsaquo;"), 0);
  EXPECT_EQ(Count(p0, "&lsaquo;&lsaquo;"), 0);
  EXPECT_EQ(progress, (std::vector<std::pair<std::size_t, std::size_t>>{{100, 250}, {200, 250}, {250, 250}}));
}

TEST_F(PagesTest, AFullLastPageIsFollowedByAnEmptyOne) {
  ASSERT_TRUE(ShowLog(Log(200), Context(100), view));
  EXPECT_EQ(Files(), (std::vector<std::string>{"long0.html", "long1.html", "long2.html"}));
  const std::string last = ReadFileBytes(Page(2));
  EXPECT_EQ(Count(last, "<hr>"), 0);
  for (int k = 0; k < 3; ++k) {
    const std::string page = ReadFileBytes(Page(k));
    // Top and bottom navigation reach the other two pages.
    for (int j = 0; j < 3; ++j) {
      if (j == k) continue;
      const std::string link = "long" + std::to_string(j) + ".html\">\r\n" + std::to_string(j + 1) + "</a>";
      EXPECT_EQ(Count(page, link), 2) << "page " << k << " to page " << j;
    }
  }
}

TEST_F(PagesTest, AnEmptyLogIsOnePageWithoutMessages) {
  ASSERT_TRUE(ShowLog("Result: OK\r\na\r\nb\r\n", Context(100), view));
  EXPECT_EQ(Files(), std::vector<std::string>{"long0.html"});
  const std::string page = ReadFileBytes(Page(0));
  EXPECT_EQ(Count(page, "<hr>"), 0);
  EXPECT_NE(page.find("<body>\r\n1\r\n1\r\n</body></html>\r\n"), std::string::npos);
  EXPECT_EQ(view.navigations.size(), 1u);
}

TEST_F(PagesTest, APageSizeBelowOneCountsAsOne) {
  for (const int32_t size : {0, -5}) {
    FakeHtmlView v;
    ASSERT_TRUE(ShowLog(Log(2), Context(size), v));
    EXPECT_EQ(Files(), (std::vector<std::string>{"long0.html", "long1.html", "long2.html"}));
    EXPECT_NE(ReadFileBytes(Page(1)).find("No.2<br>"), std::string::npos);
    EXPECT_EQ(Count(ReadFileBytes(Page(2)), "<hr>"), 0);
  }
}

TEST_F(PagesTest, ARejectedTextChangesNothing) {
  EXPECT_FALSE(ShowLog("Result: OK \r\na\r\nb\r\n", Context(100), view));
  EXPECT_FALSE(ShowLog("result: ok\r\n", Context(100), view));
  EXPECT_TRUE(Files().empty());
  EXPECT_TRUE(view.navigations.empty());
}

TEST_F(PagesTest, AParseErrorWritesNothing) {
  EXPECT_THROW(ShowLog(Log(3) + "\r\n", Context(1), view), ELogFormatError);
  EXPECT_THROW(ShowLog("", Context(1), view), Error);
  EXPECT_TRUE(Files().empty());
  EXPECT_TRUE(view.navigations.empty());
}

TEST_F(PagesTest, ARenderErrorKeepsEarlierPagesAndDoesNotNavigate) {
  // An older page 1 from an earlier run must survive untouched.
  { std::ofstream(Page(1), std::ios::binary) << "old page"; }
  // A faulty tag line, reached only by the second message.
  parser.SetTagPattern({"\\0", "x"});
  std::string log = "Result: OK\r\na\r\nb\r\n";
  log += "20040506070809\tM0\tC\tG\t1\t1\t1\t\\0ok\r\n";
  log += "20040506070809\tM1\tC\tG\t1\t1\t1\t\\0\\qbad\r\n";
  log += "20040506070809\tM2\tC\tG\t1\t1\t1\tok\r\n";
  EXPECT_THROW(ShowLog(log, Context(1), view), ESsParserError);
  EXPECT_NE(ReadFileBytes(Page(0)).find("No.1<br>"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(Page(1)), "old page");
  EXPECT_EQ(Files(), (std::vector<std::string>{"long0.html", "long1.html"}));
  EXPECT_TRUE(view.navigations.empty());
}

TEST_F(PagesTest, ASurfaceNumberBeyondAnIntegerStopsNoPage) {
  std::string log = "Result: OK\r\na\r\nb\r\n";
  log += "20040506070809\tM0\tC\tG\t1\t1\t1\t\\0\\s[1]ok\r\n";
  log += "20040506070809\tM1\tC\tG\t1\t1\t1\t\\0\\s[2147483648]odd\r\n";
  log += "20040506070809\tM2\tC\tG\t1\t1\t1\tok\r\n";
  ASSERT_TRUE(ShowLog(log, Context(1), view));
  EXPECT_EQ(Files(), (std::vector<std::string>{"long0.html", "long1.html", "long2.html", "long3.html"}));
  EXPECT_NE(ReadFileBytes(Page(1)).find(">\\s[2147483648]odd</td>"), std::string::npos);
  EXPECT_NE(ReadFileBytes(Page(2)).find("No.3<br>"), std::string::npos);
  EXPECT_EQ(view.navigations.size(), 1u);
}

TEST_F(PagesTest, AFailedWriteLeavesNoTemporaryFileAndDoesNotNavigate) {
  // A folder in the way of page 1: its file cannot be put in place.
  fs::create_directories(out.path() + "long1.html/inside");
  EXPECT_THROW(ShowLog(Log(3), Context(1), view), EFCreateError);
  EXPECT_EQ(Files(), (std::vector<std::string>{"long0.html", "long1.html"}));
  EXPECT_TRUE(view.navigations.empty());

  ShowLogContext missing = Context(1);
  missing.PageFilePrefix = out.path() + "no/such/folder/long";
  EXPECT_THROW(ShowLog(Log(1), missing, view), EFCreateError);
}

TEST_F(PagesTest, EachMessageIsReportedOnceItsPageIsWritten) {
  std::vector<std::string> reported;
  ShowLogContext ctx = Context(2);
  ctx.OnMessageWritten = [&](const TMessageItem& m) { reported.push_back(m.HeaderValue("MID")); };
  // Page 1 cannot be written: only the messages of page 0 are on disk.
  fs::create_directories(out.path() + "long1.html/inside");
  EXPECT_THROW(ShowLog(Log(3), ctx, view), EFCreateError);
  EXPECT_EQ(reported, (std::vector<std::string>{"M0", "M1"}));
  reported.clear();
  fs::remove_all(out.path() + "long1.html");
  ASSERT_TRUE(ShowLog(Log(3), ctx, view));
  EXPECT_EQ(reported, (std::vector<std::string>{"M0", "M1", "M2"}));
}

// Pages of an earlier, longer log go once a run has written all its own;
// nothing else in the folder does, and a failed run removes nothing.
TEST_F(PagesTest, PagesOfALongerLogGoAfterASuccessfulRunAndNothingElse) {
  const std::pair<std::string, bool> files[] = {
      {"long3.html", true},     {"long2004.html", true},  {"long99999999999999999999999.html", true},
      {"long03.html", false},   {"long-3.html", false},   {"long+3.html", false},   {"long3.htm", false},
      {"long3.HTML", false},    {"Long3.html", false},    {"xlong3.html", false},   {"long3.html.bak", false},
      {"long.html", false},     {"long 3.html", false},   {"long3a.html", false},
  };
  for (const auto& [name, _] : files) WriteFileBytes(out.path() + name, "old");
  WriteFileBytes(cache.path() + "kept.html", "outside");
  fs::create_symlink(cache.path() + "kept.html", out.path() + "long5.html");
  fs::create_directories(out.path() + "long6.html");
  for (const bool succeeds : {false, true}) {
    parser.SetTagPattern(succeeds ? TestTagPatterns() : std::vector<std::string>{"\\0", "x"});
    const std::string log = succeeds ? Log(2) : Log(1) + "20040506070809\tM\tC\tG\t1\t1\t1\t\\q\r\n";
    if (succeeds) EXPECT_TRUE(ShowLog(log, Context(1), view));
    else EXPECT_THROW(ShowLog(log, Context(1), view), ESsParserError);
    for (const auto& [name, goes] : files) EXPECT_EQ(fs::exists(out.path() + name), !(goes && succeeds)) << name;
    EXPECT_TRUE(fs::is_symlink(out.path() + "long5.html") && fs::is_directory(out.path() + "long6.html"));
    EXPECT_EQ(ReadFileBytes(cache.path() + "kept.html"), "outside");
  }
  EXPECT_TRUE(fs::is_regular_file(Page(2)));
}

// A small file system mounted for the test: the run stops before a page
// would leave less than the kept share free, with every page on it whole.
TEST_F(PagesTest, PagesNeverFillTheirFileSystem) {
  TempDir disk;
  if (::mount("hollowmere-test", disk.path().c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
  }
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk.path()};
  WriteFileBytes(disk.path() + "long9999.html", "older");
  ShowLogContext ctx = Context(1);
  ctx.PageFilePrefix = disk.path() + "long";
  // Pages written whole, and pages written in pieces as they grow.
  for (const std::size_t spill : {ctx.SpillBytes, std::size_t{0}}) {
    SCOPED_TRACE(spill);
    ctx.SpillBytes = spill;
    RemoveRegularFiles(disk.path(), [](const std::string& name) {
      return name != "long9999.html" && IsPageFileName(name, "long");
    });
    try {
      ShowLog(Log(2000), ctx, view);
      ADD_FAILURE() << "no stop";
    } catch (const ENoSpaceError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(Sjis("フォルダ ") + disk.path() + Sjis(" の空き容量が足りません (あと "), 0), 0u);
    }
    const std::optional<TDiskSpace> left = SystemDiskSpace().SpaceOf(disk.path());
    ASSERT_TRUE(left.has_value());
    EXPECT_GE(left->Available, KeptFree(left->Total));
    std::size_t pages = 0;
    for (const auto& e : fs::directory_iterator(disk.path())) {
      if (e.path().filename() == "long9999.html") continue;
      ASSERT_TRUE(IsPageFileName(e.path().filename().string(), "long")) << e.path();
      EXPECT_NE(ReadFileBytes(e.path().string()).rfind("</body></html>\r\n"), std::string::npos) << e.path();
      ++pages;
    }
    EXPECT_GT(pages, 10u);
    EXPECT_EQ(ReadFileBytes(disk.path() + "long9999.html"), "older");
  }
  EXPECT_TRUE(view.navigations.empty());
}

// One run at a time writes into a folder: a run that waits too long writes
// nothing, and two runs at once leave one log whole, not a mix of both.
TEST_F(PagesTest, RunsIntoOneFolderTakeTurns) {
  ShowLogContext ctx = Context(1);
  ctx.FolderWait = std::chrono::milliseconds(100);
  {
    const TFolderLock held(out.path() + "long.lock", std::chrono::seconds(1));
    try {
      ShowLog(Log(2), ctx, view);
      ADD_FAILURE() << "written beside another run";
    } catch (const EFolderBusyError& e) {
      EXPECT_EQ(e.what(), Sjis("フォルダ ") + out.path() + Sjis(" は別のプロセスが書き込み中です"));
    }
    EXPECT_EQ(Files(), std::vector<std::string>{"long.lock"});
  }
  ctx.FolderWait = std::chrono::seconds(60);
  ctx.Threads = 1;
  for (int round = 0; round < 3; ++round) {
    FakeHtmlView va, vb;
    std::thread longer([&] { ShowLog(Log(60, "\\0long"), ctx, va); });
    std::thread shorter([&] { ShowLog(Log(6, "\\0short"), ctx, vb); });
    longer.join();
    shorter.join();
    const std::string kind = ReadFileBytes(Page(0)).find(">short</td>") != std::string::npos ? ">short<" : ">long<";
    ASSERT_EQ(Files().size(), kind == ">short<" ? 7u : 61u) << round;
    for (int k = 0; k < 6; ++k) EXPECT_NE(ReadFileBytes(Page(k)).find(kind), std::string::npos) << round << "/" << k;
  }
}

TEST_F(PagesTest, AFolderWithUrlDelimitersStillWorks) {
  fs::create_directories(out.path() + "a#b?");
  ShowLogContext ctx = Context(1);
  ctx.PageFilePrefix = out.path() + "a#b?/long";
  ASSERT_TRUE(ShowLog(Log(1), ctx, view));
  EXPECT_TRUE(fs::is_regular_file(out.path() + "a#b?/long1.html"));
  EXPECT_EQ(view.navigations, std::vector<std::string>{"file://" + out.path() + "a#b?/long0.html"});
  EXPECT_NE(ReadFileBytes(out.path() + "a#b?/long0.html").find("<a href=\"file://" + out.path() + "a%23b%3F/long1.html\">"),
            std::string::npos);
}

TEST_F(PagesTest, TextFromTheLogCannotInjectMarkup) {
  std::string log = "Result: OK\r\na\r\nb\r\n";
  log += "20040506070809\tm\"x\t<i>&\tG<b>\"\t<1>\t&2\t\"3\t\\0a\"b\r\n";
  ASSERT_TRUE(ShowLog(log, Context(100), view));
  const std::string page = ReadFileBytes(Page(0));
  EXPECT_NE(page.find(Sjis("ゴースト:G&lt;b&gt;&quot;/\r\n")), std::string::npos);
  EXPECT_NE(page.find(Sjis("チャンネル:&lt;i&gt;&amp;\r\n")), std::string::npos);
  EXPECT_NE(page.find(Sjis("<br>接続数:&lt;1&gt;/\r\n")), std::string::npos);
  EXPECT_NE(page.find(Sjis("投票数:&amp;2/\r\n")), std::string::npos);
  EXPECT_NE(page.find(Sjis("同意数:&quot;3<br>\r\n")), std::string::npos);
  EXPECT_NE(page.find("<a href=\"http://vote.m&quot;x\">"), std::string::npos);
  EXPECT_NE(page.find("<a href=\"http://agree.m&quot;x\">"), std::string::npos);
  EXPECT_NE(page.find("<a href=\"http://messageofhlwmrplay/G&lt;b&gt;&quot;,&lt;i&gt;&amp;,\\0a&quot;b,\">"),
            std::string::npos);
  // The script text keeps its own escaping.
  EXPECT_NE(page.find(">a&rdquo;b</td>"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
}

// The font name sits between double quotes inside the style block: nothing
// in it may end the name or the block, or escape the closing quote.
TEST_F(PagesTest, FontNamesCannotLeaveTheStyleBlock) {
  const std::pair<std::string, std::string> fonts[] = {
      {Sjis("ＭＳ ゴシック"), Sjis("ＭＳ ゴシック")},
      {"IPAexMincho", "IPAexMincho"},
      {"a\"b<c>d\\e", "abcde"},
      {"x\";} --></style><script>alert(1)</script>", "x;} --/stylescriptalert(1)/script"},
      {"tail\\", "tail"},
      {Sjis("ソ表"), Sjis("ソ表")},      // second bytes 0x5C are no backslashes
      {Sjis("ｱｲｳ"), Sjis("ｱｲｳ")},        // single-byte kana
      {"\x81\"x", "x"},                   // a lead byte with no character after it
      {"\x85\\x", "x"},                  // a pair that is no character
      {"ok\x81", "ok"},
  };
  ShowLogContext ctx = Context(100);
  for (const auto& [font, written] : fonts) {
    ctx.HtmlFont = font;
    ASSERT_TRUE(ShowLog(Log(1), ctx, view));
    const std::string page = ReadFileBytes(Page(0));
    EXPECT_NE(page.find("<!-- body{ font-family: \"" + written + "\";} --></style></head><body>\r\n"),
              std::string::npos)
        << ::testing::PrintToString(font);
  }
}

// A run killed while writing a page leaves its temporary file; the next
// run clears such files of ended processes before it writes.
TEST_F(PagesTest, TemporaryPagesOfAKilledRunAreCleared) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string ended = std::to_string(child);
  const std::string self = std::to_string(getpid());
  const std::pair<std::string, bool> files[] = {
      {"long0.html.tmp" + ended + "-0", true},
      {"long41.html.tmp" + ended + "-2", true},
      {"long0.html.tmp" + self + "-0", false},
      {"long.html.tmp" + ended + "-0", false},
      {"longx.html.tmp" + ended + "-0", false},
      {"long0.htm.tmp" + ended + "-0", false},
      {"short0.html.tmp" + ended + "-0", false},
      {"long0.html.tmp1f2e3d4c5b6a7980", false},
  };
  for (const auto& [name, _] : files) WriteFileBytes(out.path() + name, "x");
  // A refused log touches nothing.
  EXPECT_FALSE(ShowLog("Result: NG\r\n", Context(1), view));
  EXPECT_THROW(ShowLog("", Context(1), view), Error);
  for (const auto& [name, _] : files) EXPECT_TRUE(fs::exists(out.path() + name)) << name;
  ASSERT_TRUE(ShowLog(Log(1), Context(1), view));
  for (const auto& [name, goes] : files) EXPECT_EQ(fs::exists(out.path() + name), !goes) << name;
}

}  // namespace
}  // namespace hollowmere
