// The worker threads and the window of pages between them and the taker.
#include "render/PagePipeline.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace hollowmere {

TPagePipeline::TPagePipeline(std::size_t workers, int64_t pages, std::size_t window,
                             BuildPage build)
    : build_(std::move(build)),
      window_(std::max<std::size_t>(1, window)),
      slots_(window_),
      end_(pages) {
  workers = std::max<std::size_t>(1, workers);
  threads_.reserve(workers);
  try {
    for (std::size_t w = 0; w < workers; ++w) threads_.emplace_back(&TPagePipeline::Work, this, w);
  } catch (const std::system_error&) {
    // The machine gave fewer threads than asked: those that started do the
    // work; with none at all there is nobody to build the pages.
    if (threads_.empty()) throw;
  }
}

TPagePipeline::~TPagePipeline() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  canStart_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void TPagePipeline::Work(std::size_t worker) {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    canStart_.wait(hold, [&] {
      return stop_ || next_ >= end_ || next_ < held_ + static_cast<int64_t>(window_);
    });
    if (stop_ || next_ >= end_) return;
    const int64_t page = next_++;
    Slot& slot = slots_[static_cast<std::size_t>(page) % window_];
    hold.unlock();
    std::exception_ptr error;
    try {
      build_(worker, page, slot.html, stop_);
    } catch (...) {
      error = std::current_exception();
    }
    hold.lock();
    slot.error = error;
    slot.ready = true;
    if (error && page + 1 < end_) {
      end_ = page + 1;
      canStart_.notify_all();
    }
    built_.notify_all();
  }
}

TPagePipeline::Built TPagePipeline::Take(int64_t page) {
  std::unique_lock<std::mutex> hold(lock_);
  if (page > held_) {
    // The page before is given back: its slot may take a new page.
    Slot& before = slots_[static_cast<std::size_t>(page - 1) % window_];
    before.html.clear();
    before.error = nullptr;
    before.ready = false;
    held_ = page;
    canStart_.notify_all();
  }
  Slot& slot = slots_[static_cast<std::size_t>(page) % window_];
  built_.wait(hold, [&] { return slot.ready; });
  return Built{slot.html, slot.error};
}

}  // namespace hollowmere
