// Windows as Unix-domain sockets, served by our own main loop: a message and
// its result between two parties, sends that fail at once or time out, frames
// from a hostile or slow peer, and how a window picks its handle.
#include "platform/SocketWindows.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/PollMainLoop.h"
#include "platform/UniqueFd.h"
#include "support/TestPaths.h"
#include "support/UnixPeer.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ConnectUnix;
using testing::Le32;
using testing::TempDir;
using Clock = std::chrono::steady_clock;

constexpr TWindowHandle kStride = 1 << 22;

sockaddr_un Address(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  return addr;
}

// A socket bound at `path`; listening unless `listening` is false.
TUniqueFd Bound(const std::string& path, bool listening) {
  TUniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_un addr = Address(path);
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
  if (listening) ::listen(fd.Get(), 4);
  return fd;
}

bool WriteAll(int fd, const std::string& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class SocketWindowsTest : public ::testing::Test {
 protected:
  SocketWindowsTest() {
    fs::create_directory(Folder());
    ::chmod(Folder().c_str(), 0700);
  }
  std::string Folder() const { return dir.file("fmo"); }
  std::unique_ptr<ICopyDataWindow> Window(std::uint32_t result = 77) {
    return windows.CreateWindow([this, result](const TCopyData& m) {
      EXPECT_TRUE(loop.IsMainThread());
      received.push_back(m);
      return result;
    });
  }
  // A sender on its own thread, the loop served meanwhile.
  std::optional<std::uint32_t> Send(TWindowHandle target, const TCopyData& message,
                                    std::chrono::milliseconds timeout = 5s) {
    std::optional<std::uint32_t> result;
    std::atomic<bool> done{false};
    std::thread sender([&] {
      result = windows.SendCopyData(target, message, timeout);
      done = true;
    });
    loop.ServeFor(30s, [&] { return done.load(); });
    sender.join();
    return result;
  }
  bool ServeUntilReceived(std::size_t count) {
    return loop.ServeFor(5s, [&] { return received.size() >= count; });
  }

  TempDir dir;
  TPollMainLoop loop;
  TSocketWindows windows{loop, Folder()};
  std::vector<TCopyData> received;
};

TEST_F(SocketWindowsTest, AMessageAndItsResult) {
  auto window = Window(77);
  EXPECT_EQ(window->Handle(), getpid());
  const std::string path = windows.WindowPath(window->Handle());
  EXPECT_EQ(path, Folder() + "/hwnd/" + std::to_string(getpid()));
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_TRUE(fs::is_socket(path));
  EXPECT_EQ(Mode(Folder() + "/hwnd"), 0700u);

  const struct {
    const char* what;
    TCopyData message;
  } cases[] = {
      {"text", {4242, 9801, "SEND SSTP/1.4\r\n\r\n"}},
      {"NUL bytes and every byte value", {1, 0xFFFFFFFFu, std::string("a\0\xff\x80z", 5)}},
      {"empty", {0, 0, ""}},
      {"exactly the largest frame", {2, 3, std::string(kMaxCopyDataBytes, 'x')}},
  };
  for (const auto& c : cases) {
    received.clear();
    EXPECT_EQ(Send(window->Handle(), c.message), 77u) << c.what;
    ASSERT_EQ(received.size(), 1u) << c.what;
    EXPECT_EQ(received[0].Sender, c.message.Sender) << c.what;
    EXPECT_EQ(received[0].DwData, c.message.DwData) << c.what;
    EXPECT_EQ(received[0].Bytes, c.message.Bytes) << c.what;
  }
  // The window's socket goes with it.
  const TWindowHandle handle = window->Handle();
  window.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
  EXPECT_EQ(windows.SendCopyData(handle, {1, 2, "x"}, 1s), std::nullopt);
}

TEST_F(SocketWindowsTest, SendsToNoLiveWindowFailAtOnce) {
  const std::string hwnd = Folder() + "/hwnd/";
  fs::create_directory(hwnd);
  { const TUniqueFd dead = Bound(hwnd + "11", false); }  // a dead window's socket file
  testing::WriteFileBytes(hwnd + "12", "not a socket");
  for (const TWindowHandle target : {0, -3, 10, 11, 12}) {
    const auto start = Clock::now();
    EXPECT_EQ(windows.SendCopyData(target, {1, 9801, "x"}, 30s), std::nullopt) << target;
    EXPECT_LT(Clock::now() - start, 5s) << target;
  }
}

TEST_F(SocketWindowsTest, AWindowThatNeverAnswersFailsAfterTheTimeout) {
  const std::string hwnd = Folder() + "/hwnd/";
  fs::create_directory(hwnd);
  const TUniqueFd silent = Bound(hwnd + "21", true);  // accepts into its backlog, never reads
  const auto start = Clock::now();
  EXPECT_EQ(windows.SendCopyData(21, {1, 9801, "hello"}, 200ms), std::nullopt);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 5s);
}

