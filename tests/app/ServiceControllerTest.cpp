// The main window's dealings with the service, played through doubles and a
// bare socket server: the log download item, the command line, and the
// vote and agree links with the boxes their replies call for.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/FakeWindow.h"
#include "app/MainController.h"
#include "platform/IniFile.h"
#include "platform/PollMainLoop.h"
#include "support/FakeBaseware.h"
#include "support/FakeUi.h"
#include "support/RawHttpServer.h"
#include "support/ServiceFakes.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Error.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace hollowmere::testing;
using text::Sjis;

const TLocalTime kNow{{2004, 7, 15}, {12, 30, 45}};

std::string Log(const std::vector<std::string>& mids) {
  std::string log = "Result: OK\r\nVoyla log\r\nCount: " + std::to_string(mids.size()) + "\r\n";
  for (const std::string& mid : mids) {
    log += "20040715120000\t" + mid + "\tCh\t" + Sjis("さくら") + "\t3\t1\t2\t\\0\\s[0]" + Sjis("やあ") + "\\e\r\n";
  }
  return log;
}

// Boxes and beeps in the one order the user meets them.
class OrderedBoxes : public IMessageBoxes {
 public:
  void ShowMessage(const std::string& text) override { events.push_back("box:" + text); }
  bool AskYesNo(const std::string& text) override {
    events.push_back("ask:" + text);
    return false;
  }
  void Beep() override { events.push_back("beep"); }
  std::vector<std::string> events;
};

std::string Box(const char* utf8) { return "box:" + Sjis(utf8); }

class ServiceControllerTest : public ::testing::Test {
 protected:
  ServiceControllerTest() {
    for (const char* name : {"tagpat.txt", "metapat.txt"}) {
      fs::copy_file(SourceDir() + "/data/" + name, dir.file(name));
    }
    WriteFileBytes(dir.file("Hollowmere.ini"), "[General]\r\nSppDir=" + dir.path() + "\r\nLUID=L1\r\n");
    controller.FormCreate();
  }
  ~ServiceControllerTest() override { controller.FormDestroy(); }

  // The service: the log for GETs, `voteReply` for POSTs.
  RawHttpServer::Reply Serve(const std::string& request) {
    if (request.rfind("GET ", 0) == 0) return RawHttpServer::Respond("HTTP/1.1 200 OK", log);
    return RawHttpServer::Respond("HTTP/1.0 200 OK", voteReply);
  }
  std::string RequestLine(std::size_t i) const {
    const std::string r = server.Requests().at(i);
    return r.substr(0, r.find("\r\n"));
  }
  std::string Body(std::size_t i) const {
    const std::string r = server.Requests().at(i);
    return r.substr(r.find("\r\n\r\n") + 4);
  }
  // Serves the loop until every vote and agree handler has returned.
  void Settle() { ASSERT_TRUE(loop.ServeFor(10s, [&] { return controller.TransfersUnderWay() == 0; })); }

  std::string log = Log({"M1", "M2"});
  std::string voteReply = "Result: OK\r\n";
  RawHttpServer server{[this](const std::string& r) { return Serve(r); }};
  TempDir dir;
  OrderedBoxes boxes;
  FakeProgressWindows pluginWindows;
  TSppList plugins{true, pluginWindows, boxes};
  FakeMainWindow window;
  FakeHtmlView view;
  FakeShell shell;
  FakeSettingDialog settingDialog;
  FakeFontChooser fonts;
  FakeFileChooser files;
  TPollMainLoop loop;
  FakeBaseware baseware{loop};
  FakeLogDownDialog logDialog;
  FakeFetchProgressWindows fetchProgress;
  FixedClock clock{kNow};
  FixedDateFormats dateFormats;
  TServiceParts service{logDialog, fetchProgress, clock, dateFormats, server.HostPort(),
                        {2s, 2s, 1 << 20}};
  TMainController controller{dir.path(), plugins,
                             {window, view, boxes, shell, settingDialog, fonts, files, loop,
                              baseware.Parts(), service}};
};

