// One thread per connection copies bytes both ways with poll(2); the
// client's bytes are also appended to the record file, whole writes at a time.
#include "RecordingFront.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace hollowmere::standin {
namespace {

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

int ConnectBackend(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

TRecordingFront::TRecordingFront(const std::string& bindAddress, int port, int backendPort,
                                 const std::string& recordFile)
    : backendPort_(backendPort) {
  record_ = std::fopen(recordFile.c_str(), "ab");
  if (record_ == nullptr) throw std::runtime_error("cannot open " + recordFile);
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, bindAddress.c_str(), &addr.sin_addr) != 1 ||
      bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd_, 64) != 0) {
    close(listenFd_);
    std::fclose(record_);
    throw std::runtime_error("cannot listen on " + bindAddress + ":" + std::to_string(port));
  }
  socklen_t len = sizeof addr;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  stopFd_ = eventfd(0, EFD_CLOEXEC);
}

TRecordingFront::~TRecordingFront() {
  Stop();
  std::lock_guard lock(threadsMutex_);
  for (std::thread& t : threads_) t.join();
  close(listenFd_);
  close(stopFd_);
  std::fclose(record_);
}

void TRecordingFront::Stop() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(stopFd_, &one, sizeof one);
}

void TRecordingFront::Run() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(threadsMutex_);
    threads_.emplace_back([this, client] { Pump(client); });
  }
}

void TRecordingFront::Pump(int client) {
  const int backend = ConnectBackend(backendPort_);
  char buf[65536];
  bool open = backend >= 0;
  while (open) {
    pollfd fds[3] = {{client, POLLIN, 0}, {backend, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) continue;
    if (fds[2].revents != 0) break;
    if (fds[0].revents != 0) {
      const ssize_t n = recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      {
        std::lock_guard lock(recordMutex_);
        std::fwrite(buf, 1, static_cast<std::size_t>(n), record_);
        std::fflush(record_);
      }
      open = SendAll(backend, buf, static_cast<std::size_t>(n));
    }
    if (open && fds[1].revents != 0) {
      const ssize_t n = recv(backend, buf, sizeof buf, 0);
      if (n <= 0) break;
      open = SendAll(client, buf, static_cast<std::size_t>(n));
    }
  }
  if (backend >= 0) close(backend);
  shutdown(client, SHUT_RDWR);
  close(client);
}

}  // namespace hollowmere::standin