TEST_F(SocketWindowsTest, AStopEndsASendThatWaitsOnAPeer) {
  const std::string hwnd = Folder() + "/hwnd/";
  fs::create_directory(hwnd);
  const TUniqueFd neverAccepts = Bound(hwnd + "31", true);
  const TUniqueFd acceptsOnly = Bound(hwnd + "32", true);
  const struct {
    const char* what;
    TWindowHandle target;
    std::size_t bytes;  // past the socket's buffer, the send waits to write
  } cases[] = {
      {"never accepts", 31, 5},
      {"accepts and never reads", 32, 5},
      {"accepts and never reads a large frame", 32, kMaxCopyDataBytes},
  };
  for (const auto& c : cases) {
    std::stop_source stop;
    std::optional<std::uint32_t> result{0};
    std::atomic<bool> done{false};
    std::thread sender([&] {
      result = windows.SendCopyData(c.target, {1, 9801, std::string(c.bytes, 's')}, 50s, stop.get_token());
      done = true;
    });
    const TUniqueFd accepted(c.target == 32 ? ::accept(acceptsOnly.Get(), nullptr, nullptr) : -1);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(done) << c.what;
    stop.request_stop();
    const auto stopped = Clock::now();
    while (!done && Clock::now() - stopped < 3s) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(done) << c.what << ": still waiting 3 s after the stop";
    if (!done) ::shutdown(accepted.Get(), SHUT_RDWR);  // lets the thread go, so the test can end
    sender.join();
    EXPECT_EQ(result, std::nullopt) << c.what;
  }
  // A stop requested before the send sends nothing.
  std::stop_source stopped;
  stopped.request_stop();
  const auto window = Window();
  EXPECT_EQ(windows.SendCopyData(window->Handle(), {1, 2, "x"}, 1s, stopped.get_token()), std::nullopt);
  loop.ServeFor(50ms, [] { return false; });
  EXPECT_TRUE(received.empty());
}

TEST_F(SocketWindowsTest, NothingIsSentIntoAFolderOthersMayWrite) {
  const auto window = Window();
  ::chmod(Folder().c_str(), 0777);
  EXPECT_EQ(Send(window->Handle(), {1, 2, "x"}), std::nullopt);
  EXPECT_TRUE(received.empty());
  TSocketWindows others(loop, Folder());
  try {
    others.CreateWindow([](const TCopyData&) { return 0u; });
    ADD_FAILURE() << "a window in a folder others may write";
  } catch (const EWindowError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(text::Sjis("SSTP返信用ウィンドウを作成できませんでした"), 0), 0u);
  }
}

