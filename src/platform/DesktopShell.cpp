// Starts the URL handler with its output on /dev/null and reaps it on a
// detached thread, which holds only the shared failure slot, never the shell.
#include "platform/DesktopShell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "text/Encoding.h"

extern char** environ;

namespace hollowmere {

struct TDesktopShell::Shared {
  std::mutex Mutex;
  FailureHandler OnFailure;

  void Fail(const std::string& url) {
    std::lock_guard lock(Mutex);
    if (OnFailure) OnFailure(url);
  }
};

TDesktopShell::TDesktopShell(std::string opener)
    : opener_(std::move(opener)), shared_(std::make_shared<Shared>()) {}

TDesktopShell::~TDesktopShell() { SetOnFailure(nullptr); }

void TDesktopShell::SetOnFailure(FailureHandler handler) {
  std::lock_guard lock(shared_->Mutex);
  shared_->OnFailure = std::move(handler);
}

void TDesktopShell::Open(const std::string& url, const std::string& /*verb*/) {
  const std::string utf8 = text::Cp932ToUtf8Lossy(url);
  std::string opener = opener_;
  std::string arg = utf8;
  std::vector<char*> argv = {opener.data(), arg.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  // Its own process group: a Ctrl+C meant for the program spares the browser.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, opener.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    shared_->Fail(url);
    return;
  }
  std::thread([pid, url, shared = shared_] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) shared->Fail(url);
  }).detach();
}

}  // namespace hollowmere
