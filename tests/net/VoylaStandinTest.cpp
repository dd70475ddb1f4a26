// The Voyla stand-in: its log queries with the sample moved to "now", its
// replies to good and bad requests, vote counting, and the program itself
// over HTTP with the worker's own requests recorded byte for byte.
#include <gtest/gtest.h>

#include <fstream>

#include "VoylaService.h"
#include "log/HeadValue.h"
#include "log/MessageItem.h"
#include "net/HttpThread.h"
#include "net/VoteRequest.h"
#include "platform/PollMainLoop.h"
#include "support/StandinProcess.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using standin::TReply;
using standin::TVoylaService;
using text::Sjis;

const TLocalTime kNow{{2004, 7, 15}, {12, 0, 0}};

// Four messages, the newest an hour after the first and a day and a second
// after the oldest; moved so that it is kNow.
std::string SmallLog() {
  return "Result: OK\r\nx\r\ny\r\n"
         "20040101100000\tAbC1\tCh\tG1\t5\t\t7\t\\0one\\e\r\n"
         "20040101103000\tm2\tCh\tG2\t5\t1\t\t\\0two\\e\r\n"
         "20031231105959\tm0\t\tG0\t\t\t\tzero\r\n"
         "20040101110000\tm3\tCh\t" + Sjis("さくら") + "\t5\t9\t9\t\\0" + Sjis("ソ表") + "\\e\r\n";
}

std::vector<std::string> Mids(const std::string& log) {
  std::vector<std::string> mids;
  const auto messages = ParseLog(log);
  for (const TMessageItem& m : messages.value()) mids.push_back(m.HeaderValue("MID"));
  return mids;
}

std::string VoteBody(const std::string& mid, const std::string& type, const std::string& luid) {
  return PercentEncode(text::JoinCrlf(VoteCommandLines(mid, type, luid)));
}

