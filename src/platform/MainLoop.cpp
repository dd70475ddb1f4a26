// RunOnMainThreadAndWait: a ticket shared between the waiting worker and the
// posted step. Whoever destroys the step last (the loop after running it, or
// the loop dropping it unrun) wakes the worker, so no drop leaves it waiting.
#include "platform/MainLoop.h"

#include <condition_variable>
#include <exception>
#include <mutex>

namespace hollowmere {
namespace {

struct Ticket {
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;
  bool ran = false;
  std::exception_ptr error;
};

// Lives inside the posted step; its end is the worker's wake-up.
class PendingStep {
 public:
  PendingStep(std::shared_ptr<Ticket> ticket, std::function<void()> step)
      : ticket_(std::move(ticket)), step_(std::move(step)) {}
  PendingStep(const PendingStep&) = delete;
  PendingStep& operator=(const PendingStep&) = delete;
  ~PendingStep() {
    std::lock_guard lock(ticket_->mutex);
    ticket_->finished = true;
    ticket_->changed.notify_all();
  }
  void Run() {
    std::exception_ptr error;
    try {
      step_();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(ticket_->mutex);
    ticket_->ran = true;
    ticket_->error = error;
  }

 private:
  std::shared_ptr<Ticket> ticket_;
  std::function<void()> step_;
};

}  // namespace

bool RunOnMainThreadAndWait(IMainLoop& loop, std::function<void()> step) {
  if (loop.IsMainThread()) {
    step();
    return true;
  }
  auto ticket = std::make_shared<Ticket>();
  {
    auto pending = std::make_shared<PendingStep>(ticket, std::move(step));
    loop.Post([pending] { pending->Run(); });
  }
  std::unique_lock lock(ticket->mutex);
  ticket->changed.wait(lock, [&] { return ticket->finished; });
  if (ticket->error) std::rethrow_exception(ticket->error);
  return ticket->ran;
}

}  // namespace hollowmere
