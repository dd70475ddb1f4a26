// Unix-domain sockets as windows. Receiving runs on the main loop with
// non-blocking reads, one frame per connection; sending runs on a worker
// with poll(2) deadlines.
#include "platform/SocketWindows.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <utility>

#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using Clock = std::chrono::steady_clock;

void PutLe32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t GetLe32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

TUniqueFd NewSocket() {
  return TUniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

int Connect(int fd, const sockaddr_un& addr) {
  for (;;) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

// Milliseconds left until `deadline`, rounded up, at least 0.
int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

// An eventfd that becomes readable once a stop is requested, so one poll
// waits for the socket and the stop together.
class TStopSignal {
 public:
  explicit TStopSignal(std::stop_token stop)
      : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
        callback_(std::move(stop), [this] {
          const std::uint64_t one = 1;
          [[maybe_unused]] const ssize_t n = ::write(fd_.Get(), &one, sizeof one);
        }) {}
  // -1 when no eventfd could be had: the send then waits for its deadline.
  int Fd() const { return fd_.Get(); }

 private:
  TUniqueFd fd_;
  std::stop_callback<std::function<void()>> callback_;
};

// True once `fd` is ready for `events` (or has failed); false at the
// deadline or once `stop` is readable.
bool WaitFor(int fd, short events, Clock::time_point deadline, int stop) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stop, POLLIN, 0}};
    const int ready = ::poll(p, stop >= 0 ? 2 : 1, MillisecondsLeft(deadline));
    if (ready > 0) return p[1].revents == 0;
    if (ready < 0 && errno != EINTR) return false;
    if (ready == 0 && Clock::now() >= deadline) return false;
  }
}

// Moves `length` bytes through `io` (a send or a receive), waiting for the
// socket as long as the deadline allows; false when it fails, time is up or
// `stop` is readable.
template <typename Io>
bool Transfer(int fd, char* data, std::size_t length, short events, Clock::time_point deadline,
              int stop, Io io) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = io(fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, events, deadline, stop)) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

EWindowError WindowError(const std::string& path, int error) {
  return EWindowError(text::Sjis("SSTP返信用ウィンドウを作成できませんでした: ") + ProgramPath(path) +
                      " (" + std::strerror(error) + ")");
}

