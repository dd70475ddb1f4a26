// POSIX file-system helpers with the CP932/UTF-8 conversion at the boundary.
#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "text/Encoding.h"

namespace hollowmere {

std::string NativePath(const std::string& path) {
  try {
    return text::Cp932ToUtf8(path);
  } catch (const text::EEncodingError&) {
    return path;
  }
}

std::string ProgramPath(const std::string& nativePath) {
  try {
    return text::Utf8ToCp932(nativePath);
  } catch (const text::EEncodingError&) {
    return nativePath;
  }
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  const std::string nativeFolder = NativePath(folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(nativeFolder.c_str()), &closedir);
  if (!dir) return names;
  const std::string base = nativeFolder.empty() || nativeFolder.back() == '/' ? nativeFolder
                                                                              : nativeFolder + "/";
  while (const dirent* entry = readdir(dir.get())) {
    const std::string native = entry->d_name;
    if (native.empty() || native[0] == '.') continue;
    struct stat st {};
    if (::stat((base + native).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::string name = ProgramPath(native);
    if (name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    names.push_back(std::move(name));
  }
  return names;
}

namespace {

enum class ReadOutcome { Read, CannotRead, TooLarge };


// Opened without waiting (a FIFO with no writer would block an ordinary
// open), then read only when it is a regular file of at most maxBytes.
ReadOutcome ReadRegularFile(const std::string& path, uint64_t maxBytes, std::string& content) {
  const FileDescriptor file(::open(NativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  const int fd = file.get();
  if (fd < 0) return ReadOutcome::CannotRead;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return ReadOutcome::CannotRead;
  if (static_cast<uint64_t>(st.st_size) > maxBytes) return ReadOutcome::TooLarge;
  content.clear();
  content.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return ReadOutcome::CannotRead;
    }
    // A file that grows while it is read is held to the same limit.
    if (content.size() + static_cast<std::size_t>(got) > maxBytes) return ReadOutcome::TooLarge;
    content.append(buf, static_cast<std::size_t>(got));
  }
  return ReadOutcome::Read;
}

}  // namespace

std::optional<std::string> TryReadWholeFile(const std::string& path, uint64_t maxBytes) {
  std::string content;
  if (ReadRegularFile(path, maxBytes, content) != ReadOutcome::Read) return std::nullopt;
  return content;
}

std::string ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  std::string content;
  switch (ReadRegularFile(path, maxBytes, content)) {
    case ReadOutcome::Read: return content;
    case ReadOutcome::TooLarge: throw FileTooLargeError(path);
    case ReadOutcome::CannotRead: break;
  }
  throw FileOpenError(path);
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

// The longest file name the file systems in use take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

std::string TemporaryNameFor(const std::string& path, long pid, unsigned n) {
  const std::string suffix = ".tmp" + std::to_string(pid) + "-" + std::to_string(n);
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (NativePath(path.substr(nameStart)).size() + suffix.size() <= kMaxNameBytes) return path + suffix;
  return path.substr(0, nameStart) + suffix;
}

namespace {

// A new temporary file beside `path`, open for writing; its native name in
// `temporary`. Raises EFCreateError when none can be made.
int CreateTemporary(const std::string& path, std::string& temporary) {
  // Named from the process id and a count, not from random numbers: a name
  // of a running process is never taken over (O_EXCL), and one left by an
  // ended process can be told apart and cleared away.
  constexpr unsigned kAttempts = 1000;
  const long pid = static_cast<long>(::getpid());
  int fd = -1;
  for (unsigned n = 0; n < kAttempts && fd < 0; ++n) {
    temporary = NativePath(TemporaryNameFor(path, pid, n));
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw FileCreateError(path);
  return fd;
}

// Writes `bytes` from the start of `fd` and closes it; on failure the
// temporary file goes and EFCreateError is raised for `path`. What the file
// held before is written over and only then cut to the new length: emptying
// it first would free its blocks and allocate them again for the same bytes,
// and on a disk mounted with discard every freed block waits for the device.
void FillTemporary(int fd, const std::string& temporary, const std::string& path,
                   std::string_view bytes, bool hadContent = false) {
  const bool written = WriteAll(fd, bytes) &&
                       (!hadContent || ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    ::unlink(temporary.c_str());
    throw FileCreateError(path);
  }
}

void RenameIntoPlace(const std::string& temporary, const std::string& native,
                     const std::string& path) {
  if (std::rename(temporary.c_str(), native.c_str()) != 0) {
    ::unlink(temporary.c_str());
    throw FileCreateError(path);
  }
}

// A regular file that no other name reaches: what it holds may be written
// over once it is no longer in place.
bool ReusableFile(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_nlink == 1; }

// True when nobody else has the open file `fd` open: a write lease is only
// granted then. Someone who opened a page before it was replaced goes on
// reading the old page, so that file must not be written over.
bool OpenOnlyHere(int fd) {
  if (::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) return false;
  ::fcntl(fd, F_SETLEASE, F_UNLCK);
  return true;
}

}  // namespace

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  FillTemporary(fd, temporary, path, bytes);
  RenameIntoPlace(temporary, NativePath(path), path);
}

TReplacingFile::TReplacingFile(std::string path) : path_(std::move(path)) {
  fd_ = CreateTemporary(path_, temporary_);
}

TReplacingFile::~TReplacingFile() { Drop(); }

void TReplacingFile::Drop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

void TReplacingFile::Append(std::string_view bytes) {
  if (fd_ < 0 || !WriteAll(fd_, bytes)) {
    Drop();
    throw FileCreateError(path_);
  }
}

void TReplacingFile::Commit() {
  if (fd_ < 0) throw FileCreateError(path_);
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!closed) {
    Drop();
    throw FileCreateError(path_);
  }
  RenameIntoPlace(std::exchange(temporary_, {}), NativePath(path_), path_);
}

TFileReplacer::~TFileReplacer() { DropSpare(); }

void TFileReplacer::DropSpare() {
  if (!spare_.empty()) ::unlink(spare_.c_str());
  spare_.clear();
}

void TFileReplacer::Replace(const std::string& path, std::string_view bytes) {
  const std::string native = NativePath(path);
  std::string temporary;
  int fd = -1;
  if (!spare_.empty() && ExtractFilePath(spare_) == ExtractFilePath(native)) {
    fd = ::open(spare_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !ReusableFile(st) || !OpenOnlyHere(fd))) {
      ::close(fd);
      fd = -1;
    }
    if (fd >= 0) temporary = std::exchange(spare_, {});
  }
  DropSpare();
  const bool reused = fd >= 0;
  if (!reused) fd = CreateTemporary(path, temporary);
  FillTemporary(fd, temporary, path, bytes, reused);
  struct stat st {};
  if (::lstat(native.c_str(), &st) == 0 && ReusableFile(st) &&
      ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, native.c_str(), RENAME_EXCHANGE) == 0) {
    spare_ = std::move(temporary);
    return;
  }
  RenameIntoPlace(temporary, native, path);
}

bool ProcessRunning(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

namespace {

// The pid of a temporary name "<target>.tmp<pid>-<n>" (decimal numbers
// without leading zeros), and its target; nullopt for any other name.
std::optional<long> TemporaryOwner(const std::string& name, std::string& target) {
  const std::size_t tmp = name.rfind(".tmp");
  if (tmp == std::string::npos) return std::nullopt;
  const std::string_view rest = std::string_view(name).substr(tmp + 4);
  const std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto isNumber = [](std::string_view digits) {
    return !digits.empty() && digits.size() <= 10 && (digits[0] != '0' || digits.size() == 1) &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const std::string_view pid = rest.substr(0, dash);
  if (!isNumber(pid) || !isNumber(rest.substr(dash + 1))) return std::nullopt;
  target = name.substr(0, tmp);
  return std::stol(std::string(pid));
}

}  // namespace

std::size_t RemoveStaleTemporaries(const std::string& folder,
                                   const std::function<bool(const std::string& targetName)>& isTarget) {
  const std::string nativeFolder = NativePath(folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(nativeFolder.c_str()), &closedir);
  if (!dir) return 0;
  const std::string base =
      nativeFolder.empty() || nativeFolder.back() == '/' ? nativeFolder : nativeFolder + "/";
  const long self = static_cast<long>(::getpid());
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string native = entry->d_name;
    std::string target;
    const std::optional<long> owner = TemporaryOwner(native, target);
    if (!owner || *owner == self || !isTarget(ProgramPath(target)) || ProcessRunning(*owner)) continue;
    struct stat st {};
    if (::lstat((base + native).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    stale.push_back(base + native);
  }
  std::size_t removed = 0;
  for (const std::string& file : stale) removed += ::unlink(file.c_str()) == 0 ? 1 : 0;
  return removed;
}

std::size_t RemoveRegularFiles(const std::string& folder,
                               const std::function<bool(const std::string& name)>& pick) {
  const std::string nativeFolder = NativePath(folder.empty() ? std::string(".") : folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(nativeFolder.c_str()), &closedir);
  if (!dir) return 0;
  const int dirFd = ::dirfd(dir.get());
  std::vector<std::string> doomed;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string native = entry->d_name;
    if (!pick(ProgramPath(native))) continue;
    struct stat st {};
    if (::fstatat(dirFd, native.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    doomed.push_back(native);
  }
  std::size_t removed = 0;
  for (const std::string& name : doomed) removed += ::unlinkat(dirFd, name.c_str(), 0) == 0 ? 1 : 0;
  return removed;
}

std::string NativeExecutableFolder() {
  std::string buf(PATH_MAX, '\0');
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return NativeCurrentFolder();
  buf.resize(static_cast<std::size_t>(n));
  return ExtractFilePath(buf);
}

std::string NativeCurrentFolder() {
  std::string cwd(PATH_MAX, '\0');
  if (getcwd(cwd.data(), cwd.size()) == nullptr) return std::string();
  cwd.resize(cwd.find('\0'));
  if (!cwd.empty() && cwd.back() != '/') cwd += '/';
  return cwd;
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  const std::string cwd = NativeCurrentFolder();
  return cwd.empty() ? path : ProgramPath(cwd) + path;
}

std::string ExtractFilePath(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace hollowmere
