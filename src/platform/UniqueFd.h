// A file descriptor that closes itself: the one RAII holder for the sockets,
// lock files and blocks of the platform layer.
// Invariant: a TUniqueFd holds one open descriptor or -1; moving hands it over.
#pragma once

#include <unistd.h>

#include <utility>

namespace hollowmere {

class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : fd_(fd) {}
  ~TUniqueFd() { Reset(); }
  TUniqueFd(TUniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace hollowmere
