// The program folder rule: a portable folder is used as it is; otherwise the
// per-user folder is made private and seeded once, never over the user's files.
#include "platform/ProgramFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

class ProgramFolderTest : public ::testing::Test {
 protected:
  ProgramFolderTest() {
    fs::create_directories(root.file("bin"));
    fs::create_directories(root.file("share/hollowmere/cache"));
    for (const char* name : kSeedFiles) WriteFileBytes(root.file("share/hollowmere/") + name, name);
    places.ExeDir = root.file("bin/");
    places.DataDir = root.file("share/hollowmere/");
    places.XdgDataHome = root.file("xdg");
    places.Home = root.file("home");
  }
  void PutPatternsBesideTheProgram() {
    for (const char* name : kPatternFiles) WriteFileBytes(places.ExeDir + name, "mine");
  }

  TempDir root;
  TProgramFolderPlaces places;
};

TEST_F(ProgramFolderTest, AWritableFolderWithPatternFilesIsPortable) {
  PutPatternsBesideTheProgram();
  EXPECT_EQ(ResolveProgramFolder(places), places.ExeDir);
  EXPECT_FALSE(fs::exists(root.file("xdg")));
}

TEST_F(ProgramFolderTest, OtherwiseThePrivateUserFolderIsMadeAndSeededOnce) {
  // Pattern files missing beside the program; XDG_DATA_HOME set, then unset
  // (the home's .local/share), then relative (invalid, so ignored too).
  struct Case {
    std::string xdg;
    std::string expected;
  };
  for (const Case& c : {Case{root.file("xdg"), root.file("xdg/hollowmere/")},
                        Case{"", root.file("home/.local/share/hollowmere/")},
                        Case{"relative/xdg", root.file("home/.local/share/hollowmere/")}}) {
    places.XdgDataHome = c.xdg;
    const std::string folder = ResolveProgramFolder(places);
    EXPECT_EQ(folder, c.expected);
    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
    for (const char* name : kSeedFiles) EXPECT_EQ(ReadFileBytes(folder + name), name);
    EXPECT_FALSE(fs::exists(folder + "log.txt.seeding"));
  }
  // A second start keeps what the user changed and brings back what was removed.
  const std::string folder = root.file("xdg/hollowmere/");
  places.XdgDataHome = root.file("xdg");
  WriteFileBytes(folder + "tagpat.txt", "edited");
  WriteFileBytes(folder + kBlankSurfaceFile, "my own picture");
  fs::remove(folder + "log.txt");
  EXPECT_EQ(ResolveProgramFolder(places), folder);
  EXPECT_EQ(ReadFileBytes(folder + "tagpat.txt"), "edited");
  EXPECT_EQ(ReadFileBytes(folder + kBlankSurfaceFile), "my own picture");
  EXPECT_EQ(ReadFileBytes(folder + "log.txt"), "log.txt");
}

TEST_F(ProgramFolderTest, ASeedThatCannotBeCopiedIsNamed) {
  fs::remove(root.file("share/hollowmere/log.txt"));
  try {
    ResolveProgramFolder(places);
    FAIL() << "no error";
  } catch (const ESeedError& e) {
    EXPECT_EQ(text::Cp932ToUtf8(e.what()),
              "ファイル " + root.file("share/hollowmere/log.txt") + " をコピーできません");
  }
  // The files that could be seeded are there; nothing half-copied is.
  EXPECT_EQ(ReadFileBytes(root.file("xdg/hollowmere/tagpat.txt")), "tagpat.txt");
  EXPECT_FALSE(fs::exists(root.file("xdg/hollowmere/log.txt")));
}

TEST_F(ProgramFolderTest, AReadOnlyProgramFolderIsNotPortable) {
  PutPatternsBesideTheProgram();
  fs::permissions(places.ExeDir, fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  // The superuser may write anywhere, so the rule is tried as an ordinary user.
  fs::permissions(root.path(), fs::perms::all);
  fs::permissions(places.DataDir, fs::perms::all);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(3);
    try {
      _exit(ResolveProgramFolder(places) == root.file("xdg/hollowmere/") ? 0 : 1);
    } catch (...) {
      _exit(2);
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  fs::permissions(places.ExeDir, fs::perms::owner_all);
}

}  // namespace
}  // namespace hollowmere
