// One HTTP/1.x transfer with the service, on the calling thread, through a
// libcurl easy handle of its own: the request exactly as the service expects
// it on the wire, and every way it can fail turned into one readable text.
//
// On the wire: GET (HTTP/1.1) when there is no body, else POST (HTTP/1.0,
// "Connection: keep-alive") of the body's bytes with no Content-Type and no
// Expect header; "Host" (with the port when it is not 80), "Accept:
// text/html, */*", "User-Agent: Mozilla/3.0 (compatible; Indy Library)".
// No proxy (whatever the environment says), no cookies, no redirects: any
// reply whose status is not 2xx fails with its status line as received.
// No encoding is asked for and none is undone: a reply whose
// Transfer-Encoding is anything but chunked, or whose Content-Encoding is
// anything but identity, fails before its body is read.
// A dead or hostile server cannot hang or flood the caller: connecting has a
// time limit, a transfer fails when no byte moves for the stall limit or
// when the reply trickles (fewer than StallMinBytes within one stall limit),
// and a reply body (or its headers) over the cap fails and keeps nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "text/Error.h"

namespace hollowmere {

struct THttpLimits {
  std::chrono::milliseconds ConnectTimeout{15000};
  // Once the request has gone out, the reply must move: no byte for this
  // long, or fewer than StallMinBytes (headers and body) within one such
  // window, counted from the request on, window after window, fails the
  // transfer as stalled. So a server that sends a byte now and then cannot
  // keep a transfer alive for ever, while any working line clears it easily.
  std::chrono::milliseconds StallTimeout{60000};
  uint64_t MaxBodyBytes = uint64_t{256} << 20;
  uint64_t StallMinBytes = 1024;
};

// A failed transfer; the message is CP932, shown to the user as it is.
class EHttpError : public Error {
 public:
  enum class Kind {
    HostNotFound,
    ConnectFailed,
    ConnectTimeout,
    Stalled,
    Status,     // a reply that is not 2xx; the message is its status line
    TooLarge,
    Abandoned,
    Transport,  // anything else: reset, closed early, malformed reply
  };
  EHttpError(Kind kind, const std::string& message) : Error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

struct THttpRequest {
  // "host" or "host:port"; the server to connect to.
  std::string Host;
  // An absolute path with its query ("/voyla2.cgi"), sent to Host, or a
  // full "http://" URL.
  std::string RequestPath;
  // Empty: a GET. Otherwise a POST of exactly these bytes.
  std::string PostData;
};

// Shared between a transfer and the thread that may end it early or watch
// its progress. Any thread may call Abandon and read BytesReceived.
class TTransferControl {
 public:
  // The transfer fails with Kind::Abandoned as soon as it notices (at once
  // when it is waiting for the network).
  void Abandon();
  bool Abandoned() const { return abandoned_.load(); }
  uint64_t BytesReceived() const { return received_.load(); }

 private:
  friend class TCurlTransfer;
  void Attach(void* multi);
  void Detach();
  void AddReceived(uint64_t n) { received_.fetch_add(n); }

  std::atomic<bool> abandoned_{false};
  std::atomic<uint64_t> received_{0};
  std::mutex mutex_;
  void* multi_ = nullptr;  // the waiting transfer's curl multi handle
};

// Performs the transfer and returns the reply body, byte for byte. Throws
// EHttpError for every failure of the network, the server or the limits.
std::string PerformHttpTransfer(const THttpRequest& request, const THttpLimits& limits,
                                TTransferControl& control);

}  // namespace hollowmere
