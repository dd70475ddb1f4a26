// A bare TCP server on 127.0.0.1 for HTTP client tests: it records every
// request exactly as its bytes arrived (headers, then a body of
// Content-Length bytes) and answers each with bytes the test scripts, made
// up front or piece by piece as they go, optionally keeping the connection
// open without another byte until the server ends (a stalled server).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hollowmere::testing {

class RawHttpServer {
 public:
  struct Reply {
    Reply(std::string bytes = {}, bool holdOpen = false, std::function<std::string()> more = {})
        : bytes(std::move(bytes)), holdOpen(holdOpen), more(std::move(more)) {}
    std::string bytes;
    bool holdOpen;
    // Asked for the bytes that follow, piece after piece, until it returns
    // none or the client has gone: a reply too large to hold, or one that
    // trickles (the call may wait before it returns).
    std::function<std::string()> more;
  };
  using Responder = std::function<Reply(const std::string& request)>;

  explicit RawHttpServer(Responder responder);
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:" + port, as HOLLOWMERE_SERVICE takes it.
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Requests() const;
  // True when `count` requests have arrived within `limit`.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

  // A complete reply with a Content-Length.
  static Reply Respond(const std::string& statusLine, const std::string& body,
                       const std::string& extraHeaders = "");

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool Stopping() const;

  Responder responder_;
  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<std::string> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

// A local port with nobody listening on it (connections are refused).
int UnusedLocalPort();

}  // namespace hollowmere::testing
