// The HTTP worker against a bare socket server: the requests' exact bytes,
// the reply kept byte for byte, every failure ending in exactly one handler
// with a readable text, abandoning, and workers that overlap.
#include "net/HttpThread.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include "platform/PollMainLoop.h"
#include "support/RawHttpServer.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using testing::RawHttpServer;
using text::Sjis;

// What one worker's handlers did.
struct Outcome {
  int completions = 0;
  int errors = 0;
  std::string response;
  std::string error;
  EHttpError::Kind kind = EHttpError::Kind::Transport;
  bool onMainThread = true;
};

class HttpThreadTest : public ::testing::Test {
 protected:
  std::unique_ptr<THTTPDownloadThread> Make(const std::string& host, const std::string& path,
                                            const std::string& body, Outcome& out,
                                            THttpLimits limits = {}) {
    auto w = std::make_unique<THTTPDownloadThread>(loop, host, path, body, limits);
    w->OnComplete = [this, &out](THTTPDownloadThread& t) {
      ++out.completions;
      out.response = t.ResponseText;
      out.onMainThread = out.onMainThread && loop.IsMainThread();
    };
    w->OnError = [this, &out](THTTPDownloadThread& t) {
      ++out.errors;
      out.error = t.ErrorMessage;
      out.kind = t.ErrorKind();
      out.onMainThread = out.onMainThread && loop.IsMainThread();
    };
    return w;
  }
  // Runs one transfer to its end.
  Outcome Run(const std::string& host, const std::string& path, const std::string& body = "",
              THttpLimits limits = {}) {
    Outcome out;
    auto w = Make(host, path, body, out, limits);
    w->Start();
    EXPECT_TRUE(loop.ServeFor(20s, [&] { return w->Finished(); }));
    return out;
  }

  TPollMainLoop loop;
};

TEST_F(HttpThreadTest, RequestsGoOnTheWireExactlyAndTheReplyIsKeptByteForByte) {
  const std::string reply("Result: OK\r\n\x83\x5C\0end", 17);
  RawHttpServer server([&](const std::string&) {
    return RawHttpServer::Respond("HTTP/1.1 200 OK", reply);
  });
  // Proxy variables must not reroute the service's requests.
  const std::string proxy = "http://127.0.0.1:" + std::to_string(testing::UnusedLocalPort());
  setenv("http_proxy", proxy.c_str(), 1);
  setenv("HTTP_PROXY", proxy.c_str(), 1);

  const std::string host = server.HostPort();
  const Outcome get = Run(host, "http://" + host + "/fetchlog.cgi?recent=60");
  const std::string body = "Command:%20voteMessage%0D%0AMID:%20a1%0D%0A";
  const Outcome post = Run(host, "/voyla2.cgi", body);
  unsetenv("http_proxy");
  unsetenv("HTTP_PROXY");

  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[0],
            "GET /fetchlog.cgi?recent=60 HTTP/1.1\r\nHost: " + host +
                "\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\nAccept: text/html, */*\r\n\r\n");
  EXPECT_EQ(server.Requests()[1],
            "POST /voyla2.cgi HTTP/1.0\r\nHost: " + host +
                "\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\nAccept: text/html, */*\r\n"
                "Connection: keep-alive\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n\r\n" + body);
  for (const Outcome& o : {get, post}) {
    EXPECT_EQ(o.completions, 1);
    EXPECT_EQ(o.errors, 0);
    EXPECT_EQ(o.response, reply);
    EXPECT_TRUE(o.onMainThread);
  }
}

