// Where the program keeps everything it reads and writes beside itself:
// settings, pattern files, pages, the picture cache and "log.txt".
//
// A build folder or an unpacked copy (its executable's folder writable and
// holding the pattern files) is used as it is: the portable case. An
// installed program cannot write beside /usr/bin, so it keeps a folder of the
// user's own under the XDG data home instead, made on first use (mode 0700)
// and seeded from the installed data folder. Seeding never replaces a file
// that is already there, so the user's own edits survive every start.
#pragma once

#include <string>

#include "platform/Errors.h"

namespace hollowmere {

// A seed file that could not be copied: "ファイル %s をコピーできません".
class ESeedError : public Error {
 public:
  using Error::Error;
};

// What the rule looks at; every folder native (UTF-8) and ending in "/".
struct TProgramFolderPlaces {
  std::string ExeDir;
  // The installed data folder: share/hollowmere beside the executable's bin/.
  std::string DataDir;
  std::string XdgDataHome;  // $XDG_DATA_HOME, empty when unset
  std::string Home;         // the user's home folder
};

// The places of this process: its executable's folder and the environment.
TProgramFolderPlaces CurrentProgramFolderPlaces();

// The files a program folder needs and the seeding copies.
inline constexpr const char* kPatternFiles[] = {"tagpat.txt", "metapat.txt"};
// The picture every surface -1 points to rides with them, in the default
// cache folder.
inline constexpr const char* kBlankSurfaceFile = "cache/General-1.bmp";
inline constexpr const char* kSeedFiles[] = {"tagpat.txt", "metapat.txt", "log.txt",
                                             kBlankSurfaceFile};

// The program folder (native, ending in "/"), made and seeded when it is the
// per-user one. Raises ESeedError naming the file when a seed cannot be
// copied, EFCreateError when the folder cannot be made.
std::string ResolveProgramFolder(const TProgramFolderPlaces& places);

// The program folder the rule would choose, without making or seeding it
// (native, ending in "/"; it may not exist yet).
std::string ExistingProgramFolder(const TProgramFolderPlaces& places);

// The shipped blank picture of surface -1: in the portable program folder,
// else in the installed data folder. Native; empty when neither has it.
std::string ShippedBlankSurface(const TProgramFolderPlaces& places);

// The program folder of this process in program (CP932) text, ending in "/".
std::string ProgramFolder();

// The folder the plugin chooser opens on: the installed plugins
// (lib/hollowmere/plugins beside bin/) when there, else "plugins/" beside
// the executable. CP932, ending in "/"; it may not exist.
std::string DefaultPluginFolder();

}  // namespace hollowmere