class TSocketWindow : public ICopyDataWindow {
 public:
  TSocketWindow(IMainLoop& loop, TUniqueFd listener, std::string path, TWindowHandle handle,
                TCopyDataHandler handler)
      : loop_(loop),
        listener_(std::move(listener)),
        path_(std::move(path)),
        handle_(handle),
        handler_(std::move(handler)) {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) inode_ = st.st_ino;
    listenWatch_ = loop_.WatchReadable(listener_.Get(), [this] { Accept(); });
  }

  ~TSocketWindow() override {
    listenWatch_.reset();
    pending_.clear();
    // Only our own socket file: a later window may have replaced it.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == inode_) {
      ::unlink(path_.c_str());
    }
  }

  TWindowHandle Handle() const override { return handle_; }

 private:
  struct Pending {
    TUniqueFd fd;
    std::unique_ptr<IFdWatch> watch;
    TCopyDataFrameReader frame;
    bool heard = false;            // whether any byte came yet
    Clock::time_point lastActive;  // when accepted, or when bytes last came
  };

  void Accept() {
    // A bounded number per round, so a flood of connections cannot hold the loop.
    for (int i = 0; i < 16; ++i) {
      const int fd = ::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (pending_.size() >= kMaxPendingFrames) DropLongestIdle();
      const unsigned long id = nextId_++;
      Pending& p = pending_[id];
      p.fd.Reset(fd);
      p.lastActive = Clock::now();
      p.watch = loop_.WatchReadable(fd, [this, id] { Serve(id); });
    }
  }

  // A peer that has sent nothing yet goes first, then the one idle longest,
  // so a crowd of idle or dead peers cannot push out one that is sending.
  void DropLongestIdle() {
    const auto key = [](const Pending& p) { return std::pair(p.heard, p.lastActive); };
    const auto longest = std::min_element(pending_.begin(), pending_.end(), [&](const auto& a, const auto& b) {
      return key(a.second) < key(b.second);
    });
    if (longest != pending_.end()) pending_.erase(longest);
  }

  void Serve(unsigned long id) {
    const auto it = pending_.find(id);
    if (it == pending_.end()) return;
    Pending& p = it->second;
    char buf[65536];
    while (p.frame.State() == TCopyDataFrameReader::EState::Reading) {
      const ssize_t n = ::recv(p.fd.Get(), buf, std::min(p.frame.Wanted(), sizeof buf), MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n <= 0) {
        // The peer went before its frame was whole: nothing to handle.
        pending_.erase(it);
        return;
      }
      p.heard = true;
      p.lastActive = Clock::now();
      p.frame.Take(buf, static_cast<std::size_t>(n));
    }
    if (p.frame.State() == TCopyDataFrameReader::EState::Refused) {
      pending_.erase(it);
      return;
    }
    // Whole: out of the table before the handler runs, whatever it does.
    Pending done = std::move(p);
    pending_.erase(it);
    done.watch.reset();
    const TCopyData message = done.frame.TakeMessage();
    const std::uint32_t result = handler_(message);
    std::string answer;
    PutLe32(answer, result);
    // Four bytes into an empty socket buffer; a peer that left loses them.
    [[maybe_unused]] const ssize_t sent =
        ::send(done.fd.Get(), answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  }

  IMainLoop& loop_;
  TUniqueFd listener_;
  std::string path_;
  ino_t inode_ = 0;
  TWindowHandle handle_;
  TCopyDataHandler handler_;
  std::unique_ptr<IFdWatch> listenWatch_;
  // Connections whose frame is not whole yet, by arrival.
  std::map<unsigned long, Pending> pending_;
  unsigned long nextId_ = 0;
};

enum class EBind { Bound, Taken, Failed };

// A taken name whose socket refuses connections belongs to no live window.
bool IsStaleSocket(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISSOCK(st.st_mode)) return false;
  sockaddr_un addr;
  if (!MakeAddress(path, addr)) return false;
  TUniqueFd probe = NewSocket();
  if (!probe.IsOpen()) return false;
  const int error = Connect(probe.Get(), addr);
  return error == ECONNREFUSED || error == ENOENT;
}

}  // namespace

std::size_t TCopyDataFrameReader::Wanted() const {
  if (state_ != EState::Reading) return 0;
  if (header_.size() < kCopyDataHeaderBytes) return kCopyDataHeaderBytes - header_.size();
  return size_ - message_.Bytes.size();
}

std::size_t TCopyDataFrameReader::Take(const char* data, std::size_t length) {
  const std::size_t taken = std::min(length, Wanted());
  if (taken == 0) return 0;
  if (header_.size() < kCopyDataHeaderBytes) {
    header_.append(data, taken);
    if (header_.size() < kCopyDataHeaderBytes) return taken;
    size_ = GetLe32(header_.data() + 8);
    if (size_ > kMaxCopyDataBytes) {
      state_ = EState::Refused;
      return taken;
    }
    message_.Sender = GetLe32(header_.data());
    message_.DwData = GetLe32(header_.data() + 4);
    // The body grows as its bytes arrive: an announcement alone costs
    // nothing.
  } else {
    message_.Bytes.append(data, taken);
  }
  if (message_.Bytes.size() == size_) state_ = EState::Whole;
  return taken;
}

std::string EncodeCopyDataFrame(const TCopyData& message) {
  std::string frame;
  frame.reserve(kCopyDataHeaderBytes + message.Bytes.size());
  PutLe32(frame, message.Sender);
  PutLe32(frame, message.DwData);
  PutLe32(frame, static_cast<std::uint32_t>(message.Bytes.size()));
  frame += message.Bytes;
  return frame;
}

TSocketWindows::TSocketWindows(IMainLoop& loop, std::string folder)
    : loop_(loop), folder_(std::move(folder)) {}