// Every way a server can fail or turn hostile, at small limits unless the
// case is about the real ones: each transfer ends in exactly one handler,
// the error handler, with a one-line CP932 text a user can read, and the
// next transfer to the same server completes.
TEST_F(HttpThreadTest, EveryFailureEndsInTheErrorHandlerWithAReadableText) {
  using K = EHttpError::Kind;
  const THttpLimits real;
  ASSERT_EQ(real.MaxBodyBytes, uint64_t{256} << 20);
  const THttpLimits quick{300ms, 300ms, 1000, 64};
  // `total` bytes of "x" made as they are sent, `piece` bytes every `gap`.
  const auto stream = [](std::size_t total, std::size_t piece, std::chrono::milliseconds gap) {
    return [total, piece, gap, sent = std::size_t{0}]() mutable {
      if (sent >= total) return std::string();
      std::this_thread::sleep_for(gap);
      const std::size_t n = std::min(piece, total - sent);
      sent += n;
      return std::string(n, 'x');
    };
  };
  const std::string overCap(1001, 'x');
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string tooLarge = Sjis("サーバの応答が大きすぎます (1000 バイトを超えました)");
  // "Result: OK\r\n" compressed: what a server sends that encodes unasked.
  const std::string gzipped(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x0b\x4a\x2d\x2e\xcd\x29\xb1\x52\xf0\xf7\xe6\xe5\x02\x00"
      "\x9d\x77\xdc\x3c\x0c\x00\x00\x00",
      32);
  const std::string gzipChunk = "20\r\n" + gzipped + "\r\n0\r\n\r\n";
  const std::string unasked = Sjis("サーバ %h との通信に失敗しました: 頼んでいない符号化で送られた応答です (");
  struct Case {
    const char* name;
    std::optional<RawHttpServer::Reply> reply;  // none: nobody listens
    K kind;
    // Exact, "%h" standing for host:port and "%n" for a number; empty: the
    // transport failure's own text after our prefix.
    std::string text;
    THttpLimits limits;
  };
  const std::vector<Case> cases = {
      {"refused", std::nullopt, K::ConnectFailed, Sjis("サーバ %h に接続できません: Connection refused"), quick},
      {"302", RawHttpServer::Respond("HTTP/1.1 302 Found", "", "Location: http://elsewhere/\r\n"),
       K::Status, "HTTP/1.1 302 Found", quick},
      {"404", RawHttpServer::Respond("HTTP/1.1 404 Not Found", "gone"), K::Status,
       "HTTP/1.1 404 Not Found", quick},
      {"500 with a body", RawHttpServer::Respond("HTTP/1.0 500 Internal  Error", "<html>oops</html>"),
       K::Status, "HTTP/1.0 500 Internal  Error", quick},
      {"sends nothing at all", RawHttpServer::Reply{"", true}, K::Stalled,
       Sjis("サーバ %h から 0.3 秒間データが届きません"), quick},
      {"stalls after the headers",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", true}, K::Stalled,
       Sjis("サーバ %h からの転送が遅すぎます (0.3 秒間に 43 バイト)"), quick},
      {"trickles a byte at a time",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", false, stream(1000, 1, 20ms)},
       K::Stalled, Sjis("サーバ %h からの転送が遅すぎます (0.3 秒間に %n バイト)"), quick},
      {"one byte over the cap by its length", RawHttpServer::Respond("HTTP/1.1 200 OK", overCap),
       K::TooLarge, tooLarge, quick},
      {"one byte over the cap until it closes", RawHttpServer::Reply{"HTTP/1.0 200 OK\r\n\r\n" + overCap},
       K::TooLarge, tooLarge, quick},
      {"one byte over the real cap of 256 MB",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 268435457\r\n\r\nxyz"}, K::TooLarge,
       Sjis("サーバの応答が大きすぎます (268435456 バイトを超えました)"), real},
      {"endless headers",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\n" + std::string(40, 'X') + ": " + overCap + "\r\n\r\n"},
       K::TooLarge, tooLarge, quick},
      {"a header line of 1 MB",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nX-Long: " + std::string(1 << 20, 'h') +
                            "\r\nContent-Length: 2\r\n\r\nok"},
       K::Transport, Sjis("サーバ %h との通信に失敗しました: 応答のヘッダ行が長すぎるか、メモリが足りません"), real},
      {"closes in the middle of the body",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"}, K::Transport, "", quick},
      {"closes in the middle of a chunk", RawHttpServer::Reply{chunked + "10\r\nabc"}, K::Transport, "",
       quick},
      {"a chunk size that is no number", RawHttpServer::Reply{chunked + "ZZ\r\nabc\r\n0\r\n\r\n"},
       K::Transport, "", quick},
      {"a chunk size beyond any number",
       RawHttpServer::Reply{chunked + std::string(40, 'F') + "\r\nabc\r\n0\r\n\r\n"}, K::Transport, "",
       quick},
      {"not HTTP", RawHttpServer::Reply{"hello\r\n\r\n"}, K::Transport, "", quick},
      {"compressed by its transfer coding",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" + gzipChunk},
       K::Transport, unasked + "Transfer-Encoding: gzip, chunked)", quick},
      {"compressed by its content coding",
       RawHttpServer::Respond("HTTP/1.1 200 OK", gzipped, "Content-Encoding: gzip\r\n"), K::Transport,
       unasked + "Content-Encoding: gzip)", quick},
      {"an unasked coding after an identity one, in other letters",
       RawHttpServer::Respond("HTTP/1.1 200 OK", "x", "content-encoding: identity ,\tDEFLATE;q=1\r\n"),
       K::Transport, unasked + "Content-Encoding: identity ,^IDEFLATE;q=1)", quick},
      {"chunked is no content coding",
       RawHttpServer::Respond("HTTP/1.1 200 OK", "x", "Content-Encoding: chunked\r\n"), K::Transport,
       unasked + "Content-Encoding: chunked)", quick},
      {"a refused status says so before its coding",
       RawHttpServer::Respond("HTTP/1.1 503 Busy", gzipped, "Content-Encoding: gzip\r\n"), K::Status,
       "HTTP/1.1 503 Busy", quick},
  };
  const auto good = RawHttpServer::Respond("HTTP/1.1 200 OK", "Result: OK\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<RawHttpServer> server;
    std::string host = "127.0.0.1:" + std::to_string(testing::UnusedLocalPort());
    std::atomic<int> served{0};
    if (c.reply) {
      server.emplace([&](const std::string&) { return served++ == 0 ? *c.reply : good; });
      host = server->HostPort();
    }
    const Outcome o = Run(host, "/voyla2.cgi", "MID:%20a1", c.limits);
    EXPECT_EQ(o.completions, 0);
    ASSERT_EQ(o.errors, 1);
    EXPECT_EQ(o.kind, c.kind);
    EXPECT_TRUE(o.onMainThread);
    const std::string expected = text::ReplaceAll(c.text.empty() ? Sjis("サーバ %h との通信に失敗しました: %n")
                                                                 : c.text,
                                                  "%h", host);
    const std::size_t n = expected.find("%n");
    if (n == std::string::npos) {
      EXPECT_EQ(o.error, expected);
    } else {
      EXPECT_EQ(o.error.rfind(expected.substr(0, n), 0), 0u) << o.error;
      EXPECT_TRUE(o.error.ends_with(expected.substr(n + 2))) << o.error;
      EXPECT_GT(o.error.size(), expected.size() - 2) << o.error;
    }
    // Readable: one line of valid CP932 without control bytes.
    EXPECT_NO_THROW(text::Cp932ToUtf8(o.error)) << o.error;
    EXPECT_TRUE(std::none_of(o.error.begin(), o.error.end(),
                             [](char ch) { return static_cast<unsigned char>(ch) < 0x20; }))
        << o.error;

    // The program goes on: the next transfer to the same server completes.
    if (!server) server.emplace([&](const std::string&) { return good; });
    const Outcome next = Run(server->HostPort(), "/voyla2.cgi", "MID:%20a1", c.limits);
    EXPECT_EQ(next.completions, 1) << next.error;
    EXPECT_EQ(next.errors, 0);
    EXPECT_EQ(next.response, "Result: OK\r\n");
  }

  const Outcome unknown = Run("nonexistent.invalid", "/voyla2.cgi", "x", quick);
  EXPECT_EQ(unknown.errors, 1);
  EXPECT_EQ(unknown.error, Sjis("ホスト nonexistent.invalid が見つかりません"));
}

