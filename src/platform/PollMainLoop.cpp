// poll(2) loop: the eventfd wakes it for posted steps; watched descriptors are
// polled beside it. Watch callbacks are looked up again after every call,
// since a callback may end its own watch or another.
#include "platform/PollMainLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace hollowmere {

class TPollMainLoop::Watch : public IFdWatch {
 public:
  Watch(TPollMainLoop& loop, unsigned long id) : loop_(loop), id_(id) {}
  ~Watch() override { loop_.watches_.erase(id_); }

 private:
  TPollMainLoop& loop_;
  unsigned long id_;
};

TPollMainLoop::TPollMainLoop()
    : mainThread_(std::this_thread::get_id()), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TPollMainLoop::~TPollMainLoop() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(posted_);
  }
  dropped.clear();
  close(wakeFd_);
}

void TPollMainLoop::Post(std::function<void()> step) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(step));
  }
  const uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail here.
  [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
}

std::unique_ptr<IFdWatch> TPollMainLoop::WatchReadable(int fd, std::function<void()> onReadable) {
  const unsigned long id = nextWatch_++;
  watches_.emplace(id, WatchEntry{fd, std::move(onReadable)});
  return std::make_unique<Watch>(*this, id);
}

bool TPollMainLoop::IsMainThread() const { return std::this_thread::get_id() == mainThread_; }

void TPollMainLoop::RunPostedSteps() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(wakeFd_, &count, sizeof count);
  // Steps posted by the steps themselves wait for the next round, so a step
  // that reposts itself cannot starve the watches.
  std::deque<std::function<void()>> steps;
  {
    std::lock_guard lock(mutex_);
    steps.swap(posted_);
  }
  while (!steps.empty()) {
    std::function<void()> step = std::move(steps.front());
    steps.pop_front();
    step();
  }
}

void TPollMainLoop::ServeOnce(int timeoutMs) {
  std::vector<pollfd> fds{{wakeFd_, POLLIN, 0}};
  std::vector<unsigned long> ids;
  for (const auto& [id, entry] : watches_) {
    fds.push_back({entry.fd, POLLIN, 0});
    ids.push_back(id);
  }
  const int ready = poll(fds.data(), fds.size(), timeoutMs);
  if (ready <= 0) return;
  if (fds[0].revents != 0) RunPostedSteps();
  for (std::size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    const auto it = watches_.find(ids[i - 1]);
    if (it == watches_.end()) continue;
    // A copy: the callback may destroy the watch that holds it.
    const std::function<void()> callback = it->second.onReadable;
    callback();
  }
}

void TPollMainLoop::ServeUntil(const std::function<bool()>& done) {
  while (!done()) ServeOnce(10);
}

bool TPollMainLoop::ServeFor(std::chrono::milliseconds limit, const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    ServeOnce(static_cast<int>(std::min<long long>(left.count(), 10)));
  }
  return true;
}

void TPollMainLoop::ServePending() { ServeOnce(0); }

}  // namespace hollowmere
