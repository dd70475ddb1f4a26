// An open file descriptor, closed when its owner goes away.
#pragma once

#include <unistd.h>

namespace hollowmere {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }  // negative when the open failed

 private:
  int fd_;
};

}  // namespace hollowmere
