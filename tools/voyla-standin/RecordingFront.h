// A TCP front for the stand-in that appends every byte a client sends to a
// file before passing it on to the HTTP server behind it, so tests can read
// the requests exactly as they went over the wire.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hollowmere::standin {

class TRecordingFront {
 public:
  // Listens on `bindAddress`:`port` (0: a free one) and forwards to
  // 127.0.0.1:`backendPort`. Throws std::runtime_error when it cannot.
  TRecordingFront(const std::string& bindAddress, int port, int backendPort, const std::string& recordFile);
  ~TRecordingFront();
  TRecordingFront(const TRecordingFront&) = delete;
  TRecordingFront& operator=(const TRecordingFront&) = delete;

  int Port() const { return port_; }
  // Runs until Stop; call from one thread.
  void Run();
  void Stop();

 private:
  void Pump(int client);

  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  int backendPort_;
  std::FILE* record_ = nullptr;
  std::mutex recordMutex_;
  std::mutex threadsMutex_;
  std::vector<std::thread> threads_;
};

}  // namespace hollowmere::standin
