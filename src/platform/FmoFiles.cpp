// FMO blocks as files and their mutexes as flock(2) locks. A lock held by a
// process that died is released by the kernel, so such a holder never blocks
// the reader beyond its death.
#include "platform/FmoFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/DebugTrace.h"

namespace hollowmere {
namespace {

using Clock = std::chrono::steady_clock;

TUniqueFd OpenLockFile(int folderFd, const std::string& fileName) {
  return TUniqueFd(::openat(folderFd, fileName.c_str(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
                            0600));
}

class TFlockMutex : public INamedMutex {
 public:
  // `lock` may be closed: the folder was refused when the mutex was opened,
  // and the lock file is opened once the folder can be trusted.
  TFlockMutex(TFmoFiles& files, std::string lockFileName, TUniqueFd lock,
              std::chrono::milliseconds poll)
      : files_(files), lockFileName_(std::move(lockFileName)), lock_(std::move(lock)), poll_(poll) {}

  bool Wait(std::chrono::milliseconds timeout, std::stop_token stop) override {
    if (!lock_.IsOpen()) {
      const TTrustedFolder folder = OpenTrustedFolder(files_.Folder(), false);
      if (folder.State != TTrustedFolder::EState::Open) return true;
      lock_ = OpenLockFile(folder.Fd.Get(), lockFileName_);
      if (!lock_.IsOpen()) return true;
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      if (::flock(lock_.Get(), LOCK_EX | LOCK_NB) == 0) {
        held_ = true;
        return true;
      }
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return true;
      const auto now = Clock::now();
      if (now >= deadline || stop.stop_requested()) return false;
      std::this_thread::sleep_for(
          std::min<Clock::duration>(poll_, deadline - now));
    }
  }

  void Release() override {
    if (held_) ::flock(lock_.Get(), LOCK_UN);
    held_ = false;
  }

 private:
  TFmoFiles& files_;
  std::string lockFileName_;
  TUniqueFd lock_;
  std::chrono::milliseconds poll_;
  bool held_ = false;
};

class TFileBlock : public IFmoBlock {
 public:
  TFileBlock(TUniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(std::uint64_t offset, char* out, std::size_t length) override {
    if (offset >= size_) return 0;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    std::size_t done = 0;
    while (done < length) {
      const ssize_t n = ::pread(fd_.Get(), out + done, length - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

 private:
  TUniqueFd fd_;
  std::uint64_t size_;
};

}  // namespace

TFmoFiles::TFmoFiles(std::string folder, std::chrono::milliseconds lockPoll)
    : folder_(std::move(folder)), lockPoll_(lockPoll) {}

TTrustedFolder TFmoFiles::Open(bool create) {
  TTrustedFolder folder = OpenTrustedFolder(folder_, create);
  const std::string refusal =
      folder.State == TTrustedFolder::EState::Refused ? folder.Reason : std::string();
  if (refusal != lastRefusal_ && !refusal.empty()) DebugTrace("FMO folder refused: " + refusal);
  lastRefusal_ = refusal;
  return folder;
}

std::unique_ptr<INamedMutex> TFmoFiles::OpenMutex(const std::string& name) {
  const std::optional<std::string> fileName = FmoFileName(name);
  if (!fileName) return nullptr;
  const std::string lockFileName = *fileName + ".lock";
  TTrustedFolder folder = Open(true);
  switch (folder.State) {
    case TTrustedFolder::EState::Missing:
      return nullptr;
    case TTrustedFolder::EState::Refused:
      return std::make_unique<TFlockMutex>(*this, lockFileName, TUniqueFd(), lockPoll_);
    case TTrustedFolder::EState::Open:
      break;
  }
  TUniqueFd lock = OpenLockFile(folder.Fd.Get(), lockFileName);
  if (!lock.IsOpen()) return nullptr;
  return std::make_unique<TFlockMutex>(*this, lockFileName, std::move(lock), lockPoll_);
}

std::unique_ptr<IFmoBlock> TFmoFiles::OpenBlock(const std::string& name) {
  const std::optional<std::string> fileName = FmoFileName(name);
  if (!fileName) return nullptr;
  const TTrustedFolder folder = Open(false);
  if (folder.State != TTrustedFolder::EState::Open) return nullptr;
  // Non-blocking, so a FIFO put in the block's place cannot stall the open.
  TUniqueFd fd(::openat(folder.Fd.Get(), fileName->c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.IsOpen()) return nullptr;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  return std::make_unique<TFileBlock>(std::move(fd), static_cast<std::uint64_t>(st.st_size));
}

}  // namespace hollowmere
