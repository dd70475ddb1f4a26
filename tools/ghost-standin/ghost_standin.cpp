// ghost-standin: a stand-in baseware for trying play links without a real
// one. It speaks the baseware's side of docs/baseware-interface.md on its
// own (none of the program's socket code is shared, so it checks the
// interface rather than mirroring it): it publishes its ghosts in an FMO
// block under the block's lock, owns a window socket per ghost, prints every
// request a ghost receives as readable text, and answers each
// "SEND SSTP/1.4" request with "SSTP/1.4 200 OK" sent to the request's
// "HWnd" window (or, as asked, with 204, late, or never).
//
// Usage: ghost-standin [--dir DIR] [--fmo NAME] [--ghost GHOST]... [--no-ghost]
//                      [--answer ok|204|late:MS|never]
//   GHOST is NAME,KERONAME[,HWND][,KEY=VALUE]... in UTF-8; without --ghost
//   one ghost "さくら,うにゅう" is published.
// Commands on standard input, one a line: "add GHOST", "remove NAME",
// "answer MODE", "quit". It ends on "quit", SIGINT or SIGTERM, and then
// withdraws its ghosts and removes its sockets.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/FmoFolder.h"
#include "text/Encoding.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kMaxFrameBytes = 1024 * 1024;
constexpr std::uint32_t kSstpDwData = 9801;

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 's';
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &c, 1);
}

void Say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string ToCp932(const std::string& utf8) {
  try {
    return hollowmere::text::Utf8ToCp932(utf8);
  } catch (const std::exception&) {
    return utf8;
  }
}

void PutLe32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t GetLe32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

bool Address(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  return true;
}

struct Answer {
  enum Kind { Ok, NoContent, Late, Never } kind = Ok;
  int delayMs = 0;
};

std::optional<Answer> ParseAnswer(const std::string& text) {
  if (text == "ok") return Answer{Answer::Ok, 0};
  if (text == "204") return Answer{Answer::NoContent, 0};
  if (text == "never") return Answer{Answer::Never, 0};
  if (text.rfind("late:", 0) == 0) {
    const std::string ms = text.substr(5);
    if (!ms.empty() && ms.size() < 9 && std::all_of(ms.begin(), ms.end(), ::isdigit)) {
      return Answer{Answer::Late, std::stoi(ms)};
    }
  }
  return std::nullopt;
}

struct GhostInfo {
  std::string name;
  std::string keroName;
  int hwnd = 0;
  std::vector<std::pair<std::string, std::string>> extra;
};

std::optional<GhostInfo> ParseGhost(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() < 2 || fields[0].empty()) return std::nullopt;
  GhostInfo info;
  info.name = fields[0];
  info.keroName = fields[1];
  for (std::size_t i = 2; i < fields.size(); ++i) {
    const std::string& f = fields[i];
    if (i == 2 && !f.empty() && f.size() < 10 && std::all_of(f.begin(), f.end(), ::isdigit)) {
      info.hwnd = std::stoi(f);
      continue;
    }
    const std::size_t eq = f.find('=');
    if (eq == std::string::npos || eq == 0) return std::nullopt;
    info.extra.emplace_back(f.substr(0, eq), f.substr(eq + 1));
  }
  return info;
}

struct Ghost {
  GhostInfo info;
  int listenFd = -1;
  std::string socketPath;
};

struct Connection {
  int fd = -1;
  int ghostHwnd = 0;
  std::string data;
};

// An answer held back ("late"): the reply and the result go out at `when`.
struct Deferred {
  Clock::time_point when;
  int fd;
  int ghostHwnd;
  std::string replyTo;
  std::string reply;
};

class Standin {
 public:
  Standin(std::string dir, std::string fmo, Answer answer)
      : dir_(std::move(dir)), fmo_(std::move(fmo)), answer_(answer) {}

  bool Prepare() {
    if (mkdir(dir_.c_str(), 0700) != 0 && errno != EEXIST) return Fail("cannot make " + dir_);
    if (mkdir((dir_ + "/hwnd").c_str(), 0700) != 0 && errno != EEXIST) {
      return Fail("cannot make " + dir_ + "/hwnd");
    }
    const hollowmere::TTrustedFolder folder = hollowmere::OpenTrustedFolder(dir_, false);
    if (folder.State != hollowmere::TTrustedFolder::EState::Open) {
      Say("warning: readers will refuse this folder: " + folder.Reason);
    } else if (const hollowmere::TTrustedFolder hwnd =
                   hollowmere::OpenTrustedSubfolder(folder, "hwnd", dir_ + "/hwnd", false);
               hwnd.State != hollowmere::TTrustedFolder::EState::Open) {
      Say("warning: senders will refuse the window folder: " + hwnd.Reason);
    }
    return true;
  }

