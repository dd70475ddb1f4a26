// The Voyla stand-in: its log queries with the sample moved to "now", its
// replies to good and bad requests, vote counting, and the program itself
// over HTTP with the worker's own requests recorded byte for byte, its
// server's limits against hostile clients, and a long run that stays flat.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "HttpServer.h"

#include "VoylaService.h"
#include "log/HeadValue.h"
#include "log/MessageItem.h"
#include "net/HttpThread.h"
#include "net/VoteRequest.h"
#include "platform/PollMainLoop.h"
#include "platform/UniqueFd.h"
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
    std::vector<std::string> mids = Mids(r.Text());
    std::vector<std::string> expected = c.mids;
    std::sort(mids.begin(), mids.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(mids, expected) << c.query;
  }
  const TReply one = service.Handle("GET", "/fetchlog.cgi?recent=0", "");
  EXPECT_EQ(one.Text(), "Result: OK\r\nVoyla log 2004/07/15 - 2004/07/15\r\nCount: 1\r\n20040715120000\tm3\tCh\t" +
                          Sjis("さくら") + "\t5\t9\t9\t\\0" + Sjis("ソ表") + "\\e\r\n");
  // The sample log: all 320 messages in the last day, in the log's order.
  TVoylaService sample(hollowmere::testing::ReadFileBytes(hollowmere::testing::SourceDir() + "/data/log.txt"), kNow);
  const std::vector<std::string> all = Mids(sample.Handle("GET", "/fetchlog.cgi?recent=1440", "").Text());
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
    EXPECT_EQ(r.Text().substr(0, r.Text().find("\r\n")), first) << target;
    EXPECT_NE(THeadValue(r.Text()).ValueOf("ExtraMessage"), "") << target;
  }
  EXPECT_EQ(service.Handle("GET", "/other.cgi", "").Status, 404);
  EXPECT_EQ(service.Handle("POST", "/fetchlog.cgi?recent=1", "x").Status, 405);
  EXPECT_EQ(service.Handle("GET", "/voyla2.cgi", "").Status, 405);
}

