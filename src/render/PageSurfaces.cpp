// Page-ordered making of surface pictures behind one lock.
#include "render/PageSurfaces.h"

#include <algorithm>

namespace hollowmere {

TPageSurfaces::TPageSurfaces(TSppList& plugins, std::string cacheDir)
    : maker_(plugins, std::move(cacheDir)) {}

void TPageSurfaces::Submit(int64_t page, std::vector<std::pair<std::string, int32_t>> wanted,
                           bool failed) {
  std::lock_guard<std::mutex> hold(lock_);
  if (stopped_) return;
  pending_.insert_or_assign(page, Pending{std::move(wanted), failed});
  MakeReadyPages();
}

void TPageSurfaces::Allow(int64_t page) {
  std::lock_guard<std::mutex> hold(lock_);
  allowed_ = std::max(allowed_, page);
  MakeReadyPages();
}

void TPageSurfaces::MakeReadyPages() {
  bool any = false;
  for (auto it = pending_.find(next_); !stopped_ && next_ <= allowed_ && it != pending_.end();
       it = pending_.find(next_)) {
    const Pending page = std::move(it->second);
    pending_.erase(it);
    try {
      for (const auto& [ghostName, surface] : page.wanted) {
        std::string key = std::to_string(surface);
        key += ':';
        key += ghostName;
        if (checked_.count(key) != 0) continue;
        maker_.Want(ghostName, surface);
        checked_.insert(std::move(key));
      }
    } catch (...) {
      errorPage_ = next_;
      error_ = std::current_exception();
      stopped_ = true;
    }
    if (page.failed) stopped_ = true;
    ++next_;
    any = true;
  }
  if (stopped_) pending_.clear();
  if (any) made_.notify_all();
}

std::exception_ptr TPageSurfaces::WaitFor(int64_t page) {
  std::unique_lock<std::mutex> hold(lock_);
  made_.wait(hold, [&] { return next_ > page || stopped_; });
  return errorPage_ == page ? error_ : nullptr;
}

void TPageSurfaces::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  stopped_ = true;
  pending_.clear();
  made_.notify_all();
}

}  // namespace hollowmere