std::string TSocketWindows::WindowPath(TWindowHandle handle) const {
  return folder_ + "/hwnd/" + std::to_string(handle);
}

std::unique_ptr<ICopyDataWindow> TSocketWindows::CreateWindow(TCopyDataHandler handler) {
  const TTrustedFolder folder = OpenTrustedFolder(folder_, true);
  if (folder.State != TTrustedFolder::EState::Open) {
    throw WindowError(folder_, folder.State == TTrustedFolder::EState::Missing ? ENOENT : EPERM);
  }
  // A linked or shared hwnd/ would hand our reply window to other accounts.
  const TTrustedFolder hwnd = OpenTrustedSubfolder(folder, "hwnd", folder_ + "/hwnd", true);
  if (hwnd.State != TTrustedFolder::EState::Open) {
    throw WindowError(folder_ + "/hwnd", hwnd.State == TTrustedFolder::EState::Missing ? ENOENT : EPERM);
  }
  constexpr long long kStride = 1LL << 22;  // above every process id
  for (long long candidate = getpid(); candidate <= INT32_MAX; candidate += kStride) {
    const auto handle = static_cast<TWindowHandle>(candidate);
    const std::string path = WindowPath(handle);
    sockaddr_un addr;
    if (!MakeAddress(path, addr)) throw WindowError(path, ENAMETOOLONG);
    for (int attempt = 0; attempt < 2; ++attempt) {
      TUniqueFd listener = NewSocket();
      if (!listener.IsOpen()) throw WindowError(path, errno);
      if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        // Owner only, before anyone can connect.
        if (::chmod(path.c_str(), 0600) != 0 || ::listen(listener.Get(), 16) != 0) {
          const int error = errno;
          ::unlink(path.c_str());
          throw WindowError(path, error);
        }
        return std::make_unique<TSocketWindow>(loop_, std::move(listener), path, handle,
                                               std::move(handler));
      }
      if (errno != EADDRINUSE) throw WindowError(path, errno);
      if (attempt > 0 || !IsStaleSocket(path)) break;
      ::unlink(path.c_str());
    }
  }
  throw WindowError(folder_ + "/hwnd", EADDRINUSE);
}

std::optional<std::uint32_t> TSocketWindows::SendCopyData(TWindowHandle target,
                                                          const TCopyData& message,
                                                          std::chrono::milliseconds timeout,
                                                          std::stop_token stop) {
  if (target <= 0 || stop.stop_requested()) return std::nullopt;
  const auto deadline = Clock::now() + timeout;
  const TTrustedFolder hwnd =
      OpenTrustedSubfolder(OpenTrustedFolder(folder_, false), "hwnd", folder_ + "/hwnd", false);
  if (hwnd.State != TTrustedFolder::EState::Open) return std::nullopt;
  // Only a socket itself: a link could lead the request out of the folder.
  // No other account can change the trusted folder between look and connect.
  const std::string name = std::to_string(target);
  struct stat st {};
  if (::fstatat(hwnd.Fd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISSOCK(st.st_mode)) {
    return std::nullopt;
  }
  sockaddr_un addr;
  if (!MakeAddress(WindowPath(target), addr)) return std::nullopt;
  TUniqueFd fd = NewSocket();
  if (!fd.IsOpen() || Connect(fd.Get(), addr) != 0) return std::nullopt;

  std::string frame = EncodeCopyDataFrame(message);
  const auto send = [](int s, char* data, std::size_t n) { return ::send(s, data, n, MSG_NOSIGNAL); };
  const auto receive = [](int s, char* data, std::size_t n) { return ::recv(s, data, n, 0); };
  char answer[4];
  const TStopSignal stopped(std::move(stop));
  if (!Transfer(fd.Get(), frame.data(), frame.size(), POLLOUT, deadline, stopped.Fd(), send) ||
      !Transfer(fd.Get(), answer, sizeof answer, POLLIN, deadline, stopped.Fd(), receive)) {
    return std::nullopt;
  }
  return GetLe32(answer);
}

}  // namespace hollowmere