TEST(VoylaStandinTest, LogQueriesAnswerWithTheMovedMessagesInTheServiceFormat) {
  TVoylaService service(SmallLog(), kNow);
  EXPECT_EQ(service.MessageCount(), 4u);
  EXPECT_EQ(service.Newest(), kNow);
  struct Case {
    std::string query;
    std::vector<std::string> mids;
  };
  const std::vector<Case> cases = {
      {"recent=0", {"m3"}},
      {"recent=29", {"m3"}},
      {"recent=30", {"m2", "m3"}},
      {"recent=60", {"AbC1", "m2", "m3"}},
      {"recent=1440", {"AbC1", "m2", "m3"}},
      {"recent=1441", {"AbC1", "m2", "m3", "m0"}},
      {"recent=5000", {"AbC1", "m2", "m3", "m0"}},
      {"year_lo=2004&month_lo=7&day_lo=15&year_hi=2004&month_hi=7&day_hi=15", {"AbC1", "m2", "m3"}},
      {"year_lo=2004&month_lo=7&day_lo=14&year_hi=2004&month_hi=7&day_hi=14", {"m0"}},
      {"year_lo=2004&month_lo=07&day_lo=01&year_hi=2004&month_hi=7&day_hi=31", {"AbC1", "m2", "m0", "m3"}},
      {"year_lo=2004&month_lo=7&day_lo=16&year_hi=2004&month_hi=7&day_hi=1", {}},
      {"day_hi=15&month_hi=7&year_hi=2004&day_lo=15&month_lo=7&year_lo=2004", {"AbC1", "m2", "m3"}},
  };
  for (const Case& c : cases) {
    const TReply r = service.Handle("GET", "/fetchlog.cgi?" + c.query, "");
    EXPECT_EQ(r.Status, 200);
    std::vector<std::string> mids = Mids(r.Body);
    std::vector<std::string> expected = c.mids;
    std::sort(mids.begin(), mids.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(mids, expected) << c.query;
  }
  const TReply one = service.Handle("GET", "/fetchlog.cgi?recent=0", "");
  EXPECT_EQ(one.Body, "Result: OK\r\nVoyla log 2004/07/15 - 2004/07/15\r\nCount: 1\r\n20040715120000\tm3\tCh\t" +
                          Sjis("さくら") + "\t5\t9\t9\t\\0" + Sjis("ソ表") + "\\e\r\n");
  // The sample log: all 320 messages in the last day, in the log's order.
  TVoylaService sample(hollowmere::testing::ReadFileBytes(hollowmere::testing::SourceDir() + "/data/log.txt"), kNow);
  const std::vector<std::string> all = Mids(sample.Handle("GET", "/fetchlog.cgi?recent=1440", "").Body);
  ASSERT_EQ(all.size(), 320u);
  EXPECT_EQ(all.front(), "adbe2d69");
  EXPECT_EQ(all.back(), "abb95a09");
}

TEST(VoylaStandinTest, RequestsItCannotAnswerGetAnError) {
  TVoylaService service(SmallLog(), kNow);
  const std::vector<std::pair<std::string, std::string>> gets = {
      {"/fetchlog.cgi?recent=abc", "Result: Err"},
      {"/fetchlog.cgi?recent=-5", "Result: Err"},
      {"/fetchlog.cgi?recent=", "Result: Err"},
      {"/fetchlog.cgi?recent=1234567890", "Result: Err"},
      {"/fetchlog.cgi", "Result: Err"},
      {"/fetchlog.cgi?year_lo=2004&month_lo=7&day_lo=1&year_hi=2004&month_hi=7", "Result: Err"},
      {"/fetchlog.cgi?year_lo=2004&month_lo=13&day_lo=1&year_hi=2004&month_hi=7&day_hi=1", "Result: Err"},
      {"/fetchlog.cgi?year_lo=2004&month_lo=2&day_lo=30&year_hi=2004&month_hi=7&day_hi=1", "Result: Err"},
  };
  for (const auto& [target, first] : gets) {
    const TReply r = service.Handle("GET", target, "");
    EXPECT_EQ(r.Body.substr(0, r.Body.find("\r\n")), first) << target;
    EXPECT_NE(THeadValue(r.Body).ValueOf("ExtraMessage"), "") << target;
  }
  EXPECT_EQ(service.Handle("GET", "/other.cgi", "").Status, 404);
  EXPECT_EQ(service.Handle("POST", "/fetchlog.cgi?recent=1", "x").Status, 405);
  EXPECT_EQ(service.Handle("GET", "/voyla2.cgi", "").Status, 405);
}

TEST(VoylaStandinTest, VotesAndAgreesAreCountedOncePerLuidAndShowInLaterFetches) {
  TVoylaService service(SmallLog(), kNow);
  const auto post = [&](const std::string& body) {
    const THeadValue reply(service.Handle("POST", "/voyla2.cgi", body).Body);
    return reply.ValueOf("Result") + (reply.ValueOf("ExtraMessage").empty() ? "" : "+message");
  };
  struct Case {
    std::string body;
    std::string result;
  };
  const std::vector<Case> cases = {
      {VoteBody("AbC1", "Vote", "L1"), "OK"},
      {VoteBody("AbC1", "Vote", "L2"), "OK"},
      {VoteBody("AbC1", "Vote", "L1"), "Err+message"},   // the same vote again
      {VoteBody("AbC1", "Agree", "L1"), "OK"},           // another kind
      {VoteBody("abc1", "Vote", "L3"), "Err+message"},   // MIDs keep their case
      {VoteBody("zz", "Vote", "L1"), "Err+message"},
      {VoteBody("", "Vote", "L1"), "Err+message"},
      {VoteBody("m2", "Vote", ""), "Err+message"},
      {VoteBody("m2", "Like", "L1"), "Err+message"},
      {PercentEncode("Command: other\r\nVoteType: Vote\r\nLUID: L\r\nMID: m2\r\n"), "Err+message"},
      {PercentEncode("VoteType: Vote\r\nLUID: L\r\nMID: m2\r\n"), "Err+message"},
      {"", "Err+message"},
      {VoteBody("m3", "Agree", Sjis("ルイド")), "OK"},
      {VoteBody("m2", "Agree", "L1"), "OK"},
  };
  for (const Case& c : cases) EXPECT_EQ(post(c.body), c.result) << text::Cp932ToUtf8Lossy(c.body);

  std::map<std::string, std::pair<std::string, std::string>> counts;
  const auto messages = ParseLog(service.Handle("GET", "/fetchlog.cgi?recent=5000", "").Body);
  for (const TMessageItem& m : messages.value()) {
    counts[m.HeaderValue("MID")] = {m.HeaderValue("Vote"), m.HeaderValue("Agree")};
  }
  EXPECT_EQ(counts["AbC1"], (std::pair<std::string, std::string>{"2", "8"}));
  EXPECT_EQ(counts["m2"], (std::pair<std::string, std::string>{"1", "1"}));
  EXPECT_EQ(counts["m3"], (std::pair<std::string, std::string>{"9", "10"}));
  EXPECT_EQ(counts["m0"], (std::pair<std::string, std::string>{"", ""}));
}

TEST(VoylaStandinTest, NotALogIsRefused) {
  EXPECT_THROW(TVoylaService("Result: Err\r\n", kNow), standin::EStandinLog);
  EXPECT_THROW(TVoylaService("Result: OK\r\nx\r\ny\r\nshort\tline\r\n", kNow), standin::EStandinLog);
  EXPECT_THROW(TVoylaService("Result: OK\r\nx\r\ny\r\n2004010110000\ta\tb\tc\td\te\tf\tg\r\n", kNow),
               standin::EStandinLog);
  EXPECT_EQ(TVoylaService("Result: OK\r\nx\r\ny\r\n", kNow).MessageCount(), 0u);
  EXPECT_EQ(standin::PercentDecode("a%20b%2x%%41+%e3"), "a b%2x%A+\xe3");
}

TEST(VoylaStandinTest, TheProgramAnswersOverHttpPrintsEachRequestAndRecordsItsBytes) {
  hollowmere::testing::TempDir dir;
  hollowmere::testing::WriteFileBytes(dir.file("log.txt"), SmallLog());
  hollowmere::testing::StandinProcess standin(dir.file("log.txt"), {"--record", dir.file("wire.bin")});
  TPollMainLoop loop;
  const auto fetch = [&](const std::string& path, const std::string& body) {
    THTTPDownloadThread worker(loop, standin.HostPort(), path, body);
    worker.Start();
    EXPECT_TRUE(loop.ServeFor(20s, [&] { return worker.Finished(); }));
    EXPECT_EQ(worker.ErrorMessage, "");
    return worker.ResponseText;
  };
  const std::string address = "http://" + standin.HostPort();
  EXPECT_EQ(Mids(fetch(address + "/fetchlog.cgi?recent=5000", "")).size(), 4u);
  const std::string vote = VoteBody("m2", "Vote", "L1");
  EXPECT_EQ(fetch("/voyla2.cgi", vote), "Result: OK\r\n");
  const std::string again = fetch(address + "/fetchlog.cgi?recent=30", "");
  EXPECT_NE(again.find("\tm2\tCh\tG2\t5\t2\t\t"), std::string::npos);

  // Its two opening lines and one line per request: the last may come a
  // moment after the reply it follows.
  ASSERT_TRUE(standin.WaitForLines(5, 10s));
  const std::vector<std::string> lines = standin.Lines();
  EXPECT_EQ(lines[1].rfind("voyla-standin: 4 messages from ", 0), 0u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
            (std::vector<std::string>{"GET /fetchlog.cgi?recent=5000 0",
                                      "POST /voyla2.cgi " + std::to_string(vote.size()),
                                      "GET /fetchlog.cgi?recent=30 0"}));
  const std::string head = "Host: " + standin.HostPort() +
                           "\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\nAccept: text/html, */*\r\n";
  EXPECT_EQ(hollowmere::testing::ReadFileBytes(dir.file("wire.bin")),
            "GET /fetchlog.cgi?recent=5000 HTTP/1.1\r\n" + head + "\r\n" +
                "POST /voyla2.cgi HTTP/1.0\r\n" + head + "Connection: keep-alive\r\nContent-Length: " +
                std::to_string(vote.size()) + "\r\n\r\n" + vote +
                "GET /fetchlog.cgi?recent=30 HTTP/1.1\r\n" + head + "\r\n");
}

}  // namespace
}  // namespace hollowmere
