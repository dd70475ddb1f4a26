// The folder rule and the trust check, on the folder's own descriptor so the
// folder checked is the folder then used.
#include "platform/FmoFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "text/Encoding.h"

namespace hollowmere {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string FmoFolderPath() {
  if (std::string dir = Env("HOLLOWMERE_FMO_DIR"); !dir.empty()) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  if (std::string runtime = Env("XDG_RUNTIME_DIR"); !runtime.empty()) {
    while (!runtime.empty() && runtime.back() == '/') runtime.pop_back();
    return runtime + "/fmo";
  }
  return "/tmp/fmo-" + std::to_string(getuid());
}

namespace {

// Trusts an open folder by its owner and mode.
TTrustedFolder Check(TUniqueFd fd, int openError, const std::string& folder) {
  TTrustedFolder result;
  if (!fd.IsOpen()) {
    result.State = (openError == ENOENT) ? TTrustedFolder::EState::Missing
                                         : TTrustedFolder::EState::Refused;
    result.Reason = folder + ": " + std::strerror(openError);
    return result;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) {
    result.State = TTrustedFolder::EState::Refused;
    result.Reason = folder + ": " + std::strerror(errno);
    return result;
  }
  if (st.st_uid != geteuid()) {
    result.State = TTrustedFolder::EState::Refused;
    result.Reason = folder + ": owned by uid " + std::to_string(st.st_uid) + ", not by this user";
    return result;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    result.State = TTrustedFolder::EState::Refused;
    result.Reason = folder + ": others may write it";
    return result;
  }
  result.State = TTrustedFolder::EState::Open;
  result.Fd = std::move(fd);
  return result;
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

TTrustedFolder OpenTrustedFolder(const std::string& folder, bool create) {
  TUniqueFd fd(::open(folder.c_str(), kFolderFlags));
  if (!fd.IsOpen() && errno == ENOENT && create) {
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) fd.Reset(::open(folder.c_str(), kFolderFlags));
  }
  return Check(std::move(fd), errno, folder);
}

TTrustedFolder OpenTrustedSubfolder(const TTrustedFolder& folder, const std::string& name,
                                    const std::string& shownPath, bool create) {
  if (folder.State != TTrustedFolder::EState::Open) {
    TTrustedFolder result;
    result.State = folder.State;
    result.Reason = folder.Reason;
    return result;
  }
  TUniqueFd fd(::openat(folder.Fd.Get(), name.c_str(), kFolderFlags));
  if (!fd.IsOpen() && errno == ENOENT && create) {
    if (::mkdirat(folder.Fd.Get(), name.c_str(), 0700) == 0 || errno == EEXIST) {
      fd.Reset(::openat(folder.Fd.Get(), name.c_str(), kFolderFlags));
    }
  }
  return Check(std::move(fd), errno, shownPath);
}

std::optional<std::string> FmoFileName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  std::string utf8;
  try {
    utf8 = text::Cp932ToUtf8(name);
  } catch (const text::EEncodingError&) {
    return std::nullopt;
  }
  if (utf8.find('/') != std::string::npos) return std::nullopt;
  return utf8;
}

}  // namespace hollowmere
