// The sender's reply window over real Unix-domain sockets, attacked: frames
// that lie about their size, peers that leave mid-frame, and a flood of a
// thousand connections. After each attack a ghost's real acknowledgement
// still removes exactly one queued message, the main loop stays
// responsive, and no descriptor is left behind. A ghost that takes a
// request and never answers cannot keep the sender from ending.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "ghost/DirectSstpSend.h"
#include "platform/PollMainLoop.h"
#include "platform/SocketWindows.h"
#include "platform/UniqueFd.h"
#include "support/FakeBaseware.h"
#include "support/TestPaths.h"
#include "support/UnixPeer.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::ConnectUnix;
using testing::Le32;

void Write(int fd, const std::string& bytes) {
  [[maybe_unused]] const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

const std::string kAck = "SSTP/1.4 200 OK\r\n\r\n";

TEST(HostileReplyTest, AttacksOnTheReplyWindowLoseAndDuplicateNothing) {
  testing::TempDir dir;
  const std::string folder = dir.file("fmo");
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::owner_all);
  TPollMainLoop loop;
  testing::FakeBaseware fmo(loop);  // no ghost runs: only an answer removes a message
  TSocketWindows windows(loop, folder);
  TDirectSSTP sender({loop, {fmo, windows}, [] { return std::vector<std::string>{"Sakura"}; }, {}},
                     TSstpTiming{5ms, 2s, 20ms});
  const std::string path = windows.WindowPath(sender.ReplyWindow());
  const std::string header = Le32(3001) + Le32(kSstpCopyDataId);

  const struct {
    const char* name;
    std::string bytes;  // sent, then the peer keeps the connection open ...
    bool peerLeaves;    // ... or closes it at once
  } frames[] = {
      {"announces 4 GB", header + Le32(0xFFFFFFFFu) + kAck, false},
      {"announces one byte over 1 MB", header + Le32(kMaxCopyDataBytes + 1) + kAck, false},
      {"shorter than announced", header + Le32(1000) + kAck, true},
      {"a header cut short", header.substr(0, 7), true},
  };
  std::mt19937 random(1);
  // Peers that stay connected, idle, until the acknowledgement after the
  // attack has been taken.
  std::vector<TUniqueFd> held;
  struct Attack {
    std::string name;
    std::function<void()> run;
  };
  std::vector<Attack> attacks;
  for (const auto& f : frames) {
    attacks.push_back({f.name, [&] {
                         TUniqueFd peer = ConnectUnix(path);
                         ASSERT_TRUE(peer.IsOpen());
                         Write(peer.Get(), f.bytes);
                         if (f.peerLeaves) return;
                         // Refused, so dropped unread: the peer sees the end (a reset,
                         // as bytes were left unread), no result.
                         char b;
                         const ssize_t n = ::recv(peer.Get(), &b, 1, 0);
                         EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << std::strerror(errno);
                       }});
  }
  // A quarter stay idle, the rest send garbage, a refused announcement or
  // half an acknowledgement and leave.
  attacks.push_back({"1,000 connections", [&] {
                       for (int i = 0; i < 1000; ++i) {
                         TUniqueFd peer = ConnectUnix(path);
                         ASSERT_TRUE(peer.IsOpen()) << i;
                         switch (i % 4) {
                           case 0: held.push_back(std::move(peer)); break;
                           case 1: {
                             std::string junk(1 + random() % 64, '\0');
                             for (char& c : junk) c = static_cast<char>(random());
                             Write(peer.Get(), junk);
                             break;
                           }
                           case 2: Write(peer.Get(), header + Le32(0xFFFFFFFFu)); break;
                           default: Write(peer.Get(), header + Le32(kAck.size()) + kAck.substr(0, 8)); break;
                         }
                       }
                     }});

  std::deque<TMessageItem> records(attacks.size());
  for (TMessageItem& r : records) {
    r.GhostName = "nobody";
    sender.Enqueue(r);
  }
  // Serve the loop a moment so that the window's own descriptors exist.
  loop.ServeFor(20ms, [] { return false; });
  const std::size_t descriptors = OpenDescriptors();

  for (std::size_t i = 0; i < attacks.size(); ++i) {
    SCOPED_TRACE(attacks[i].name);
    // A ticker posts steps all through the attack; the main loop must run them.
    std::atomic<bool> attacking{true};
    std::atomic<int> ticks{0};
    std::atomic<long long> worstLatencyMs{0};
    std::thread ticker([&] {
      do {
        const auto posted = Clock::now();
        loop.Post([&, posted] {
          const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - posted).count();
          if (ms > worstLatencyMs) worstLatencyMs = ms;
          ++ticks;
        });
        std::this_thread::sleep_for(2ms);
      } while (attacking);
    });
    std::thread attacker([&] {
      attacks[i].run();
      attacking = false;
    });
    EXPECT_TRUE(loop.ServeFor(30s, [&] { return !attacking.load(); }));
    attacker.join();
    ticker.join();
    loop.ServeFor(20ms, [] { return false; });  // the ticker's last steps
    EXPECT_GT(ticks.load(), 0);
    // A loop stuck on a peer stays stuck (its peers wait for it), so a
    // generous bound still tells it from a machine that is merely loaded.
    EXPECT_LT(worstLatencyMs.load(), 5000);
    EXPECT_EQ(sender.QueueLength(), attacks.size() - i) << "nothing taken as an acknowledgement";

    // A ghost's real acknowledgement is taken, once.
    std::optional<std::uint32_t> result;
    std::thread ghost([&] { result = windows.SendCopyData(sender.ReplyWindow(), {3001, kSstpCopyDataId, kAck}, 5s); });
    loop.ServeFor(10s, [&] { return sender.QueueLength() < attacks.size() - i; });
    ghost.join();
    EXPECT_EQ(result, 0u);
    loop.ServeFor(20ms, [] { return false; });
    EXPECT_EQ(sender.QueueLength(), attacks.size() - i - 1);
    EXPECT_EQ(sender.LastReply(), kAck);
    held.clear();
    // Every connection of the attack is closed again on the window's side.
    EXPECT_TRUE(loop.ServeFor(5s, [&] { return OpenDescriptors() == descriptors; }))
        << OpenDescriptors() << " open, " << descriptors << " before";
  }
}