TEST_F(ServiceControllerTest, LogDownloadFetchesShowsProgressAndWritesThePages) {
  log = Log({"M1", "M2", "M3"});
  logDialog.user = [](TLogConditions& c) {
    c.SetCount(2);
    c.SetUnitIndex(kUnitDays);
    return true;
  };
  controller.Guarded([&] { controller.LogShowMenuClick(); });
  EXPECT_EQ(boxes.events, std::vector<std::string>{});
  // The dialog opened on its start values, after the plugins were reloaded.
  ASSERT_EQ(logDialog.shown.size(), 1u);
  EXPECT_EQ(logDialog.shown[0].Mode(), TLogMode::Period);
  EXPECT_EQ(logDialog.shown[0].SinceTime(), kNow.Time);
  EXPECT_EQ(pluginWindows.events.front(), "create");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(RequestLine(0), "GET /fetchlog.cgi?recent=2880 HTTP/1.1");
  EXPECT_EQ(fetchProgress.events.front(), "show");
  EXPECT_EQ(fetchProgress.events.back(), "close");
  EXPECT_NE(std::find(fetchProgress.events.begin(), fetchProgress.events.end(),
                      "bytes:" + std::to_string(log.size())),
            fetchProgress.events.end());
  EXPECT_EQ(view.navigations, std::vector<std::string>{"file://" + dir.path() + "long0.html"});
  EXPECT_NE(ReadFileBytes(dir.file("long0.html")).find("http://vote.M3"), std::string::npos);
}

TEST_F(ServiceControllerTest, LogDownloadCancelledOrFailed) {
  // Cancel: nothing is sent and nothing shown.
  logDialog.user = [](TLogConditions&) { return false; };
  controller.Guarded([&] { controller.LogShowMenuClick(); });
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_TRUE(fetchProgress.events.empty());
  EXPECT_TRUE(view.navigations.empty());

  // A failed fetch: its text, then the empty log refused by the page writer.
  logDialog.user = [](TLogConditions&) { return true; };
  service.Host = "127.0.0.1:" + std::to_string(UnusedLocalPort());
  controller.Guarded([&] { controller.LogShowMenuClick(); });
  ASSERT_EQ(boxes.events.size(), 2u);
  EXPECT_EQ(boxes.events[0], "box:" + Sjis("サーバ ") + service.Host + Sjis(" に接続できません: Connection refused"));
  EXPECT_EQ(boxes.events[1], Box("ログが空です"));

  // Abandoned by the user: a failure like any other.
  boxes.events.clear();
  service.Host = server.HostPort();
  fetchProgress.abandonAtShow = true;
  controller.Guarded([&] { controller.LogShowMenuClick(); });
  EXPECT_EQ(boxes.events, (std::vector<std::string>{Box("転送を中止しました"), Box("ログが空です")}));
  EXPECT_TRUE(view.navigations.empty());
}

