// The main (window) thread's event loop as the core sees it. Worker threads
// hand steps to the main thread through it, sockets owned by the main thread
// are served by it, and a main-thread wait (for a worker to end) keeps
// serving both, so the wait can never block the worker it waits for.
//
// Invariants: posted steps run on the main thread, one at a time, in the
// order they were posted; a step that the loop drops without running (the
// loop ended first) is destroyed, never run late on another thread.
#pragma once

#include <functional>
#include <memory>

namespace hollowmere {

// Watching a descriptor for input ends when this object is destroyed.
class IFdWatch {
 public:
  virtual ~IFdWatch() = default;
};

class IMainLoop {
 public:
  virtual ~IMainLoop() = default;
  // Any thread. `step` runs later on the main thread.
  virtual void Post(std::function<void()> step) = 0;
  // Main thread. `onReadable` runs on the main thread whenever `fd` has input
  // (or is closed by its peer) until the watch is destroyed. The callback may
  // destroy its own watch.
  virtual std::unique_ptr<IFdWatch> WatchReadable(int fd, std::function<void()> onReadable) = 0;
  // Main thread. Serves posted steps, watches and (in the window) user input
  // until `done` holds; `done` is tested after every event and at least
  // every few milliseconds.
  virtual void ServeUntil(const std::function<bool()>& done) = 0;
  virtual bool IsMainThread() const = 0;
};

// The framework's "run this on the main thread and wait": from a worker,
// posts `step` and blocks until it has returned, passing on anything it
// throws; on the main thread, runs it at once. False, with `step` not run,
// when the loop dropped it because the program is ending.
bool RunOnMainThreadAndWait(IMainLoop& loop, std::function<void()> step);

}  // namespace hollowmere
