// POSIX file-system helpers with the CP932/UTF-8 conversion at the boundary.
#include "platform/FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

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