// A reply that is no log leaves the window as it was, but says why: in the
// status bar, or on standard error when nobody sees one.
TEST_F(ServiceControllerTest, AReplyThatIsNoLogSaysWhy) {
  const std::string named = Sjis("SSTP Voylaサーバが次のエラーを返しました: ");
  const std::string notLog = Sjis("サーバの応答はログではありません: ");
  std::string longMessage;
  for (int i = 0; i < 300; ++i) longMessage += Sjis("あ");
  struct Case {
    const char* name;
    std::string reply;
    std::string notice;
  };
  const std::vector<Case> cases = {
      {"maintenance", "Result: Err\r\nExtraMessage: " + Sjis("メンテナンス中です") + "\r\n",
       named + Sjis("メンテナンス中です")},
      {"an error without a message", "Result: Err\r\n", Sjis("SSTP Voylaサーバが何らかのエラーを返しました。")},
      {"an error page", "<html>maintenance</html>\r\n<body>", notLog + "<html>maintenance</html>"},
      {"a first line that is almost the log's", "Result: OK \r\nx\r\ny\r\n", notLog + "Result: OK "},
      {"a long message, cut at a character", "Result: Err\r\nExtraMessage: " + longMessage,
       named + longMessage.substr(0, 400) + Sjis("…")},
      {"a long first line", std::string(100000, 'x'), notLog + std::string(200, 'x') + Sjis("…")},
  };
  logDialog.user = [](TLogConditions&) { return true; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log = c.reply;
    window.status.clear();
    boxes.events.clear();
    controller.Guarded([&] { controller.LogShowMenuClick(); });
    EXPECT_EQ(window.status, c.notice);
    EXPECT_EQ(boxes.events, std::vector<std::string>{});
    EXPECT_TRUE(view.navigations.empty());

    window.status.clear();
    service.StatusUnseen = true;
    EXPECT_EQ(controller.ProcessCommandLine({"past", "60", "10", "noview"}).Result, TCommandLineResult::LogNotShown);
    service.StatusUnseen = false;
    EXPECT_EQ(boxes.events, std::vector<std::string>{"box:" + c.notice});
    EXPECT_EQ(window.status, "");
  }
}

TEST_F(ServiceControllerTest, CommandLineCases) {
  using F = TArgumentForm;
  const TCommandLineResult written = TCommandLineResult::PagesWritten;
  struct Case {
    std::vector<std::string> args;
    char separator;
    std::string request;  // "" when nothing may be fetched
    TCommandLineResult result;
    std::optional<TCommandLineRefusal> refusal;
  };
  const std::vector<Case> cases = {
      {{"past", "90", "10", "view"}, '/', "recent=90", written, {}},
      {{"past", "0", "10", "view"}, '/', "recent=1", written, {}},
      {{"past", "9000", "10", "view"}, '/', "recent=5000", written, {}},
      {{"past", "090", "-3", "view"}, '/', "recent=90", written, {}},
      {{"term", "2004/07/01-2004/07/03", "10", "view"}, '/',
       "year_lo=2004&month_lo=7&day_lo=1&year_hi=2004&month_hi=7&day_hi=3", written, {}},
      {{"start", "2004/07/15 11:00:15", "10", "view"}, '/', "recent=90", written, {}},
      {{"start", "2004/07/13  9:25", "10", "x"}, '/', "recent=3065", written, {}},
      {{"start", "2004/07/15", "10", "view"}, '/', "recent=750", written, {}},
      {{"PAST", "90", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{1, F::Kind}}},
      {{"past", "90", "10"}, '/', "", TCommandLineResult::BadParameters, {{0, F::FourArguments}}},
      {{"past", "90", "10", "view", "more"}, '/', "", TCommandLineResult::BadParameters, {{0, F::FourArguments}}},
      {{"past", "1.5", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::Minutes}}},
      // Counts are decimal: no hexadecimal, no blanks.
      {{"past", "$10", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::Minutes}}},
      {{"past", "0x10", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::Minutes}}},
      {{"past", " 90", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::Minutes}}},
      {{"past", "90", "ten", "view"}, '/', "", TCommandLineResult::BadParameters, {{3, F::PerPage}}},
      {{"past", "90", "$A", "view"}, '/', "", TCommandLineResult::BadParameters, {{3, F::PerPage}}},
      {{"past", "90", "10 ", "view"}, '/', "", TCommandLineResult::BadParameters, {{3, F::PerPage}}},
      {{"term", "2004/07/01", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::DateRange}}},
      {{"term", "2004/07/01-2004/13/03", "10", "view"}, '/', "", TCommandLineResult::BadParameters,
       {{2, F::DateRange}}},
      {{"term", "2004-07-01-2004-07-03", "10", "view"}, '-', "", TCommandLineResult::BadParameters,
       {{2, F::DateRange}}},
      {{"start", "2004/07/01 25:00", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::DateTime}}},
      {{"start", "yesterday", "10", "view"}, '/', "", TCommandLineResult::BadParameters, {{2, F::DateTime}}},
      {{"", "", "", ""}, '/', "", TCommandLineResult::BadParameters, {{1, F::Kind}}},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "[" + a + "]";
    SCOPED_TRACE(shown);
    const std::size_t before = server.Requests().size();
    boxes.events.clear();
    const FixedDateFormats formats(c.separator);
    TServiceParts parts{logDialog, fetchProgress, clock, formats, server.HostPort(), {}};
    TMainController run(dir.path(), plugins,
                        {window, view, boxes, shell, settingDialog, fonts, files, loop, baseware.Parts(), parts});
    const TCommandLineRun ran = run.ProcessCommandLine(c.args);
    EXPECT_EQ(ran.Result, c.result);
    EXPECT_EQ(ran.Refusal, c.refusal);
    if (c.request.empty()) {
      EXPECT_EQ(boxes.events, std::vector<std::string>{Box("パラメータが不正です")});
      EXPECT_EQ(server.Requests().size(), before);
    } else {
      EXPECT_EQ(boxes.events, std::vector<std::string>{});
      ASSERT_EQ(server.Requests().size(), before + 1);
      EXPECT_EQ(RequestLine(before), "GET /fetchlog.cgi?" + c.request + " HTTP/1.1");
    }
    EXPECT_EQ(window.closeRequests, 0);
  }
}

