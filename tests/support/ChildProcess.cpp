// posix_spawn with two pipes; the output pipe is read without blocking.
#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace hollowmere::testing {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  // A program that has ended must fail a write, not end the test run.
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
  fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (i == 199) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
  }
  if (in_ >= 0) close(in_);
  if (out_ >= 0) close(out_);
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string bytes = line + "\n";
  return write(in_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void ChildProcess::Poll() {
  char buf[4096];
  ssize_t n;
  while ((n = read(out_, buf, sizeof buf)) > 0) output_.append(buf, static_cast<std::size_t>(n));
}

std::size_t ChildProcess::Count(const std::string& text) const {
  std::size_t count = 0;
  for (std::size_t at = output_.find(text); at != std::string::npos;
       at = output_.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

}  // namespace hollowmere::testing
