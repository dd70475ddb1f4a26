// The program folder rule and the first-use seeding of the per-user folder.
#include "platform/ProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool IsPortable(const std::string& exeDir) {
  if (::access(exeDir.c_str(), W_OK) != 0) return false;
  for (const char* name : kPatternFiles) {
    struct stat st {};
    if (::stat((exeDir + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  }
  return true;
}

std::string UserFolder(const TProgramFolderPlaces& places) {
  // Relative values are invalid for XDG variables and are ignored.
  if (!places.XdgDataHome.empty() && places.XdgDataHome[0] == '/') {
    return WithSlash(places.XdgDataHome) + "hollowmere/";
  }
  return WithSlash(places.Home) + ".local/share/hollowmere/";
}

ESeedError SeedError(const std::string& nativePath) {
  static const std::string head = text::Sjis("ファイル ");
  static const std::string tail = text::Sjis(" をコピーできません");
  return ESeedError(head + ProgramPath(nativePath) + tail);
}

void MakeUserFolder(const std::string& folder) {
  std::error_code ec;
  const fs::path path = fs::path(folder).parent_path();
  fs::create_directories(path.parent_path(), ec);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) throw FileCreateError(ProgramPath(folder));
  if (!fs::is_directory(path)) throw FileCreateError(ProgramPath(folder));
}

void Seed(const std::string& folder, const std::string& dataDir) {
  for (const char* name : kSeedFiles) {
    const std::string target = folder + name;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    const std::string source = dataDir + name;
    // Copied under a temporary name and then linked into place: an
    // interrupted copy never leaves half a pattern file that a later start
    // would take as seeded, and a file that appeared meanwhile is kept.
    const std::string partial = target + ".seeding";
    fs::create_directories(fs::path(target).parent_path(), ec);
    const bool copied = fs::is_regular_file(source, ec) &&
                        fs::copy_file(source, partial, fs::copy_options::overwrite_existing, ec);
    const bool placed = copied && (::link(partial.c_str(), target.c_str()) == 0 || errno == EEXIST);
    fs::remove(partial, ec);
    if (!placed) throw SeedError(source);
  }
}

}  // namespace

TProgramFolderPlaces CurrentProgramFolderPlaces() {
  TProgramFolderPlaces places;
  // The folder without its final "/", so that its parent is bin/'s parent.
  const fs::path exeDir = fs::path(NativeExecutableFolder()).parent_path();
  places.ExeDir = WithSlash(exeDir.string());
  places.DataDir = WithSlash((exeDir.parent_path() / "share" / "hollowmere").string());
  places.XdgDataHome = Env("XDG_DATA_HOME");
  places.Home = Env("HOME");
  if (places.Home.empty()) {
    if (const passwd* pw = getpwuid(getuid())) places.Home = pw->pw_dir;
  }
  return places;
}

std::string ResolveProgramFolder(const TProgramFolderPlaces& places) {
  if (IsPortable(places.ExeDir)) return places.ExeDir;
  const std::string folder = UserFolder(places);
  MakeUserFolder(folder);
  Seed(folder, places.DataDir);
  return folder;
}

std::string ExistingProgramFolder(const TProgramFolderPlaces& places) {
  return IsPortable(places.ExeDir) ? places.ExeDir : UserFolder(places);
}

std::string ShippedBlankSurface(const TProgramFolderPlaces& places) {
  for (const std::string& folder : {places.ExeDir, places.DataDir}) {
    std::error_code ec;
    if (fs::is_regular_file(folder + kBlankSurfaceFile, ec)) return folder + kBlankSurfaceFile;
  }
  return std::string();
}

std::string ProgramFolder() { return ProgramPath(ResolveProgramFolder(CurrentProgramFolderPlaces())); }

std::string DefaultPluginFolder() {
  const TProgramFolderPlaces places = CurrentProgramFolderPlaces();
  const fs::path installed =
      fs::path(places.ExeDir).parent_path().parent_path() / "lib" / "hollowmere" / "plugins";
  std::error_code ec;
  if (fs::is_directory(installed, ec)) return ProgramPath(WithSlash(installed.string()));
  return ProgramPath(places.ExeDir + "plugins/");
}

}  // namespace hollowmere
