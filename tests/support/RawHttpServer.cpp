// Sockets, poll and an eventfd that ends every wait when the server goes.
#include "support/RawHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace hollowmere::testing {
namespace {

int ListenLocal(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
    close(fd);
    throw std::runtime_error("bind/listen");
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

// Waits for `fd` or the stop descriptor; false when stopping.
bool WaitReadable(int fd, int stopFd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

// False once the client has gone.
bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

std::size_t ContentLength(const std::string& head) {
  std::string lower;
  for (char c : head) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::stoul(head.substr(at + 17));
}

}  // namespace

RawHttpServer::RawHttpServer(Responder responder) : responder_(std::move(responder)) {
  listenFd_ = ListenLocal(port_);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

RawHttpServer::~RawHttpServer() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(stopFd_, &one, sizeof one);
  acceptor_.join();
  for (std::thread& t : connections_) t.join();
  close(listenFd_);
  close(stopFd_);
}

void RawHttpServer::AcceptLoop() {
  while (WaitReadable(listenFd_, stopFd_)) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    connections_.emplace_back([this, fd] { Serve(fd); });
  }
}

void RawHttpServer::Serve(int fd) {
  // A client that stops reading cannot hold the server's end for ever.
  const timeval patience{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
  std::string request;
  char buf[4096];
  std::size_t need = std::string::npos;
  while (need == std::string::npos || request.size() < need) {
    if (!WaitReadable(fd, stopFd_)) break;
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
    const std::size_t end = request.find("\r\n\r\n");
    if (need == std::string::npos && end != std::string::npos) {
      need = end + 4 + ContentLength(request.substr(0, end + 2));
    }
  }
  if (need != std::string::npos && request.size() >= need) {
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    arrived_.notify_all();
    const Reply reply = responder_(request);
    bool open = SendAll(fd, reply.bytes);
    while (open && reply.more && !Stopping()) {
      const std::string piece = reply.more();
      if (piece.empty()) break;
      open = SendAll(fd, piece);
    }
    if (reply.holdOpen) {
      pollfd stop{stopFd_, POLLIN, 0};
      while (poll(&stop, 1, -1) <= 0) {
      }
    }
  }
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

bool RawHttpServer::Stopping() const {
  pollfd stop{stopFd_, POLLIN, 0};
  return poll(&stop, 1, 0) > 0;
}

std::vector<std::string> RawHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool RawHttpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

RawHttpServer::Reply RawHttpServer::Respond(const std::string& statusLine, const std::string& body,
                                            const std::string& extraHeaders) {
  return {statusLine + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders +
              "\r\n" + body,
          false};
}

int UnusedLocalPort() {
  int port = 0;
  close(ListenLocal(port));
  return port;
}

}  // namespace hollowmere::testing
