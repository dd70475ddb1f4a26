// Pages built on worker threads, one page a task, a bounded window ahead of
// the one thread that takes them in order (and writes them).
// Invariants: pages are started in order; at most `window` pages are built
// or held at a time, so memory stays bounded however long the log; after a
// page whose building failed, no later page is started; the destructor
// stops the workers and waits for them, so nothing runs once it returns.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hollowmere {

class TPagePipeline {
 public:
  // Builds page `page` into `html` (empty, its storage reused) on worker
  // `worker` (0 .. workers - 1, one thread each). `stop` turns true when
  // the taker has gone: a long page may end early, as it is never taken.
  using BuildPage = std::function<void(std::size_t worker, int64_t page, std::string& html,
                                       const std::atomic<bool>& stop)>;

  // Starts `workers` threads (at least one) over pages 0 .. pages - 1.
  TPagePipeline(std::size_t workers, int64_t pages, std::size_t window, BuildPage build);
  ~TPagePipeline();
  TPagePipeline(const TPagePipeline&) = delete;
  TPagePipeline& operator=(const TPagePipeline&) = delete;

  struct Built {
    const std::string& html;
    std::exception_ptr error;  // what building the page raised, if anything
  };
  // Waits for page `page`; pages are taken in order 0, 1, ..., each once,
  // and a taken page stays valid until the next Take. Never take a page
  // after one that failed.
  Built Take(int64_t page);

  std::size_t Workers() const { return threads_.size(); }

 private:
  struct Slot {
    std::string html;
    std::exception_ptr error;
    bool ready = false;
  };
  void Work(std::size_t worker);

  BuildPage build_;
  const std::size_t window_;
  std::mutex lock_;
  std::condition_variable canStart_;
  std::condition_variable built_;
  std::vector<Slot> slots_;
  int64_t next_ = 0;       // the next page to start
  int64_t held_ = 0;       // the lowest page not given back by the taker
  int64_t end_;            // no page from here on is started
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

}  // namespace hollowmere