  bool Add(GhostInfo info) {
    for (const Ghost& g : ghosts_) {
      if (g.info.name == info.name) return Fail("a ghost named " + info.name + " is already here");
    }
    Ghost ghost;
    ghost.info = std::move(info);
    if (!OpenWindow(ghost)) return false;
    ghosts_.push_back(ghost);
    Publish();
    Say("ghost " + ghost.info.name + " (" + ghost.info.keroName + ") at window " +
        std::to_string(ghost.info.hwnd));
    return true;
  }

  bool Remove(const std::string& name) {
    const auto it = std::find_if(ghosts_.begin(), ghosts_.end(),
                                 [&](const Ghost& g) { return g.info.name == name; });
    if (it == ghosts_.end()) return Fail("no ghost named " + name);
    CloseWindow(*it);
    ghosts_.erase(it);
    Publish();
    Say("removed " + name);
    return true;
  }

  void Shutdown() {
    for (Ghost& g : ghosts_) CloseWindow(g);
    ghosts_.clear();
    Publish();
    for (Connection& c : connections_) close(c.fd);
    for (Deferred& d : deferred_) close(d.fd);
  }

  int Run() {
    bool stdinOpen = true;
    std::string input;
    for (;;) {
      std::vector<pollfd> fds{{signalPipe[0], POLLIN, 0}};
      if (stdinOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
      const std::size_t firstGhost = fds.size();
      for (const Ghost& g : ghosts_) fds.push_back({g.listenFd, POLLIN, 0});
      const std::size_t firstConnection = fds.size();
      for (const Connection& c : connections_) fds.push_back({c.fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), NextTimeout()) < 0 && errno != EINTR) return 1;
      if (fds[0].revents != 0) return 0;
      RunDeferred();
      if (stdinOpen && fds[1].revents != 0) {
        char buf[4096];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
          stdinOpen = false;
        } else {
          input.append(buf, static_cast<std::size_t>(n));
          std::size_t nl;
          while ((nl = input.find('\n')) != std::string::npos) {
            std::string line = input.substr(0, nl);
            input.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!Command(line)) return 0;
          }
        }
      }
      // Connections first: the lists below may grow while serving.
      std::vector<int> readable;
      for (std::size_t i = firstConnection; i < fds.size(); ++i) {
        if (fds[i].revents != 0) readable.push_back(fds[i].fd);
      }
      for (int fd : readable) Serve(fd);
      std::vector<std::pair<int, int>> listening;
      for (std::size_t i = firstGhost; i < firstConnection; ++i) {
        if (fds[i].revents != 0) listening.emplace_back(fds[i].fd, ghosts_[i - firstGhost].info.hwnd);
      }
      for (const auto& [fd, hwnd] : listening) Accept(fd, hwnd);
    }
  }

 private:
  bool Fail(const std::string& why) {
    Say("error: " + why);
    return false;
  }

  // False to end the program.
  bool Command(const std::string& line) {
    if (line == "quit") return false;
    if (line.rfind("add ", 0) == 0) {
      if (const auto info = ParseGhost(line.substr(4))) {
        Add(*info);
      } else {
        Fail("add NAME,KERONAME[,HWND][,KEY=VALUE]...");
      }
    } else if (line.rfind("remove ", 0) == 0) {
      Remove(line.substr(7));
    } else if (line.rfind("answer ", 0) == 0) {
      if (const auto answer = ParseAnswer(line.substr(7))) {
        answer_ = *answer;
        Say("answering " + line.substr(7));
      } else {
        Fail("answer ok|204|late:MS|never");
      }
    } else if (!line.empty()) {
      Fail("unknown command: " + line);
    }
    return true;
  }

  std::string WindowPath(int hwnd) const { return dir_ + "/hwnd/" + std::to_string(hwnd); }

  // Binds the ghost's window socket: its own number, or the first free one
  // from 3001. A socket file nobody listens on is a dead window's: replaced.
  bool OpenWindow(Ghost& ghost) {
    const bool chosen = ghost.info.hwnd == 0;
    for (int hwnd = chosen ? 3001 : ghost.info.hwnd; hwnd < 1000000; ++hwnd) {
      const std::string path = WindowPath(hwnd);
      sockaddr_un addr;
      if (!Address(path, addr)) return Fail("socket path too long: " + path);
      for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
          chmod(path.c_str(), 0600);
          listen(fd, 16);
          ghost.info.hwnd = hwnd;
          ghost.listenFd = fd;
          ghost.socketPath = path;
          return true;
        }
        const int error = errno;
        close(fd);
        if (error != EADDRINUSE) return Fail("cannot bind " + path + ": " + std::strerror(error));
        if (attempt > 0 || !IsStale(path)) break;
        unlink(path.c_str());
      }
      if (!chosen) return Fail("window " + std::to_string(hwnd) + " is taken by a live window");
    }
    return Fail("no free window number");
  }

  static bool IsStale(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    sockaddr_un addr;
    Address(path, addr);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool refused = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
                         errno == ECONNREFUSED;
    close(fd);
    return refused;
  }

  void CloseWindow(Ghost& ghost) {
    if (ghost.listenFd >= 0) close(ghost.listenFd);
    ghost.listenFd = -1;
    unlink(ghost.socketPath.c_str());
  }

  // Rewrites the block under its lock: every ghost's lines, CR LF each.
 public:
  void Publish() {
    std::string text;
    for (const Ghost& g : ghosts_) {
      const std::string id = "standin" + std::to_string(g.info.hwnd) + ".";
      text += id + "hwnd\x01" + std::to_string(g.info.hwnd) + "\r\n";
      text += id + "name\x01" + ToCp932(g.info.name) + "\r\n";
      text += id + "keroname\x01" + ToCp932(g.info.keroName) + "\r\n";
      for (const auto& [key, value] : g.info.extra) {
        text += id + ToCp932(key) + "\x01" + ToCp932(value) + "\r\n";
      }
    }
    std::string block;
    PutLe32(block, static_cast<std::uint32_t>(text.size()));
    block += text;
    block += '\0';

    const std::string lockPath = dir_ + "/" + fmo_ + "FMO.lock";
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) {
      Fail("cannot lock " + lockPath);
      if (lock >= 0) close(lock);
      return;
    }
    const std::string temp = dir_ + "/." + fmo_ + ".new";
    const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = out >= 0 && write(out, block.data(), block.size()) ==
                                   static_cast<ssize_t>(block.size());
    if (out >= 0) close(out);
    written = written && rename(temp.c_str(), (dir_ + "/" + fmo_).c_str()) == 0;
    if (!written) Fail("cannot write the block " + dir_ + "/" + fmo_);
    flock(lock, LOCK_UN);
    close(lock);
  }

 private:
  void Accept(int listenFd, int hwnd) {
    for (;;) {
      const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      connections_.push_back({fd, hwnd, std::string()});
    }
  }

  void Drop(int fd) {
    close(fd);
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [fd](const Connection& c) { return c.fd == fd; }),
                       connections_.end());
  }

  void Serve(int fd) {
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [fd](const Connection& c) { return c.fd == fd; });
    if (it == connections_.end()) return;
    char buf[65536];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) return Drop(fd);
    it->data.append(buf, static_cast<std::size_t>(n));
    if (it->data.size() < 12) return;
    const std::uint32_t size = GetLe32(it->data, 8);
    if (size > kMaxFrameBytes) {
      Say("dropped a frame announcing " + std::to_string(size) + " bytes");
      return Drop(fd);
    }
    if (it->data.size() < 12 + size) return;
    const Connection done = *it;
    connections_.erase(it);
    Handle(done, GetLe32(done.data, 0), GetLe32(done.data, 4), done.data.substr(12, size));
  }

  void Handle(const Connection& c, std::uint32_t sender, std::uint32_t dwData,
              const std::string& request) {
    ++requests_;
    const Ghost* ghost = nullptr;
    for (const Ghost& g : ghosts_) {
      if (g.info.hwnd == c.ghostHwnd) ghost = &g;
    }
    const std::string number = std::to_string(requests_);
    Say("=== request " + number + " to window " + std::to_string(c.ghostHwnd) +
        (ghost ? " (" + ghost->info.name + ")" : std::string()) + " from window " +
        std::to_string(sender) + ", dwData " + std::to_string(dwData) + ", " +
        std::to_string(request.size()) + " bytes");
    std::string readable = hollowmere::text::Cp932ToUtf8Lossy(request);
    std::string lines;
    for (std::size_t i = 0; i < readable.size(); ++i) {
      if (readable[i] == '\r' && i + 1 < readable.size() && readable[i + 1] == '\n') continue;
      lines += readable[i];
    }
    while (!lines.empty() && lines.back() == '\n') lines.pop_back();
    Say(lines);
    Say("=== end of request " + number);

    std::string reply;
    if (request.rfind("SEND SSTP/1.4\r\n", 0) != 0) {
      reply = "SSTP/1.4 400 Bad Request\r\n\r\n";
    } else if (answer_.kind == Answer::NoContent) {
      reply = "SSTP/1.4 204 No Content\r\nCharset: Shift_JIS\r\n\r\n";
    } else if (answer_.kind != Answer::Never) {
      reply = "SSTP/1.4 200 OK\r\nCharset: Shift_JIS\r\n\r\n";
    }
    const std::string replyTo = HeaderValue(request, "HWnd");
    if (answer_.kind == Answer::Late) {
      deferred_.push_back({Clock::now() + std::chrono::milliseconds(answer_.delayMs), c.fd,
                           c.ghostHwnd, replyTo, reply});
      Say("answering request " + number + " in " + std::to_string(answer_.delayMs) + " ms");
      return;
    }
    Finish(c.fd, c.ghostHwnd, replyTo, reply);
  }

  static std::string HeaderValue(const std::string& request, const std::string& key) {
    const std::string prefix = "\r\n" + key + ": ";
    const std::size_t at = request.find(prefix);
    if (at == std::string::npos) return std::string();
    const std::size_t from = at + prefix.size();
    return request.substr(from, request.find("\r\n", from) - from);
  }

  // The SSTP answer to the request's window, then the message's result.
  void Finish(int fd, int ghostHwnd, const std::string& replyTo, const std::string& reply) {
    if (!reply.empty()) {
      const std::string status = reply.substr(0, reply.find("\r\n"));
      if (SendReply(replyTo, ghostHwnd, reply)) {
        Say("answered \"" + status + "\" to window " + replyTo);
      } else {
        Say("could not answer window \"" + replyTo + "\"");
      }
    }
    std::string result;
    PutLe32(result, 1);
    [[maybe_unused]] const ssize_t n = send(fd, result.data(), result.size(), MSG_NOSIGNAL);
    close(fd);
  }

  bool SendReply(const std::string& window, int ghostHwnd, const std::string& reply) {
    if (window.empty() || window.size() > 9 ||
        !std::all_of(window.begin(), window.end(), ::isdigit)) {
      return false;
    }
    sockaddr_un addr;
    if (!Address(WindowPath(std::stoi(window)), addr)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string frame;
    PutLe32(frame, static_cast<std::uint32_t>(ghostHwnd));
    PutLe32(frame, kSstpDwData);
    PutLe32(frame, static_cast<std::uint32_t>(reply.size()));
    frame += reply;
    char result[4];
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(frame.size()) &&
                    recv(fd, result, sizeof result, MSG_WAITALL) == 4;
    close(fd);
    return ok;
  }

  int NextTimeout() const {
    if (deferred_.empty()) return -1;
    auto first = deferred_.front().when;
    for (const Deferred& d : deferred_) first = std::min(first, d.when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(first - Clock::now());
    return static_cast<int>(std::max<long long>(0, ms.count()) + 1);
  }

  void RunDeferred() {
    const auto now = Clock::now();
    std::vector<Deferred> due;
    for (auto it = deferred_.begin(); it != deferred_.end();) {
      if (it->when <= now) {
        due.push_back(*it);
        it = deferred_.erase(it);
      } else {
        ++it;
      }
    }
    for (const Deferred& d : due) Finish(d.fd, d.ghostHwnd, d.replyTo, d.reply);
  }

  std::string dir_;
  std::string fmo_;
  Answer answer_;
  std::vector<Ghost> ghosts_;
  std::vector<Connection> connections_;
  std::vector<Deferred> deferred_;
  int requests_ = 0;
};

int Usage() {
  std::fputs(
      "usage: ghost-standin [--dir DIR] [--fmo NAME] [--ghost NAME,KERONAME[,HWND][,KEY=VALUE]...]...\n"
      "                     [--no-ghost] [--answer ok|204|late:MS|never]\n"
      "standard input: add GHOST | remove NAME | answer MODE | quit\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = hollowmere::FmoFolderPath();
  std::string fmo = "Sakura";
  Answer answer;
  std::vector<GhostInfo> ghosts;
  bool noGhost = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--dir" && hasValue) {
      dir = argv[++i];
    } else if (arg == "--fmo" && hasValue) {
      fmo = argv[++i];
    } else if (arg == "--ghost" && hasValue) {
      const auto info = ParseGhost(argv[++i]);
      if (!info) return Usage();
      ghosts.push_back(*info);
    } else if (arg == "--no-ghost") {
      noGhost = true;
    } else if (arg == "--answer" && hasValue) {
      const auto parsed = ParseAnswer(argv[++i]);
      if (!parsed) return Usage();
      answer = *parsed;
    } else {
      return Usage();
    }
  }
  if (ghosts.empty() && !noGhost) ghosts.push_back(*ParseGhost("さくら,うにゅう"));
  if (fmo.empty() || fmo.find('/') != std::string::npos || fmo == "." || fmo == "..") {
    return Usage();
  }

  if (pipe2(signalPipe, O_CLOEXEC) != 0) return 1;
  signal(SIGPIPE, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  Standin standin(dir, fmo, answer);
  if (!standin.Prepare()) return 1;
  Say("ghost-standin: folder " + dir + ", FMO " + fmo);
  for (const GhostInfo& info : ghosts) {
    if (!standin.Add(info)) {
      standin.Shutdown();
      return 1;
    }
  }
  standin.Publish();
  Say("ready");
  const int status = standin.Run();
  standin.Shutdown();
  Say("ghost-standin: ended");
  return status;
}
