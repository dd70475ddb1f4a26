// The main-thread loop: worker steps run on the main thread in order, a
// waiting worker gets its step's outcome, sockets are served beside steps,
// and a loop that ends releases the workers still waiting on it.
#include "platform/PollMainLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace hollowmere {
namespace {

using namespace std::chrono_literals;

TEST(MainLoopTest, WorkerStepsRunOnTheMainThreadInOrderAndPassBackErrors) {
  TPollMainLoop loop;
  const auto main = std::this_thread::get_id();
  std::vector<int> order;
  std::atomic<bool> workerDone{false};
  bool thrownSeen = false;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(RunOnMainThreadAndWait(loop, [&, i] {
        EXPECT_EQ(std::this_thread::get_id(), main);
        order.push_back(i);
      }));
    }
    try {
      RunOnMainThreadAndWait(loop, [] { throw std::runtime_error("boom"); });
    } catch (const std::runtime_error& e) {
      thrownSeen = std::string(e.what()) == "boom";
    }
    workerDone = true;
  });
  EXPECT_TRUE(loop.ServeFor(10s, [&] { return workerDone.load(); }));
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(thrownSeen);
  // On the main thread the step runs at once.
  bool ran = false;
  EXPECT_TRUE(RunOnMainThreadAndWait(loop, [&] { ran = true; }));
  EXPECT_TRUE(ran);
}

TEST(MainLoopTest, SocketsAreServedWhileWaitingAndAWatchMayEndItself) {
  TPollMainLoop loop;
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  std::string got;
  std::unique_ptr<IFdWatch> watch;
  watch = loop.WatchReadable(pair[0], [&] {
    char buf[16];
    const ssize_t n = read(pair[0], buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    if (got.size() >= 4) watch.reset();
  });
  std::thread writer([&] {
    EXPECT_EQ(write(pair[1], "ab", 2), 2);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(write(pair[1], "cd", 2), 2);
  });
  EXPECT_TRUE(loop.ServeFor(10s, [&] { return watch == nullptr; }));
  writer.join();
  EXPECT_EQ(got, "abcd");
  // No watch left: more input is not read.
  EXPECT_EQ(write(pair[1], "ef", 2), 2);
  loop.ServeFor(30ms, [] { return false; });
  EXPECT_EQ(got, "abcd");
  close(pair[0]);
  close(pair[1]);
}

// Knows when a step has been queued.
class CountingLoop : public TPollMainLoop {
 public:
  void Post(std::function<void()> step) override {
    TPollMainLoop::Post(std::move(step));
    ++posts;
  }
  std::atomic<int> posts{0};
};

TEST(MainLoopTest, AnEndingLoopReleasesWaitingWorkersWithoutRunningTheirSteps) {
  std::atomic<int> result{-1};
  std::atomic<bool> ran{false};
  std::thread worker;
  {
    CountingLoop loop;
    worker = std::thread(
        [&] { result = RunOnMainThreadAndWait(loop, [&] { ran = true; }) ? 1 : 0; });
    while (loop.posts == 0) std::this_thread::sleep_for(1ms);
  }
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(ran.load());
}

}  // namespace
}  // namespace hollowmere