// Codings that change nothing are no reason to refuse a reply.
TEST_F(HttpThreadTest, PlainCodingsComplete) {
  const std::string chunks = "4\r\nResu\r\n8\r\nlt: OK\r\n\r\n0\r\n\r\n";
  const std::vector<std::pair<std::string, RawHttpServer::Reply>> cases = {
      {"chunked", RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks}},
      {"Chunked, identity",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\nContent-Encoding: identity\r\n\r\n" +
                            chunks}},
      {"empty content coding", RawHttpServer::Respond("HTTP/1.1 200 OK", "Result: OK\r\n", "Content-Encoding:\r\n")},
      {"a header that only names one", RawHttpServer::Respond("HTTP/1.1 200 OK", "Result: OK\r\n",
                                                              "X-Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n")},
  };
  for (const auto& [name, reply] : cases) {
    SCOPED_TRACE(name);
    RawHttpServer server([&](const std::string&) { return reply; });
    const Outcome o = Run(server.HostPort(), "/fetchlog.cgi?recent=60");
    EXPECT_EQ(o.errors, 0) << o.error;
    EXPECT_EQ(o.response, "Result: OK\r\n");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].find("Encoding"), std::string::npos) << server.Requests()[0];
  }
}

// The stall rule is about a reply that hardly moves, not a slow one: a
// reply that keeps coming in small pieces completes.
TEST_F(HttpThreadTest, ASlowButSteadyReplyCompletes) {
  THttpLimits quick;
  quick.StallTimeout = 300ms;
  quick.StallMinBytes = 64;
  RawHttpServer server([](const std::string&) {
    return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 400\r\n\r\n", false, [n = 0]() mutable {
                                  if (n++ == 10) return std::string();
                                  std::this_thread::sleep_for(40ms);
                                  return std::string(40, 'y');
                                }};
  });
  const Outcome o = Run(server.HostPort(), "/fetchlog.cgi?recent=60", "", quick);
  EXPECT_EQ(o.errors, 0) << o.error;
  EXPECT_EQ(o.response, std::string(400, 'y'));
}