// A fetch that cannot even start throws out of the command line.
class ThrowingFetchProgress : public IFetchProgressWindows {
 public:
  std::unique_ptr<IFetchProgress> Create() override { throw Error("no progress window"); }
};

TEST_F(ServiceControllerTest, CommandLinePageSizeIsForThisRunOnlyAndNoviewEndsTheProgram) {
  std::vector<std::string> mids;
  for (int i = 0; i < 25; ++i) mids.push_back("M" + std::to_string(i));
  log = Log(mids);
  const int32_t saved = controller.Settings().MessagesPerPage;
  const TCommandLineRun run = controller.ProcessCommandLine({"past", "60", "10", "noview"});
  EXPECT_EQ(run.Result, TCommandLineResult::PagesWritten);
  EXPECT_TRUE(run.NoView);
  EXPECT_EQ(PagesWrittenText(run.Messages, run.MessagesPerPage, run.FirstPage),
            "25 messages on 3 pages, first page: file://" + dir.path() + "long0.html");
  EXPECT_EQ(view.navigations.back(), run.FirstPage);
  EXPECT_EQ(window.closeRequests, 1);
  EXPECT_TRUE(fs::exists(dir.file("long2.html")));
  EXPECT_FALSE(fs::exists(dir.file("long3.html")));
  EXPECT_NE(ReadFileBytes(dir.file("long2.html")).find("No.21<br>"), std::string::npos);
  EXPECT_EQ(controller.Settings().MessagesPerPage, saved);
  controller.FormDestroy();
  EXPECT_EQ(TIniFile(dir.file("Hollowmere.ini")).ReadInteger("General", "1PageCount", -1), saved);

  // A page size below 1 puts one message on each page.
  EXPECT_EQ(controller.ProcessCommandLine({"past", "60", "0", "view"}).Result, TCommandLineResult::PagesWritten);
  EXPECT_TRUE(fs::exists(dir.file("long24.html")));

  // A fetch that fails, a log that is refused: no pages, and the status says so.
  log = "Result: Err\r\n";
  EXPECT_EQ(controller.ProcessCommandLine({"past", "60", "10", "noview"}).Result, TCommandLineResult::LogNotShown);
  log = "Result: OK\r\nx\r\ny\r\nbroken line\r\n";
  EXPECT_EQ(controller.ProcessCommandLine({"past", "60", "10", "noview"}).Result, TCommandLineResult::LogNotShown);
  service.Host = "127.0.0.1:" + std::to_string(UnusedLocalPort());
  EXPECT_EQ(controller.ProcessCommandLine({"past", "60", "10", "noview"}).Result, TCommandLineResult::FetchFailed);
  EXPECT_EQ(controller.Settings().MessagesPerPage, saved);

  // A fetch that throws passes its error on, and the page size is still put back.
  ThrowingFetchProgress throwing;
  TServiceParts parts{logDialog, throwing, clock, dateFormats, server.HostPort(), {}};
  TMainController broken(dir.path(), plugins,
                         {window, view, boxes, shell, settingDialog, fonts, files, loop, baseware.Parts(), parts});
  const int32_t brokenSaved = broken.Settings().MessagesPerPage;
  EXPECT_THROW(broken.ProcessCommandLine({"past", "60", "7", "noview"}), Error);
  EXPECT_EQ(broken.Settings().MessagesPerPage, brokenSaved);

  EXPECT_EQ(ExitStatus(TCommandLineResult::PagesWritten), 0);
  EXPECT_EQ(ExitStatus(TCommandLineResult::FetchFailed), 1);
  EXPECT_EQ(ExitStatus(TCommandLineResult::LogNotShown), 1);
  EXPECT_EQ(ExitStatus(TCommandLineResult::BadParameters), 2);
}

