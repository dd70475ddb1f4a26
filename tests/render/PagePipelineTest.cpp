// The worker threads behind ShowLog: pages come in order, memory stays
// within the window, a failed page stops the pages after it, and a taker
// that leaves early leaves nothing running.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "render/PagePipeline.h"

namespace hollowmere {
namespace {

using namespace std::chrono_literals;

// Pages started so far, as the build function sees them.
class Started {
 public:
  void Add(int64_t page) {
    std::lock_guard<std::mutex> hold(lock_);
    pages_.insert(page);
  }
  int64_t Highest() {
    std::lock_guard<std::mutex> hold(lock_);
    return pages_.empty() ? -1 : *pages_.rbegin();
  }
  std::set<int64_t> All() {
    std::lock_guard<std::mutex> hold(lock_);
    return pages_;
  }
  // Waits (up to a few seconds) until page `page` has started.
  bool Reached(int64_t page) {
    for (int i = 0; i < 5000 && Highest() < page; ++i) std::this_thread::sleep_for(1ms);
    return Highest() >= page;
  }

 private:
  std::mutex lock_;
  std::set<int64_t> pages_;
};

TEST(PagePipeline, PagesComeInOrderAndNoMoreThanAWindowIsBuiltAhead) {
  const struct {
    std::size_t workers, window;
    int64_t pages;
  } cases[] = {{1, 1, 20}, {3, 4, 60}, {4, 2, 60}, {2, 7, 3}};
  for (const auto& c : cases) {
    Started started;
    TPagePipeline pipeline(c.workers, c.pages, c.window,
                           [&](std::size_t worker, int64_t page, std::string& html, const std::atomic<bool>&) {
                             started.Add(page);
                             // A slot's storage comes back empty.
                             if (!html.empty()) throw std::logic_error("slot not emptied");
                             html = "page " + std::to_string(page);
                           });
    EXPECT_EQ(pipeline.Workers(), c.workers);
    for (int64_t k = 0; k < c.pages; ++k) {
      const TPagePipeline::Built built = pipeline.Take(k);
      EXPECT_EQ(built.html, "page " + std::to_string(k));
      EXPECT_FALSE(built.error);
      // The workers fill the window from the page held on, and go no further.
      const int64_t reach = std::min(c.pages - 1, k + static_cast<int64_t>(c.window) - 1);
      if (k % 5 == 0) {
        EXPECT_TRUE(started.Reached(reach)) << k;
      }
      EXPECT_LE(started.Highest(), reach) << k;
    }
  }
}

TEST(PagePipeline, AFailedPageStopsThePagesAfterIt) {
  Started started;
  {
    TPagePipeline pipeline(1, 50, 8, [&](std::size_t, int64_t page, std::string& html, const std::atomic<bool>&) {
      started.Add(page);
      if (page == 1) throw std::runtime_error("page 1 failed");
      html = "ok";
    });
    EXPECT_FALSE(pipeline.Take(0).error);
    const std::exception_ptr error = pipeline.Take(1).error;
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(started.All(), (std::set<int64_t>{0, 1}));
}

TEST(PagePipeline, ATakerThatLeavesStopsLongPagesAndWaitsForTheWorkers) {
  std::atomic<int> running{0};
  Started started;
  {
    TPagePipeline pipeline(3, 1000, 6,
                           [&](std::size_t, int64_t page, std::string&, const std::atomic<bool>& stop) {
                             ++running;
                             started.Add(page);
                             // Every page after the first runs until told to stop.
                             while (page > 0 && !stop) std::this_thread::sleep_for(1ms);
                             --running;
                           });
    EXPECT_FALSE(pipeline.Take(0).error);
    EXPECT_TRUE(started.Reached(3));
  }
  EXPECT_EQ(running, 0);
  EXPECT_EQ(started.Highest(), 3);
}

}  // namespace
}  // namespace hollowmere
