// POSIX side of SaveIniFileBytes. The temporary file is named as
// WriteFileReplacing names its own ("<file>.tmp<pid>-<n>"), so a run that was
// killed half-way leaves a name the program's clean-up recognises.
#include "platform/IniFileSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace hollowmere {
namespace {

// As many links as the kernel follows before it gives up (ELOOP).
constexpr int kMaxLinks = 40;
constexpr std::size_t kMaxNameBytes = 255;

std::string FolderOf(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  return slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
}

// The path symbolic links at `native` lead to, also when the last one leads
// nowhere yet (the file is then made there); nullopt for a loop.
std::optional<std::string> FollowLinks(std::string native) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return native;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t got = ::readlink(native.c_str(), target.data(), target.size());
    if (got < 0 || static_cast<std::size_t>(got) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(got));
    native = target.starts_with('/') ? target : FolderOf(native) + target;
  }
  return std::nullopt;
}

std::string TemporaryBeside(const std::string& native, long pid, unsigned n) {
  const std::string suffix = ".tmp" + std::to_string(pid) + "-" + std::to_string(n);
  const std::string folder = FolderOf(native);
  if (native.size() - folder.size() + suffix.size() <= kMaxNameBytes) return native + suffix;
  return folder + suffix;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The temporary file: open while it is written, removed unless it was
// renamed into place.
class TTemporary {
 public:
  TTemporary() = default;
  TTemporary(const TTemporary&) = delete;
  TTemporary& operator=(const TTemporary&) = delete;
  ~TTemporary() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  bool Create(const std::string& target) {
    const long pid = static_cast<long>(::getpid());
    for (unsigned n = 0; n < 1000; ++n) {
      const std::string name = TemporaryBeside(target, pid, n);
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd_ >= 0) {
        name_ = name;
        return true;
      }
      if (errno != EEXIST) break;
    }
    return false;
  }
  int Fd() const { return fd_; }
  // The data on the disk and the descriptor closed, both without error.
  bool Flush() {
    const bool synced = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
  }
  bool RenameTo(const std::string& target) {
    if (std::rename(name_.c_str(), target.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

 private:
  int fd_ = -1;
  std::string name_;
};

}  // namespace

void SaveIniFileBytes(const std::string& path, std::string_view bytes) {
  const auto target = FollowLinks(NativePath(path));
  if (!target) throw IniWriteError(path);
  mode_t mode = 0600;
  struct stat st {};
  const bool exists = ::stat(target->c_str(), &st) == 0;
  if (exists) {
    // The write bits as well as access(): a privileged user may write
    // anywhere, but a file marked read-only is meant to stay as it is.
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target->c_str(), W_OK) != 0) {
      throw IniWriteError(path);
    }
    mode = st.st_mode & 07777;
  }
  TTemporary temporary;
  if (!temporary.Create(*target)) throw IniWriteError(path);
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    if (::fchown(temporary.Fd(), st.st_uid, st.st_gid) != 0) {
      // Only a privileged user may give a file away; anyone else's new file
      // is theirs, as every file they write is.
    }
  }
  // Set after the open and the owner, so neither the umask nor the change of
  // owner can alter it.
  ::fchmod(temporary.Fd(), mode);
  if (!WriteAll(temporary.Fd(), bytes) || !temporary.Flush() || !temporary.RenameTo(*target)) {
    throw IniWriteError(path);
  }
  // The rename itself is only on the disk once the folder is.
  const std::string folder = FolderOf(*target);
  const TUniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.IsOpen()) ::fsync(dir.Get());
}

}  // namespace hollowmere