// True when a connection waits on the listening socket `fd`.
bool Knocked(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

TEST_F(SocketWindowsTest, NoSocketGoesIntoNorThroughALinkOrAnHwndFolderOthersMayWrite) {
  const std::string open = dir.file("open");
  fs::create_directory(open);
  ::chmod(open.c_str(), 0777);
  const std::string closed = dir.file("closed");
  fs::create_directory(closed);
  ::chmod(closed.c_str(), 0700);
  // A live window outside every folder the program may use.
  const TUniqueFd outside = Bound(open + "/41", true);
  const struct {
    const char* what;
    std::function<void(const std::string& hwnd)> make;
  } cases[] = {
      {"hwnd/ links to a folder others may write", [&](const std::string& h) { fs::create_directory_symlink(open, h); }},
      {"hwnd/ links to a private folder", [&](const std::string& h) { fs::create_directory_symlink(closed, h); }},
      {"hwnd/ others may write",
       [](const std::string& h) {
         fs::create_directory(h);
         ::chmod(h.c_str(), 0777);
       }},
      {"hwnd/41 links to the live window",
       [&](const std::string& h) {
         fs::create_directory(h);
         ::chmod(h.c_str(), 0700);
         fs::create_symlink(open + "/41", h + "/41");
       }},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string folder = dir.file("case" + std::to_string(n++));
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    c.make(folder + "/hwnd");
    TSocketWindows here(loop, folder);
    EXPECT_EQ(here.SendCopyData(41, {1, 9801, "x"}, 1s), std::nullopt) << c.what;
    EXPECT_FALSE(Knocked(outside.Get())) << c.what;
    const bool hwndTrusted = std::string(c.what).find("hwnd/41") != std::string::npos;
    if (hwndTrusted) continue;
    EXPECT_THROW(here.CreateWindow([](const TCopyData&) { return 0u; }), EWindowError) << c.what;
    EXPECT_FALSE(fs::exists(open + "/" + std::to_string(getpid()))) << c.what;
    EXPECT_FALSE(fs::exists(closed + "/" + std::to_string(getpid()))) << c.what;
  }
}

TEST_F(SocketWindowsTest, BrokenFramesAreDroppedAndTheWindowGoesOn) {
  const auto window = Window();
  const std::string path = windows.WindowPath(window->Handle());
  const std::string header = Le32(5) + Le32(9801);
  const struct {
    const char* what;
    std::string bytes;
    bool peerLeaves;  // the peer closes after writing; otherwise the window must close
  } cases[] = {
      {"announces 4 GB", header + Le32(0xFFFFFFFFu) + "abc", false},
      {"announces one byte over 1 MB", header + Le32(kMaxCopyDataBytes + 1), false},
      {"a short header", header.substr(0, 5), true},
      {"a short body", header + Le32(10) + "abc", true},
  };
  for (const auto& c : cases) {
    TUniqueFd peer = ConnectUnix(path);
    ASSERT_TRUE(peer.IsOpen()) << c.what;
    ASSERT_TRUE(WriteAll(peer.Get(), c.bytes)) << c.what;
    if (c.peerLeaves) {
      peer.Reset();
      loop.ServeFor(50ms, [] { return false; });
    } else {
      // Dropped at once, unread: the peer sees the end without a result.
      std::atomic<bool> ended{false};
      std::thread reader([&] {
        char b;
        ended = ::recv(peer.Get(), &b, 1, 0) <= 0;
      });
      const bool closedByTheWindow = loop.ServeFor(5s, [&] { return ended.load(); });
      ::shutdown(peer.Get(), SHUT_RDWR);
      reader.join();
      EXPECT_TRUE(closedByTheWindow) << c.what;
    }
    EXPECT_TRUE(received.empty()) << c.what;
  }
  EXPECT_EQ(Send(window->Handle(), {1, 2, "still here"}), 77u);
}

TEST_F(SocketWindowsTest, ASlowPeerHoldsUpNobody) {
  const auto window = Window();
  const std::string path = windows.WindowPath(window->Handle());
  const std::string frame = EncodeCopyDataFrame({8, 9, "slow one"});
  TUniqueFd slow = ConnectUnix(path);
  ASSERT_TRUE(WriteAll(slow.Get(), frame.substr(0, 5)));
  loop.ServeFor(20ms, [] { return false; });
  // Nor can a crowd of later peers that send nothing push it out.
  std::vector<TUniqueFd> idle;
  for (std::size_t i = 0; i < 2 * kMaxPendingFrames; ++i) {
    idle.push_back(ConnectUnix(path));
    loop.ServePending();
  }
  EXPECT_EQ(Send(window->Handle(), {1, 2, "quick one"}), 77u);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].Bytes, "quick one");
  // The slow frame, finished a byte at a time, is handled too.
  for (std::size_t i = 5; i < frame.size(); ++i) {
    ASSERT_TRUE(WriteAll(slow.Get(), frame.substr(i, 1)));
    loop.ServePending();
  }
  ASSERT_TRUE(ServeUntilReceived(2));
  EXPECT_EQ(received[1].Bytes, "slow one");
  char result[4];
  EXPECT_EQ(::recv(slow.Get(), result, 4, MSG_WAITALL), 4);
  EXPECT_EQ(std::string(result, 4), Le32(77));
}

TEST_F(SocketWindowsTest, AFloodOfIdlePeersPushesOutTheOldest) {
  const auto window = Window();
  const std::string path = windows.WindowPath(window->Handle());
  std::vector<TUniqueFd> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(ConnectUnix(path));
    ASSERT_TRUE(idle.back().IsOpen()) << i;
    loop.ServePending();
  }
  EXPECT_EQ(Send(window->Handle(), {1, 2, "through the crowd"}), 77u);
  ASSERT_EQ(received.size(), 1u);
  // The first idle peers were let go; the latest are still waited for.
  char b;
  EXPECT_EQ(::recv(idle.front().Get(), &b, 1, MSG_DONTWAIT), 0);
  EXPECT_EQ(::recv(idle.back().Get(), &b, 1, MSG_DONTWAIT), -1);
}

TEST_F(SocketWindowsTest, AHandleClashesWithNoLiveWindow) {
  const std::string hwnd = Folder() + "/hwnd/";
  fs::create_directory(hwnd);
  const std::string own = hwnd + std::to_string(getpid());
  const TWindowHandle pid = getpid();
  {
    const TUniqueFd live = Bound(own, true);
    const auto window = Window();
    EXPECT_EQ(window->Handle(), pid + kStride);
    EXPECT_EQ(Send(pid + kStride, {1, 2, "x"}), 77u);
  }
  EXPECT_TRUE(fs::exists(fs::symlink_status(own)));  // not ours to remove
  {
    // That live window has gone, leaving its socket file: a stale one.
    const auto window = Window();
    EXPECT_EQ(window->Handle(), pid);
    EXPECT_EQ(Send(pid, {1, 2, "x"}), 77u);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(own)));
  testing::WriteFileBytes(own, "not a socket");
  {
    const auto window = Window();
    EXPECT_EQ(window->Handle(), pid + kStride);
  }
  EXPECT_EQ(testing::ReadFileBytes(own), "not a socket");
}

}  // namespace
}  // namespace hollowmere
