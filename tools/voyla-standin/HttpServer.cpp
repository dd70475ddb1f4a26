// The stand-in's HTTP server: an epoll loop that owns every connection, a
// worker pool that runs the handler, and an eventfd each way between them.
#include "HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "platform/UniqueFd.h"

namespace hollowmere::standin {
namespace {

using Clock = std::chrono::steady_clock;
using hollowmere::TUniqueFd;

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    default: return "Internal Server Error";
  }
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, word.size()), word)) return true;
  }
  return false;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// What the header section of a request says; Status is 0 when it is good.
struct THead {
  int Status = 0;
  std::string Method;
  std::string Target;
  std::size_t BodyLength = 0;
  bool KeepAlive = false;
};

THead Failed(int status) {
  THead h;
  h.Status = status;
  return h;
}

THead ParseHead(std::string_view head, std::size_t maxBody) {
  THead h;
  std::size_t lineEnd = head.find('\n');
  const std::string_view requestLine = Trim(head.substr(0, lineEnd));
  const std::size_t sp1 = requestLine.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp1 == 0 || sp2 == sp1 + 1) return Failed(400);
  h.Method = requestLine.substr(0, sp1);
  h.Target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = requestLine.substr(sp2 + 1);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return Failed(400);
  h.KeepAlive = version == "HTTP/1.1";
  bool sawLength = false;
  while (lineEnd != std::string_view::npos && lineEnd + 1 < head.size()) {
    const std::size_t start = lineEnd + 1;
    lineEnd = head.find('\n', start);
    const std::string_view line =
        head.substr(start, lineEnd == std::string_view::npos ? lineEnd : lineEnd - start);
    const std::size_t colon = line.find(':');
    if (Trim(line).empty()) continue;
    if (colon == std::string_view::npos || colon == 0) return Failed(400);
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "Content-Length")) {
      if (value.empty() || value.size() > 12 || sawLength ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Failed(400);
      }
      sawLength = true;
      h.BodyLength = std::stoull(std::string(value));
      if (h.BodyLength > maxBody) return Failed(413);
    } else if (EqualsNoCase(name, "Transfer-Encoding")) {
      return Failed(501);
    } else if (EqualsNoCase(name, "Connection")) {
      if (ContainsNoCase(value, "close")) h.KeepAlive = false;
      if (ContainsNoCase(value, "keep-alive")) h.KeepAlive = true;
    }
  }
  return h;
}

}  // namespace

class THttpServer::Impl {
 public:
  Impl(const std::string& bindAddress, int port, THttpHandler handler, std::FILE* record, THttpLimits limits)
      : handler_(std::move(handler)), record_(record), limits_(limits) {
    listener_ = TUniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    int one = 1;
    ::setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (listener_.Get() < 0 || inet_pton(AF_INET, bindAddress.c_str(), &addr.sin_addr) != 1 ||
        ::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_.Get(), 128) != 0) {
      throw std::runtime_error("cannot listen on " + bindAddress + ":" + std::to_string(port));
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    stop_ = TUniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    done_ = TUniqueFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    epoll_ = TUniqueFd(::epoll_create1(EPOLL_CLOEXEC));
    if (stop_.Get() < 0 || done_.Get() < 0 || epoll_.Get() < 0)
      throw std::runtime_error("cannot make the event loop");
    Watch(listener_.Get(), EPOLLIN, EPOLL_CTL_ADD);
    Watch(stop_.Get(), EPOLLIN, EPOLL_CTL_ADD);
    Watch(done_.Get(), EPOLLIN, EPOLL_CTL_ADD);
    for (std::size_t i = 0; i < std::max<std::size_t>(limits_.Workers, 1); ++i) {
      workers_.emplace_back([this] { Work(); });
    }
  }