TEST_F(ServiceControllerTest, VoteAndAgreeSendTheirBodiesAndSayWhatWasSent) {
  controller.Settings().Luid = Sjis("ルイド 1");
  EXPECT_FALSE(controller.BeforeNavigate("http://vote.a1/"));
  EXPECT_EQ(window.status, Sjis("投票しました:a1"));
  EXPECT_EQ(boxes.events, std::vector<std::string>{"beep"});
  EXPECT_FALSE(controller.BeforeNavigate("http://agree.b2"));
  EXPECT_EQ(window.status, Sjis("同意しました") + "b2");
  Settle();
  const std::string luid = "%83%8B%83C%83h%201";
  std::vector<std::string> bodies{Body(0), Body(1)};
  std::sort(bodies.begin(), bodies.end());
  EXPECT_EQ(bodies[0], "Command:%20voteMessage%0D%0AVoteType:%20Agree%0D%0ALUID:%20" + luid + "%0D%0AMID:%20b2%0D%0A");
  EXPECT_EQ(bodies[1], "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20" + luid + "%0D%0AMID:%20a1%0D%0A");
  for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(RequestLine(i), "POST /voyla2.cgi HTTP/1.0");
  EXPECT_EQ(boxes.events, (std::vector<std::string>{"beep", "beep"}));

  // Without a LUID nothing is sent: the refusal, no vote status (only the
  // view's loading ends), no beep.
  controller.Settings().Luid.clear();
  boxes.events.clear();
  window.status.clear();
  EXPECT_FALSE(controller.BeforeNavigate("http://vote.c3/"));
  EXPECT_EQ(boxes.events, std::vector<std::string>{Box("LUID設定しない人嫌いです")});
  EXPECT_EQ(window.status, Sjis("読み込み完了"));
  EXPECT_EQ(controller.SendVote("c3", "Vote"), Sjis("LUID設定しない人嫌いです"));
  EXPECT_EQ(controller.TransfersUnderWay(), 0u);
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(ServiceControllerTest, EveryReplyCaseShowsItsBoxesInOrder) {
  const std::string named = Sjis("SSTP Voylaサーバが次のエラーを返しました:\r\n");
  struct Case {
    std::string reply;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {"Result: OK\r\n", {}},
      {"", {}},
      {"Result: OK\r\nExtraTip: tip\r\n", {"box:tip"}},
      {"Result: Err\r\nExtraMessage: " + Sjis("投票済みです") + "\r\n", {"beep", "box:" + named + Sjis("投票済みです")}},
      {"Result: Err\r\n", {"beep", Box("SSTP Voylaサーバが何らかのエラーを返しました。")}},
      {"Result: Err\r\nExtraMessage: m\r\nExtraTip: t\r\n", {"beep", "box:" + named + "m", "box:t"}},
      {"Result: Err2\r\nExtraMessage: m\r\n", {}},
      {"Result: err\r\nExtraMessage: x\r\n", {}},
      {"Result: ERR\r\nExtraTip: t\r\n", {"box:t"}},
      {"Result :Err\r\nExtraMessage: m\r\n", {}},
      {"<html><body>Result: Err</body></html>", {}},
      // The first of repeated keys counts; spaces after the colon are dropped, others kept.
      {"ExtraTip: first\r\nResult: Err\r\nExtraMessage: m\r\nExtraTip: second\r\n",
       {"beep", "box:" + named + "m", "box:first"}},
      {"ExtraTip:   \r\nResult: Err\nExtraMessage:   two  spaces  \r", {"beep", "box:" + named + "two  spaces  "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    voteReply = c.reply;
    EXPECT_EQ(controller.SendVote("a1", "Vote"), "");
    EXPECT_EQ(controller.TransfersUnderWay(), 1u);
    Settle();
    EXPECT_EQ(boxes.events, c.events);
    boxes.events.clear();
  }
}

TEST_F(ServiceControllerTest, AFailedConnectionBeepsTwiceAndShowsTwoBoxes) {
  service.Host = "127.0.0.1:" + std::to_string(UnusedLocalPort());
  EXPECT_EQ(controller.SendVote("a1", "Agree"), "");
  Settle();
  const std::string failed = Sjis("SSTP Voylaサーバとの接続に失敗しました");
  EXPECT_EQ(boxes.events,
            (std::vector<std::string>{"beep", "beep", "box:" + failed,
                                      "box:" + failed + "\r\n" + Sjis("サーバ ") + service.Host +
                                          Sjis(" に接続できません: Connection refused")}));
}

TEST_F(ServiceControllerTest, ALinkGetsBackTheCapitalsOfTheMidThePageWasWrittenWith) {
  log = Log({"AbC1", "xYz9", "lower1", "Shared", "SHARED"});
  logDialog.user = [](TLogConditions&) { return true; };
  controller.Guarded([&] { controller.LogShowMenuClick(); });
  ASSERT_EQ(view.navigations.size(), 1u);
  const std::vector<std::pair<std::string, std::string>> clicks = {
      {"http://vote.abc1/", "AbC1"},   {"http://agree.xyz9/", "xYz9"},     {"http://vote.lower1/", "lower1"},
      {"http://vote.shared/", "Shared"}, {"http://vote.unknown/", "unknown"},
  };
  std::size_t expected = 1;
  for (const auto& [url, mid] : clicks) {
    EXPECT_FALSE(controller.BeforeNavigate(url));
    Settle();
    ASSERT_EQ(server.Requests().size(), ++expected);
    const std::string body = server.Requests().back().substr(server.Requests().back().find("\r\n\r\n") + 4);
    EXPECT_NE(body.find("MID:%20" + mid + "%0D%0A"), std::string::npos) << url << " sent " << body;
    EXPECT_EQ(window.status.substr(window.status.size() - mid.size()), mid);
  }
  // The exact id stays exact even when another differs only in case.
  EXPECT_FALSE(controller.BeforeNavigate("http://vote.SHARED/"));
  Settle();
  EXPECT_NE(server.Requests().back().find("MID:%20SHARED%0D%0A"), std::string::npos);
}

TEST_F(ServiceControllerTest, ProgramEndDropsVotesUnderWayWithoutABox) {
  RawHttpServer stalled([](const std::string&) { return RawHttpServer::Reply{"", true}; });
  service.Host = stalled.HostPort();
  service.Limits = {15s, 60s, 1000};
  EXPECT_EQ(controller.SendVote("a1", "Vote"), "");
  EXPECT_EQ(controller.SendVote("a2", "Agree"), "");
  ASSERT_TRUE(stalled.WaitForRequests(2, 10s));
  EXPECT_EQ(controller.TransfersUnderWay(), 2u);
  const auto start = std::chrono::steady_clock::now();
  controller.FormDestroy();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(controller.TransfersUnderWay(), 0u);
  EXPECT_TRUE(boxes.events.empty());
}

}  // namespace
}  // namespace hollowmere
