// flock on a lock file, polled until the wait runs out.
#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

EFolderBusyError FolderBusyError(const std::string& folder) {
  static const std::string head = text::Sjis("フォルダ ");
  static const std::string tail = text::Sjis(" は別のプロセスが書き込み中です");
  return EFolderBusyError(head + folder + tail);
}

// True when `fd` is the file now at `native`: a holder removes the file as it
// lets go, and a lock on the removed file would shut nobody out.
bool StillInPlace(int fd, const std::string& native) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::lstat(native.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

enum class Outcome { Locked, Busy, Failed };

Outcome LockBefore(int fd, std::chrono::steady_clock::time_point deadline) {
  constexpr auto kPoll = std::chrono::milliseconds(20);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return Outcome::Locked;
    if (errno != EWOULDBLOCK && errno != EINTR) return Outcome::Failed;
    if (std::chrono::steady_clock::now() >= deadline) return Outcome::Busy;
    std::this_thread::sleep_for(kPoll);
  }
}

}  // namespace

TFolderLock::TFolderLock(const std::string& lockPath, std::chrono::milliseconds wait)
    : native_(NativePath(lockPath)) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const int fd = ::open(native_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) throw FileCreateError(lockPath);
    const Outcome outcome = LockBefore(fd, deadline);
    if (outcome == Outcome::Locked && StillInPlace(fd, native_)) {
      fd_ = fd;
      return;
    }
    ::close(fd);
    if (outcome == Outcome::Failed) throw FileCreateError(lockPath);
    if (outcome == Outcome::Busy) throw FolderBusyError(ExtractFilePath(lockPath));
    // Locked a file its holder had just removed: the folder is free now.
  }
}

TFolderLock::~TFolderLock() {
  // Removed while still held, so the next holder makes a fresh file.
  if (StillInPlace(fd_, native_)) ::unlink(native_.c_str());
  ::close(fd_);
}

}  // namespace hollowmere
