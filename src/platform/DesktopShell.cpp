// Starts the URL handler through a short-lived shell that puts it in the
// background; the shell is reaped here, the handler is adopted by init.
#include "platform/DesktopShell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <vector>

#include "text/Encoding.h"

extern char** environ;

namespace hollowmere {

TDesktopShell::TDesktopShell(std::string opener) : opener_(std::move(opener)) {}

void TDesktopShell::Open(const std::string& url, const std::string& /*verb*/) {
  const std::string utf8 = text::Cp932ToUtf8Lossy(url);
  // The URL travels as an argument, never as part of the script.
  std::string script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
  std::string sh = "sh";
  std::string dashC = "-c";
  std::string opener = opener_;
  std::string arg = utf8;
  std::vector<char*> argv = {sh.data(), dashC.data(), script.data(), opener.data(), arg.data(),
                             nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) return;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace hollowmere