  ~Impl() {
    {
      std::lock_guard lock(jobsMutex_);
      ending_ = true;
    }
    jobsChanged_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  int Port() const { return port_; }

  void Stop() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_.Get(), &one, sizeof one);
  }

  void Run() {
    std::vector<epoll_event> events(64);
    for (;;) {
      const int n = ::epoll_wait(epoll_.Get(), events.data(), static_cast<int>(events.size()),
                                 MillisecondsToNextDeadline());
      if (n < 0 && errno != EINTR) return;
      for (int i = 0; i < n; ++i) {
        const int fd = events[i].data.fd;
        if (fd == stop_.Get()) return;
        if (fd == listener_.Get()) {
          Accept();
        } else if (fd == done_.Get()) {
          Completed();
        } else if (const auto it = connections_.find(fd); it != connections_.end()) {
          if (it->second.State == EState::Handling) {
            // Only a broken connection reports anything now; its reply is dropped.
            if ((events[i].events & (EPOLLHUP | EPOLLERR)) != 0) Close(fd);
          } else if (it->second.State == EState::Writing) {
            Write(it->second);
          } else {
            Read(it->second);
          }
        }
      }
      Expire();
    }
  }

 private:
  enum class EState { Idle, Reading, Handling, Writing };

  struct Connection {
    TUniqueFd Fd;
    EState State = EState::Idle;
    std::string In;           // the current request's bytes, and any read after it
    std::size_t HeadEnd = 0;  // past the header section's blank line; 0 until it came
    THead Head;
    std::string OutHead;
    std::shared_ptr<const std::string> OutBody;
    std::size_t Written = 0;
    bool CloseAfter = false;
    Clock::time_point Deadline;
    uint64_t Serial = 0;  // tells a worker's reply for a connection that went
  };

  struct Job {
    int Fd;
    uint64_t Serial;
    THttpRequest Request;
  };

  struct Done {
    int Fd;
    uint64_t Serial;
    THttpReply Reply;
  };

  void Watch(int fd, uint32_t events, int op) {
    epoll_event e{};
    e.events = events;
    e.data.fd = fd;
    ::epoll_ctl(epoll_.Get(), op, fd, &e);
  }

  int MillisecondsToNextDeadline() const {
    if (connections_.empty()) return -1;
    Clock::time_point next = Clock::time_point::max();
    for (const auto& [fd, c] : connections_) {
      if (c.State != EState::Handling) next = std::min(next, c.Deadline);
    }
    if (next == Clock::time_point::max()) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
  }

  void Accept() {
    for (int round = 0; round < 64; ++round) {
      const int fd = ::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      TUniqueFd owned(fd);
      if (connections_.size() >= limits_.MaxConnections && !DropLongestIdle()) continue;  // turned away
      Connection& c = connections_[fd];
      c.Fd = std::move(owned);
      c.Serial = ++serial_;
      Idle(c);
      Watch(fd, EPOLLIN, EPOLL_CTL_ADD);
    }
  }

  // The idle connection whose wait ends first is the one idle longest.
  bool DropLongestIdle() {
    auto longest = connections_.end();
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      if (it->second.State == EState::Idle &&
          (longest == connections_.end() || it->second.Deadline < longest->second.Deadline)) {
        longest = it;
      }
    }
    if (longest == connections_.end()) return false;
    Close(longest->first);
    return true;
  }

  void Idle(Connection& c) {
    c.State = c.In.empty() ? EState::Idle : EState::Reading;
    c.Deadline = Clock::now() + (c.In.empty() ? limits_.IdleTime : limits_.RequestTime);
  }

  void Close(int fd) { connections_.erase(fd); }  // closing the fd also leaves the epoll set

  // Bytes still wanted: up to the end of the body once the header section
  // came, else one past the header limit.
  std::size_t Wanted(const Connection& c) const {
    const std::size_t limit = c.HeadEnd != 0 ? c.HeadEnd + c.Head.BodyLength : limits_.MaxHeaderBytes + 1;
    return limit > c.In.size() ? limit - c.In.size() : 0;
  }

  void Read(Connection& c) {
    char buf[65536];
    const std::size_t want = std::min(sizeof buf, Wanted(c));
    const ssize_t n = want == 0 ? 0 : ::recv(c.Fd.Get(), buf, want, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      Close(c.Fd.Get());
      return;
    }
    if (record_ != nullptr) {
      std::fwrite(buf, 1, static_cast<std::size_t>(n), record_);
      std::fflush(record_);
    }
    if (c.State == EState::Idle) {
      c.State = EState::Reading;
      c.Deadline = Clock::now() + limits_.RequestTime;
    }
    c.In.append(buf, static_cast<std::size_t>(n));
    Parse(c);
  }

  // Hands a whole request to the workers, or answers one that breaks a rule.
  void Parse(Connection& c) {
    if (c.HeadEnd == 0) {
      std::size_t end = c.In.find("\r\n\r\n");
      end = end == std::string::npos ? end : end + 4;
      if (const std::size_t lf = c.In.find("\n\n");
          lf != std::string::npos && (end == std::string::npos || lf + 2 < end)) {
        end = lf + 2;
      }
      if (end == std::string::npos || end > limits_.MaxHeaderBytes) {
        if (c.In.size() > limits_.MaxHeaderBytes) Refuse(c, 431);
        return;
      }
      c.HeadEnd = end;
      c.Head = ParseHead(std::string_view(c.In).substr(0, end), limits_.MaxBodyBytes);
      if (c.Head.Status != 0) {
        Refuse(c, c.Head.Status);
        return;
      }
    }
    if (c.In.size() < c.HeadEnd + c.Head.BodyLength) return;
    Job job{c.Fd.Get(),
            c.Serial,
            {std::move(c.Head.Method), std::move(c.Head.Target), c.In.substr(c.HeadEnd, c.Head.BodyLength)}};
    c.CloseAfter = !c.Head.KeepAlive;
    c.In.erase(0, c.HeadEnd + c.Head.BodyLength);
    c.HeadEnd = 0;
    c.State = EState::Handling;
    Watch(c.Fd.Get(), 0, EPOLL_CTL_MOD);
    {
      std::lock_guard lock(jobsMutex_);
      jobs_.push_back(std::move(job));
    }
    jobsChanged_.notify_one();
  }

  void Refuse(Connection& c, int status) {
    c.CloseAfter = true;
    c.In.clear();
    Reply(c, {status, std::make_shared<const std::string>("Result: Err\r\n")});
  }

  void Reply(Connection& c, THttpReply reply) {
    if (reply.Body == nullptr) reply.Body = std::make_shared<const std::string>();
    c.OutHead = "HTTP/1.1 " + std::to_string(reply.Status) + " " + Reason(reply.Status) +
                "\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Length: " +
                std::to_string(reply.Body->size()) + (c.CloseAfter ? "\r\nConnection: close" : "") +
                "\r\n\r\n";
    c.OutBody = std::move(reply.Body);
    c.Written = 0;
    c.State = EState::Writing;
    c.Deadline = Clock::now() + limits_.WriteTime;
    Watch(c.Fd.Get(), EPOLLOUT, EPOLL_CTL_MOD);
    Write(c);
  }

  void Write(Connection& c) {
    const std::string& body = *c.OutBody;
    const std::size_t total = c.OutHead.size() + body.size();
    while (c.Written < total) {
      iovec parts[2];
      int count = 0;
      if (c.Written < c.OutHead.size()) {
        parts[count++] = {c.OutHead.data() + c.Written, c.OutHead.size() - c.Written};
      }
      const std::size_t bodyDone = c.Written > c.OutHead.size() ? c.Written - c.OutHead.size() : 0;
      if (bodyDone < body.size()) {
        parts[count++] = {const_cast<char*>(body.data()) + bodyDone, body.size() - bodyDone};
      }
      msghdr msg{};
      msg.msg_iov = parts;
      msg.msg_iovlen = static_cast<std::size_t>(count);
      const ssize_t n = ::sendmsg(c.Fd.Get(), &msg, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n <= 0) {
        Close(c.Fd.Get());
        return;
      }
      c.Written += static_cast<std::size_t>(n);
      c.Deadline = Clock::now() + limits_.WriteTime;
    }
    if (c.CloseAfter) {
      Close(c.Fd.Get());
      return;
    }
    c.OutBody.reset();
    c.OutHead.clear();
    Idle(c);
    Watch(c.Fd.Get(), EPOLLIN, EPOLL_CTL_MOD);
    // A request that came along with the last one is taken at once.
    if (!c.In.empty()) Parse(c);
  }

  void Completed() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t r = ::read(done_.Get(), &count, sizeof count);
    std::deque<Done> done;
    {
      std::lock_guard lock(doneMutex_);
      done.swap(done_list_);
    }
    for (Done& d : done) {
      const auto it = connections_.find(d.Fd);
      if (it == connections_.end() || it->second.Serial != d.Serial) continue;
      Reply(it->second, std::move(d.Reply));
    }
  }

  void Expire() {
    const auto now = Clock::now();
    std::vector<int> late;
    for (const auto& [fd, c] : connections_) {
      if (c.State != EState::Handling && c.Deadline <= now) late.push_back(fd);
    }
    for (const int fd : late) Close(fd);
  }

  void Work() {
    for (;;) {
      Job job;
      {
        std::unique_lock lock(jobsMutex_);
        jobsChanged_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (ending_) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      THttpReply reply;
      try {
        reply = handler_(job.Request);
      } catch (const std::exception&) {
        reply = {500, std::make_shared<const std::string>("Result: Err\r\n")};
      }
      {
        std::lock_guard lock(doneMutex_);
        done_list_.push_back({job.Fd, job.Serial, std::move(reply)});
      }
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(done_.Get(), &one, sizeof one);
    }
  }

  THttpHandler handler_;
  std::FILE* record_;
  const THttpLimits limits_;
  TUniqueFd listener_;
  TUniqueFd stop_;
  TUniqueFd done_;
  TUniqueFd epoll_;
  int port_ = 0;
  std::map<int, Connection> connections_;
  uint64_t serial_ = 0;

  std::mutex jobsMutex_;
  std::condition_variable jobsChanged_;
  std::deque<Job> jobs_;
  bool ending_ = false;
  std::mutex doneMutex_;
  std::deque<Done> done_list_;
  std::vector<std::thread> workers_;
};

THttpServer::THttpServer(const std::string& bindAddress, int port, THttpHandler handler, std::FILE* record,
                         THttpLimits limits)
    : impl_(std::make_unique<Impl>(bindAddress, port, std::move(handler), record, limits)) {}

THttpServer::~THttpServer() = default;

int THttpServer::Port() const { return impl_->Port(); }

void THttpServer::Run() { impl_->Run(); }

void THttpServer::Stop() { impl_->Stop(); }

}  // namespace hollowmere::standin
