// A small HTTP/1.1 server for the stand-in, bounded like a real one so that
// no client can make it grow or stall: one thread reads and writes every
// connection without blocking, complete requests go to a fixed pool of
// workers, and every limit below ends a connection that passes it.
//
// Invariants: a connection holds at most one request (its header section
// and body within their limits) and one reply at a time, and reads nothing
// more until that reply is written; connections are at most MaxConnections
// (a newcomer pushes out the one idle longest, else is turned away); a
// request must arrive whole within RequestTime of its first byte, a reply
// must make progress every WriteTime, and a kept-alive connection that stays
// idle for IdleTime is closed. With a record file, every byte read is
// appended to it in the order read.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace hollowmere::standin {

struct THttpRequest {
  std::string Method;
  std::string Target;  // as sent, not decoded
  std::string Body;
};

struct THttpReply {
  int Status = 200;
  std::shared_ptr<const std::string> Body;  // shared, never copied; null for none
};

using THttpHandler = std::function<THttpReply(const THttpRequest&)>;

struct THttpLimits {
  std::size_t MaxHeaderBytes = 16 * 1024;  // request line and header lines
  std::size_t MaxBodyBytes = 1024 * 1024;
  std::chrono::milliseconds RequestTime{10000};
  std::chrono::milliseconds WriteTime{10000};
  std::chrono::milliseconds IdleTime{5000};
  std::size_t MaxConnections = 128;
  std::size_t Workers = 4;
};

class THttpServer {
 public:
  // Listens on `bindAddress`:`port` (0: a free one). `record`, when not
  // null, receives every byte read (the caller keeps it open). Throws
  // std::runtime_error when it cannot listen.
  THttpServer(const std::string& bindAddress, int port, THttpHandler handler, std::FILE* record = nullptr,
              THttpLimits limits = {});
  ~THttpServer();
  THttpServer(const THttpServer&) = delete;
  THttpServer& operator=(const THttpServer&) = delete;

  int Port() const;
  // Serves until Stop; call from one thread.
  void Run();
  // From any thread (async-signal-safe).
  void Stop();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hollowmere::standin
