// Runs tools/voyla-standin as a child process for a test: started on a free
// port with a log file, its printed lines collected, stopped (SIGTERM, then
// waited for) when the object goes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hollowmere::testing {

// Where the build put the stand-in.
std::string StandinProgram();

class StandinProcess {
 public:
  // `extraArgs` go before the log file (such as "--record", path).
  explicit StandinProcess(const std::string& logFile, const std::vector<std::string>& extraArgs = {});
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  int Port() const { return port_; }
  int Pid() const { return pid_; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  // Every line printed so far, the "listening" line first.
  std::vector<std::string> Lines() const;
  // True when at least `count` lines have been printed within `limit`.
  bool WaitForLines(std::size_t count, std::chrono::milliseconds limit) const;

 private:
  void ReadOutput();
  int pid_ = -1;
  int out_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::thread reader_;
};

}  // namespace hollowmere::testing
