// POSIX file-system helpers with the CP932/UTF-8 conversion at the boundary.
#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "platform/Errors.h"
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

std::optional<std::string> TryReadWholeFile(const std::string& path) {
  std::FILE* f = std::fopen(NativePath(path).c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::string content;
  char buf[65536];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, got);
  // A folder opens but cannot be read.
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return content;
}

std::string ReadWholeFile(const std::string& path) {
  std::optional<std::string> content = TryReadWholeFile(path);
  if (!content) throw FileOpenError(path);
  return std::move(*content);
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

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const std::string native = NativePath(path);
  std::mt19937_64 random(std::random_device{}());
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".tmp%016llx", static_cast<unsigned long long>(random()));
    temporary = native + suffix;
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw FileCreateError(path);
  const bool written = WriteAll(fd, bytes);
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), native.c_str()) != 0) {
    ::unlink(temporary.c_str());
    throw FileCreateError(path);
  }
}

std::string ExecutableFolder() {
  std::string buf(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return "./";
  buf.resize(static_cast<std::size_t>(n));
  return ExtractFilePath(ProgramPath(buf));
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
