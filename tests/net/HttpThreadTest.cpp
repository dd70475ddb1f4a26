// The HTTP worker against a bare socket server: the requests' exact bytes,
// the reply kept byte for byte, every failure ending in exactly one handler
// with a readable text, abandoning, and workers that overlap.
#include "net/HttpThread.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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

TEST_F(HttpThreadTest, EveryFailureEndsInTheErrorHandlerWithAReadableText) {
  using K = EHttpError::Kind;
  const THttpLimits quick{300ms, 300ms, 1000};
  struct Case {
    const char* name;
    std::optional<RawHttpServer::Reply> reply;  // none: nobody listens
    K kind;
    std::string text;  // exact, "%h" standing for host:port
  };
  const std::string big(5000, 'x');
  const std::vector<Case> cases = {
      {"refused", std::nullopt, K::ConnectFailed, Sjis("サーバ %h に接続できません: Connection refused")},
      {"302", RawHttpServer::Respond("HTTP/1.1 302 Found", "", "Location: http://elsewhere/\r\n"),
       K::Status, "HTTP/1.1 302 Found"},
      {"404", RawHttpServer::Respond("HTTP/1.1 404 Not Found", "gone"), K::Status,
       "HTTP/1.1 404 Not Found"},
      {"500 with a body", RawHttpServer::Respond("HTTP/1.0 500 Internal  Error", "<html>oops</html>"),
       K::Status, "HTTP/1.0 500 Internal  Error"},
      {"stalls after the headers",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", true}, K::Stalled,
       Sjis("サーバ %h から 0.3 秒間データが届きません")},
      {"over the cap by its length", RawHttpServer::Respond("HTTP/1.1 200 OK", big), K::TooLarge,
       Sjis("サーバの応答が大きすぎます (1000 バイトを超えました)")},
      {"over the cap without a length", RawHttpServer::Reply{"HTTP/1.0 200 OK\r\n\r\n" + big, false},
       K::TooLarge, Sjis("サーバの応答が大きすぎます (1000 バイトを超えました)")},
      {"endless headers",
       RawHttpServer::Reply{"HTTP/1.1 200 OK\r\n" + std::string(40, 'X') + ": " + big + "\r\n\r\n", false},
       K::TooLarge, Sjis("サーバの応答が大きすぎます (1000 バイトを超えました)")},
      {"closed early", RawHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc", false},
       K::Transport, ""},
      {"not HTTP", RawHttpServer::Reply{"hello\r\n\r\n", false}, K::Transport, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<RawHttpServer> server;
    std::string host = "127.0.0.1:" + std::to_string(testing::UnusedLocalPort());
    if (c.reply) {
      server.emplace([&](const std::string&) { return *c.reply; });
      host = server->HostPort();
    }
    const Outcome o = Run(host, "/voyla2.cgi", "MID:%20a1", quick);
    EXPECT_EQ(o.completions, 0);
    ASSERT_EQ(o.errors, 1);
    EXPECT_EQ(o.kind, c.kind);
    EXPECT_TRUE(o.onMainThread);
    if (c.text.empty()) {
      EXPECT_EQ(o.error.rfind(Sjis("サーバ ") + host + Sjis(" との通信に失敗しました: "), 0), 0u) << o.error;
    } else {
      EXPECT_EQ(o.error, text::ReplaceAll(c.text, "%h", host));
    }
  }

  const Outcome unknown = Run("nonexistent.invalid", "/voyla2.cgi", "x", quick);
  EXPECT_EQ(unknown.errors, 1);
  EXPECT_EQ(unknown.error, Sjis("ホスト nonexistent.invalid が見つかりません"));
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
