// posix_spawn with the child's standard output on a pipe read by a thread.
#include "support/StandinProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace hollowmere::testing {

std::string StandinProgram() {
#ifdef HOLLOWMERE_STANDIN
  return HOLLOWMERE_STANDIN;
#else
  return "voyla-standin";
#endif
}

StandinProcess::StandinProcess(const std::string& logFile, const std::vector<std::string>& extraArgs) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  std::vector<std::string> args{StandinProgram(), "--port", "0"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  args.push_back(logFile);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  out_ = pipeFds[0];
  if (rc != 0) {
    close(out_);
    throw std::runtime_error("cannot start " + args[0]);
  }
  reader_ = std::thread([this] { ReadOutput(); });
  if (!WaitForLines(1, std::chrono::seconds(20))) throw std::runtime_error("the stand-in did not start");
  const std::string first = Lines().front();
  const std::size_t colon = first.rfind(':');
  port_ = std::stoi(first.substr(colon + 1));
}

StandinProcess::~StandinProcess() {
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  reader_.join();
  close(out_);
}

void StandinProcess::ReadOutput() {
  std::string pending;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) break;
    pending.append(buf, static_cast<std::size_t>(n));
    std::size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
      {
        std::lock_guard lock(mutex_);
        lines_.push_back(pending.substr(0, nl));
      }
      changed_.notify_all();
      pending.erase(0, nl + 1);
    }
  }
  changed_.notify_all();
}

std::vector<std::string> StandinProcess::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool StandinProcess::WaitForLines(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return lines_.size() >= count; });
}

}  // namespace hollowmere::testing