TEST(VoylaStandinTest, VotesAndAgreesAreCountedOncePerLuidAndShowInLaterFetches) {
  TVoylaService service(SmallLog(), kNow);
  // The period fetched before the votes too: a kept reply must not outlive them.
  ASSERT_EQ(Mids(service.Handle("GET", "/fetchlog.cgi?recent=5000", "").Text()).size(), 4u);
  const auto post = [&](const std::string& body) {
    const THeadValue reply(service.Handle("POST", "/voyla2.cgi", body).Text());
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
      // What a vote leaves behind does not grow with its request.
      {VoteBody("m2", "Vote", std::string(TVoylaService::kMaxLuidBytes, 'L')), "OK"},
      {VoteBody("m2", "Agree", std::string(TVoylaService::kMaxLuidBytes + 1, 'L')), "Err+message"},
  };
  for (const Case& c : cases) EXPECT_EQ(post(c.body), c.result) << text::Cp932ToUtf8Lossy(c.body);

  std::map<std::string, std::pair<std::string, std::string>> counts;
  const auto messages = ParseLog(service.Handle("GET", "/fetchlog.cgi?recent=5000", "").Text());
  for (const TMessageItem& m : messages.value()) {
    counts[m.HeaderValue("MID")] = {m.HeaderValue("Vote"), m.HeaderValue("Agree")};
  }
  EXPECT_EQ(counts["AbC1"], (std::pair<std::string, std::string>{"2", "8"}));
  EXPECT_EQ(counts["m2"], (std::pair<std::string, std::string>{"2", "1"}));
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

constexpr std::size_t kBig = std::size_t{16} << 20;

// A client socket on the loopback, unconnected when the port is not served;
// with `receiveBuffer`, the kernel holds at most about that much for it.
TUniqueFd Dial(int port, int receiveBuffer = 0) {
  TUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (receiveBuffer > 0) ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

bool SendText(const TUniqueFd& fd, const std::string& bytes) {
  return ::send(fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Everything the server sends until it closes; `closed` tells whether it
// did within `limit`.
std::string ReadToEnd(const TUniqueFd& fd, std::chrono::milliseconds limit, bool* closed = nullptr) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd.Get(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[65536];
    const ssize_t n = ::recv(fd.Get(), buf, sizeof buf, 0);
    if (n <= 0) {
      if (closed != nullptr) *closed = true;
      return got;
    }
    got.append(buf, static_cast<std::size_t>(n));
  }
  if (closed != nullptr) *closed = false;
  return got;
}

// The server in this process with limits short enough to watch them act;
// it answers "METHOD TARGET BODY-LENGTH", or for "/big" more than the
// loopback's socket buffers hold.
class StandinServerTest : public ::testing::Test {
 protected:
  static standin::THttpLimits Limits() {
    standin::THttpLimits l;
    l.MaxHeaderBytes = 1024;
    l.MaxBodyBytes = 4096;
    l.RequestTime = 300ms;
    l.WriteTime = 300ms;
    l.IdleTime = 300ms;
    l.MaxConnections = 8;
    l.Workers = 2;
    return l;
  }
  StandinServerTest()
      : server("127.0.0.1", 0,
               [](const standin::THttpRequest& r) {
                 const std::string text = r.Target == "/big" ? std::string(kBig, 'b')
                                                             : r.Method + " " + r.Target + " " + std::to_string(r.Body.size());
                 return standin::THttpReply{200, std::make_shared<const std::string>(text)};
               },
               nullptr, Limits()),
        runner([this] { server.Run(); }) {}
  ~StandinServerTest() override {
    server.Stop();
    runner.join();
  }
  standin::THttpServer server;
  std::thread runner;
};

TEST_F(StandinServerTest, RequestsThatBreakALimitAreAnsweredOrDroppedAndTheConnectionEnds) {
  const struct {
    const char* what;
    std::string bytes;
    std::string reply;  // how the answer begins; empty: closed without one
  } cases[] = {
      {"a body over the limit", "POST /v HTTP/1.1\r\nContent-Length: 4097\r\n\r\n", "HTTP/1.1 413 "},
      {"endless headers", "GET / HTTP/1.1\r\nX-Long: " + std::string(2000, 'a'), "HTTP/1.1 431 "},
      {"no version", "GET /\r\n\r\n", "HTTP/1.1 400 "},
      {"another version", "GET / HTTP/2.0\r\n\r\n", "HTTP/1.1 400 "},
      {"a length that is no number", "POST /v HTTP/1.1\r\nContent-Length: 1e3\r\n\r\n", "HTTP/1.1 400 "},
      {"two lengths", "POST /v HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx", "HTTP/1.1 400 "},
      {"a chunked body", "POST /v HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "HTTP/1.1 501 "},
      {"half a request, then silence", "GET /fetchlog.cgi HTTP/1.1\r\nHo", ""},
      {"half a body, then silence", "POST /v HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", ""},
      {"nothing at all", "", ""},
  };
  for (const auto& c : cases) {
    const TUniqueFd fd = Dial(server.Port());
    ASSERT_TRUE(fd.IsOpen()) << c.what;
    ASSERT_TRUE(c.bytes.empty() || SendText(fd, c.bytes)) << c.what;
    bool closed = false;
    const std::string got = ReadToEnd(fd, 5s, &closed);
    EXPECT_TRUE(closed) << c.what;
    EXPECT_EQ(got.substr(0, c.reply.size()), c.reply) << c.what;
    if (c.reply.empty()) {
      EXPECT_EQ(got, "") << c.what;
    }
  }
}

TEST_F(StandinServerTest, KeptAliveAndPipelinedRequestsAreAnsweredInOrder) {
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::string> bodies;
  } cases[] = {
      {"HTTP/1.0 ends after its reply", "GET /a HTTP/1.0\r\n\r\n", {"GET /a 0"}},
      {"two in one write, the second closing",
       "GET /a HTTP/1.1\r\n\r\nPOST /b HTTP/1.1\r\nContent-Length: 4096\r\nConnection: close\r\n\r\n" +
           std::string(4096, 'x'),
       {"GET /a 0", "POST /b 4096"}},
      {"HTTP/1.0 kept alive, then closing",
       "POST /c HTTP/1.0\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nhiGET /d HTTP/1.0\r\n\r\n",
       {"POST /c 2", "GET /d 0"}},
  };
  for (const auto& c : cases) {
    const TUniqueFd fd = Dial(server.Port());
    ASSERT_TRUE(SendText(fd, c.bytes)) << c.what;
    bool closed = false;
    const std::string got = ReadToEnd(fd, 5s, &closed);
    EXPECT_TRUE(closed) << c.what;
    std::string expected;
    for (std::size_t i = 0; i < c.bodies.size(); ++i) {
      const bool last = i + 1 == c.bodies.size();
      expected += "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Length: " +
                  std::to_string(c.bodies[i].size()) + (last ? "\r\nConnection: close" : "") + "\r\n\r\n" +
                  c.bodies[i];
    }
    EXPECT_EQ(got, expected) << c.what;
  }
}

TEST_F(StandinServerTest, IdleSlowAndNonReadingClientsHoldUpNobody) {
  // More idle sockets than the server keeps, slow senders that never finish,
  // and a client that never reads its large reply.
  std::vector<TUniqueFd> crowd;
  for (int i = 0; i < 24; ++i) crowd.push_back(Dial(server.Port()));
  for (int i = 0; i < 4; ++i) {
    crowd.push_back(Dial(server.Port()));
    SendText(crowd.back(), "GET /slow HTTP/1.1\r\n");
  }
  const TUniqueFd deaf = Dial(server.Port(), 4096);
  ASSERT_TRUE(SendText(deaf, "GET /big HTTP/1.1\r\n\r\n"));
  for (int round = 0; round < 3; ++round) {
    for (int i = 24; i < 28; ++i) SendText(crowd[static_cast<std::size_t>(i)], "X: y\r\n");  // a header now and then
    const auto start = std::chrono::steady_clock::now();
    const TUniqueFd fd = Dial(server.Port());
    ASSERT_TRUE(SendText(fd, "GET /now HTTP/1.0\r\n\r\n")) << round;
    const std::string got = ReadToEnd(fd, 5s);
    EXPECT_NE(got.find("\r\n\r\nGET /now 0"), std::string::npos) << round;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << round;
    std::this_thread::sleep_for(150ms);
  }
  // The slow senders ran out of time, and the reply nobody read was given up.
  for (int i = 24; i < 28; ++i) {
    bool closed = false;
    EXPECT_EQ(ReadToEnd(crowd[static_cast<std::size_t>(i)], 2s, &closed), "") << i;
    EXPECT_TRUE(closed) << i;
  }
  // Well past the write limit, whenever the reply started.
  std::this_thread::sleep_for(1s);
  bool closed = false;
  const std::string big = ReadToEnd(deaf, 5s, &closed);
  EXPECT_TRUE(closed);
  EXPECT_LT(big.size(), kBig);
}

// VmRSS of a process, in kB.
long ResidentKb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// Short requests one after another, each on its own connection, with every
// request recorded: each is answered and the stand-in's memory stays flat.
// HOLLOWMERE_SOAK_REQUESTS sets the count (the default keeps the suite
// quick under AddressSanitizer too).
TEST(VoylaStandinTest, ALongRunOfShortRecordedRequestsIsAnsweredInFlatMemory) {
  const char* wanted = std::getenv("HOLLOWMERE_SOAK_REQUESTS");
  const int count = wanted != nullptr ? std::atoi(wanted) : 5000;
  // The sanitizer keeps freed memory aside for a while; a small quarantine
  // keeps that out of the figures.
  const char* asan = std::getenv("ASAN_OPTIONS");
  ::setenv("ASAN_OPTIONS", (std::string(asan != nullptr ? asan : "") + ":quarantine_size_mb=4").c_str(), 1);
  hollowmere::testing::TempDir dir;
  hollowmere::testing::WriteFileBytes(dir.file("log.txt"), SmallLog());
  hollowmere::testing::StandinProcess standin(dir.file("log.txt"), {"--record", dir.file("wire.bin")});
  const std::string request = "GET /fetchlog.cgi?recent=0 HTTP/1.0\r\n\r\n";
  const int warm = std::min(count / 5, 1000);
  long warmKb = 0;
  int answered = 0;
  for (int i = 0; i < count; ++i) {
    if (i == warm) warmKb = ResidentKb(standin.Pid());
    const TUniqueFd fd = Dial(standin.Port());
    if (!SendText(fd, request)) continue;
    const std::string got = ReadToEnd(fd, 10s);
    if (got.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 && got.find("\tm3\t") != std::string::npos) ++answered;
    // Reset rather than closed, so a long run leaves no sockets waiting out their time.
    const linger reset{1, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  const long endKb = ResidentKb(standin.Pid());
  EXPECT_EQ(answered, count);
  EXPECT_GT(warmKb, 0);
  EXPECT_LT(endKb - warmKb, 8 * 1024) << "from " << warmKb << " kB to " << endKb << " kB";
  EXPECT_EQ(hollowmere::testing::ReadFileBytes(dir.file("wire.bin")).size(), request.size() * static_cast<std::size_t>(count));
  std::printf("%d requests answered; the stand-in went from %ld kB to %ld kB\n", answered, warmKb, endKb);
}

}  // namespace
}  // namespace hollowmere