TEST_F(HttpThreadTest, EmptyOkBodyCompletesAndAnEmptyBodyMeansGet) {
  RawHttpServer server([](const std::string&) { return RawHttpServer::Respond("HTTP/1.1 200 OK", ""); });
  const Outcome o = Run(server.HostPort(), "/voyla2.cgi", "");
  EXPECT_EQ(o.completions, 1);
  EXPECT_EQ(o.errors, 0);
  EXPECT_EQ(o.response, "");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].rfind("GET /voyla2.cgi HTTP/1.1\r\n", 0), 0u);
}

TEST_F(HttpThreadTest, WorkersStartedBackToBackEachRunOneHandlerOnTheMainThread) {
  // The second reply comes first; each handler holds the main thread for a
  // moment, as a message box would, while the other worker waits.
  RawHttpServer server([](const std::string& request) {
    if (request.find("first") != std::string::npos) std::this_thread::sleep_for(50ms);
    return RawHttpServer::Respond("HTTP/1.1 200 OK", request.find("first") != std::string::npos ? "1" : "2");
  });
  Outcome a, b;
  std::vector<std::string> order;
  int inside = 0;
  bool overlapped = false;
  auto first = Make(server.HostPort(), "/voyla2.cgi", "first", a);
  auto second = Make(server.HostPort(), "/voyla2.cgi", "second", b);
  for (auto* w : {first.get(), second.get()}) {
    auto complete = w->OnComplete;
    w->OnComplete = [&, complete](THTTPDownloadThread& t) {
      overlapped = overlapped || inside > 0;
      ++inside;
      complete(t);
      order.push_back(t.ResponseText);
      std::this_thread::sleep_for(20ms);
      --inside;
    };
  }
  first->Start();
  second->Start();
  ASSERT_TRUE(loop.ServeFor(20s, [&] { return first->Finished() && second->Finished(); }));
  EXPECT_EQ(a.completions + a.errors, 1);
  EXPECT_EQ(b.completions + b.errors, 1);
  EXPECT_EQ(a.response, "1");
  EXPECT_EQ(b.response, "2");
  EXPECT_EQ(order, (std::vector<std::string>{"2", "1"}));
  EXPECT_FALSE(overlapped);
  EXPECT_TRUE(a.onMainThread && b.onMainThread);
}

TEST_F(HttpThreadTest, AbandoningFailsAtOnceOrQuietly) {
  RawHttpServer server([](const std::string&) {
    return RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab", true};
  });
  const THttpLimits patient{15s, 60s, 1000};
  Outcome loud;
  auto w = Make(server.HostPort(), "/fetchlog.cgi?recent=60", "", loud, patient);
  w->Start();
  ASSERT_TRUE(server.WaitForRequests(1, 10s));
  ASSERT_TRUE(loop.ServeFor(10s, [&] { return w->BytesReceived() == 2; }));
  const auto start = std::chrono::steady_clock::now();
  w->Abandon(false);
  ASSERT_TRUE(loop.ServeFor(10s, [&] { return w->Finished(); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(loud.errors, 1);
  EXPECT_EQ(loud.completions, 0);
  EXPECT_EQ(loud.kind, EHttpError::Kind::Abandoned);
  EXPECT_EQ(loud.error, Sjis("転送を中止しました"));

  // Program end: the live workers are dropped without a handler.
  Outcome q1, q2;
  {
    TDownloadThreads workers(loop);
    workers.Start(Make(server.HostPort(), "/voyla2.cgi", "one", q1, patient));
    workers.Start(Make(server.HostPort(), "/voyla2.cgi", "two", q2, patient));
    ASSERT_TRUE(server.WaitForRequests(3, 10s));
    EXPECT_EQ(workers.Live(), 2u);
    workers.AbandonAll();
    EXPECT_EQ(workers.Live(), 0u);
  }
  EXPECT_EQ(q1.completions + q1.errors + q2.completions + q2.errors, 0);
}

TEST_F(HttpThreadTest, FinishedWorkersAreReapedAsNewOnesStart) {
  RawHttpServer server([](const std::string&) { return RawHttpServer::Respond("HTTP/1.1 200 OK", "ok"); });
  TDownloadThreads workers(loop);
  std::vector<Outcome> outcomes(3);
  for (Outcome& o : outcomes) {
    workers.Start(Make(server.HostPort(), "/voyla2.cgi", "x", o));
    ASSERT_TRUE(loop.ServeFor(10s, [&] { return o.completions == 1; }));
  }
  ASSERT_TRUE(loop.ServeFor(10s, [&] { return workers.Live() == 0; }));
}

}  // namespace
}  // namespace hollowmere