TEST(HostileReplyTest, AGhostThatNeverAnswersCannotHoldUpTheEnd) {
  for (const bool accepts : {false, true}) {
    testing::TempDir dir;
    const std::string folder = dir.file("fmo");
    fs::create_directories(folder + "/hwnd");
    fs::permissions(folder, fs::perms::owner_all);
    fs::permissions(folder + "/hwnd", fs::perms::owner_all);
    // The ghost's window: it never reads, and may not even accept.
    const TUniqueFd ghost(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, (folder + "/hwnd/31").c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(ghost.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(ghost.Get(), 4), 0);
    TPollMainLoop loop;
    testing::FakeBaseware fmo(loop);
    fmo.SetBlock("Sakura", testing::FakeBaseware::Block("g.hwnd\x01" "31\r\ng.name\x01G\r\n"));
    TSocketWindows windows(loop, folder);
    auto sender = std::make_unique<TDirectSSTP>(
        TDirectSSTP::TParts{loop, {fmo, windows}, [] { return std::vector<std::string>{"Sakura"}; }, {}},
        TSstpTiming{5ms, 50s, 20ms});
    TMessageItem message;
    message.GhostName = "G";
    message.Script = "\\0hi";
    sender->Enqueue(message);
    pollfd knock{ghost.Get(), POLLIN, 0};
    ASSERT_TRUE(loop.ServeFor(5s, [&] { return ::poll(&knock, 1, 0) == 1; })) << accepts;
    const TUniqueFd taken(accepts ? ::accept(ghost.Get(), nullptr, nullptr) : -1);
    std::this_thread::sleep_for(50ms);  // the send now waits for its result
    const auto start = Clock::now();
    sender.reset();
    EXPECT_LT(Clock::now() - start, 2s) << (accepts ? "accepts, never reads" : "never accepts");
  }
}

}  // namespace
}  // namespace hollowmere
