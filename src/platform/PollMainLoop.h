// A main-thread loop of our own on poll(2) and an eventfd: the loop of the
// tests and of any program that runs without the window toolkit. The thread
// that constructs it is its main thread.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MainLoop.h"

namespace hollowmere {

class TPollMainLoop : public IMainLoop {
 public:
  TPollMainLoop();
  // Drops the steps not yet run (their waiters are released).
  ~TPollMainLoop() override;
  TPollMainLoop(const TPollMainLoop&) = delete;
  TPollMainLoop& operator=(const TPollMainLoop&) = delete;

  void Post(std::function<void()> step) override;
  std::unique_ptr<IFdWatch> WatchReadable(int fd, std::function<void()> onReadable) override;
  void ServeUntil(const std::function<bool()>& done) override;
  bool IsMainThread() const override;

  // Serves until `done` holds or `limit` has passed; true when `done` held.
  bool ServeFor(std::chrono::milliseconds limit, const std::function<bool()>& done);
  // Serves whatever is ready now, without waiting.
  void ServePending();

 private:
  class Watch;
  void ServeOnce(int timeoutMs);
  void RunPostedSteps();

  const std::thread::id mainThread_;
  int wakeFd_;
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;
  struct WatchEntry {
    int fd;
    std::function<void()> onReadable;
  };
  // By watch number; a watch removes its entry when destroyed.
  std::map<unsigned long, WatchEntry> watches_;
  unsigned long nextWatch_ = 1;
};

}  // namespace hollowmere
