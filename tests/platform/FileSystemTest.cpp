// File-system helpers and the trace channel.
#include "platform/FileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <atomic>
#include <chrono>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/DebugTrace.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/FreeSpace.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using ::testing::UnorderedElementsAre;

TEST(FileSystemTest, ListsOnlyOrdinaryVisibleFilesWithTheSuffix) {
  testing::TempDir dir;
  for (const char* name : {"a.so", "b.so", ".hidden.so", "c.txt", "d.SO", "e.so.1", "so"}) {
    std::ofstream(dir.file(name)) << "x";
  }
  std::filesystem::create_directory(dir.file("folder.so"));
  std::ofstream(dir.path() + "さくら.so") << "x";  // UTF-8 on disk
  EXPECT_THAT(ListFiles(dir.path(), ".so"),
              UnorderedElementsAre("a.so", "b.so", text::Sjis("さくら.so")));
  // The folder may be given without its final "/".
  EXPECT_EQ(ListFiles(dir.path().substr(0, dir.path().size() - 1), ".so").size(), 3u);
  EXPECT_TRUE(ListFiles(dir.path() + "missing/", ".so").empty());
}

TEST(FileSystemTest, ExistenceOfFilesAndFoldersInProgramText) {
  testing::TempDir dir;
  std::ofstream(dir.path() + "ソ.txt") << "x";
  EXPECT_TRUE(FileExists(dir.path() + text::Sjis("ソ.txt")));
  EXPECT_TRUE(FileExists(dir.path()));
  EXPECT_FALSE(FileExists(dir.file("none.txt")));
}

TEST(FileSystemTest, PathPieces) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.so"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.so"), "c.so");
  EXPECT_EQ(ExtractFilePath("c.so"), "");
  EXPECT_EQ(ExtractFileName("/a/b/"), "");
}

TEST(FileSystemTest, ExecutableAndCurrentFolders) {
  const std::string folder = NativeExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(FileExists(ProgramPath(folder) + "test_platform"));

  const std::string cwd = NativeCurrentFolder();
  EXPECT_EQ(cwd, std::filesystem::current_path().string() + "/");
  EXPECT_EQ(AbsolutePath("cache/" + text::Sjis("表.bmp")), ProgramPath(cwd) + "cache/" + text::Sjis("表.bmp"));
  EXPECT_EQ(AbsolutePath("/abs/x"), "/abs/x");
  EXPECT_EQ(AbsolutePath(""), ProgramPath(cwd));
}

TEST(FileContentTest, ReadsWholeFilesAndRefusesFolders) {
  testing::TempDir dir;
  const std::string name = dir.path() + text::Sjis("表.txt");
  WriteFileReplacing(name, std::string("a\0b", 3));
  EXPECT_EQ(ReadWholeFile(name), std::string("a\0b", 3));
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "表.txt"));  // UTF-8 on disk
  EXPECT_EQ(TryReadWholeFile(dir.file("missing")), std::nullopt);
  EXPECT_EQ(TryReadWholeFile(dir.path()), std::nullopt);
  try {
    ReadWholeFile(dir.file("missing"));
    FAIL() << "read a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), text::Sjis("ファイル ") + dir.file("missing") + text::Sjis(" は開けません"));
  }
}

TEST(FileContentTest, AFailedReplaceKeepsTheOldFileAndLeavesNoTemporary) {
  testing::TempDir dir;
  const std::string name = dir.file("page.html");
  WriteFileReplacing(name, "old");
  // A folder in the way of the rename: the write fails as a whole.
  std::filesystem::create_directories(dir.file("busy/inner"));
  EXPECT_THROW(WriteFileReplacing(dir.file("busy"), "new"), EFCreateError);
  EXPECT_THROW(WriteFileReplacing(dir.file("no-folder/page.html"), "new"), EFCreateError);
  WriteFileReplacing(name, "new");
  EXPECT_EQ(ReadWholeFile(name), "new");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 2u);  // page.html and busy/
}

// A run of replacements: every file ends up with its new bytes whole, a
// second name of a file, the target of a symbolic link and a reader who
// opened the old file keep the old bytes, a failure in between stops nothing after it, and once the
// replacer is gone only the files asked for are there.
TEST(FileContentTest, AReplacerReplacesEachFileWholeAndLeavesOnlyThem) {
  testing::TempDir dir;
  namespace fs = std::filesystem;
  for (const char* name : {"a", "b", "linked", "symtarget", "sub/d"}) {
    fs::create_directories(fs::path(dir.file(name)).parent_path());
    testing::WriteFileBytes(dir.file(name), std::string("old ") + name);
  }
  fs::create_hard_link(dir.file("linked"), dir.file("other"));
  fs::create_symlink(dir.file("symtarget"), dir.file("sym"));
  fs::create_directories(dir.file("busy/inner"));
  // A reader that opened "a" before it was replaced goes on reading the old "a".
  std::ifstream reader(dir.file("a"), std::ios::binary);
  {
    TFileReplacer replacer;
    const std::pair<const char*, std::string> writes[] = {
        {"a", "A1"}, {"b", "B1"}, {"linked", "L1"}, {"sym", "S1"}, {"new", "N1"},
        {"sub/d", "D1"}, {"a", std::string("A2\0", 3)}, {"b", ""},
        {"new", "n"},  // shorter than the old "b" it is written over
    };
    for (const auto& [name, bytes] : writes) replacer.Replace(dir.file(name), bytes);
    EXPECT_THROW(replacer.Replace(dir.file("busy"), "X"), EFCreateError);
    EXPECT_THROW(replacer.Replace(dir.file("no-folder/x"), "X"), EFCreateError);
    replacer.Replace(dir.file("b"), "B3");
  }
  const std::pair<const char*, std::string> expected[] = {
      {"a", std::string("A2\0", 3)}, {"b", "B3"}, {"linked", "L1"}, {"other", "old linked"},
      {"sym", "S1"}, {"symtarget", "old symtarget"}, {"new", "n"}, {"sub/d", "D1"},
  };
  for (const auto& [name, bytes] : expected) EXPECT_EQ(ReadWholeFile(dir.file(name)), bytes) << name;
  EXPECT_FALSE(fs::is_symlink(dir.file("sym")));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old a");
  std::vector<std::string> left;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    left.push_back(fs::relative(e.path(), dir.path()).string());
  }
  EXPECT_THAT(left, UnorderedElementsAre("a", "b", "linked", "other", "sym", "symtarget", "new", "sub",
                                         "sub/d", "busy", "busy/inner"));
}

// Only regular files are read, and none larger than the limit: a device or
// a FIFO would never end (or never begin) and a huge log would exhaust memory.
TEST(FileContentTest, OnlyRegularFilesWithinTheLimitAreRead) {
  testing::TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.file("zero-link"));
  const std::string refused[] = {"/dev/zero", "/dev/null", fifo, dir.file("zero-link"), dir.path()};
  for (const std::string& path : refused) {
    EXPECT_EQ(TryReadWholeFile(path), std::nullopt) << path;
    try {
      ReadWholeFile(path);
      ADD_FAILURE() << "read " << path;
    } catch (const EFTooLargeError&) {
      ADD_FAILURE() << path << " is not too large, it is no file";
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()), text::Sjis("ファイル ") + path + text::Sjis(" は開けません"));
    }
  }
  const std::string ten = dir.file("ten");
  WriteFileReplacing(ten, "0123456789");
  EXPECT_EQ(ReadWholeFile(ten, 10), "0123456789");
  EXPECT_EQ(TryReadWholeFile(ten, 9), std::nullopt);
  EXPECT_THROW(ReadWholeFile(ten, 9), EFTooLargeError);
}

TEST(FileContentTest, AFileOverTwoGigabytesIsRefusedAtOnce) {
  testing::TempDir dir;
  const std::string big = dir.file("log.txt");
  {
    std::ofstream(big, std::ios::binary) << "Result: OK\r\n";
  }
  std::filesystem::resize_file(big, kMaxReadBytes + 1);  // sparse: no disk used
  try {
    ReadWholeFile(big);
    FAIL() << "read a file over 2 GB";
  } catch (const EFTooLargeError& e) {
    EXPECT_EQ(std::string(e.what()), text::Sjis("ファイル ") + big + text::Sjis(" は大きすぎます"));
  }
  EXPECT_EQ(TryReadWholeFile(big), std::nullopt);
}

TEST(TemporaryNameTest, ProcessIdAndCountBesideTheFileOrAloneWhenTooLong) {
  EXPECT_EQ(TemporaryNameFor("/d/long3.html", 4321, 0), "/d/long3.html.tmp4321-0");
  EXPECT_EQ(TemporaryNameFor("page", 7, 12), "page.tmp7-12");
  const std::string longName(250, 'a');
  EXPECT_EQ(TemporaryNameFor("/d/" + longName, 4321, 1), "/d/.tmp4321-1");
  // The limit is the file system's own (UTF-8) length of the name.
  std::string kana;
  for (int i = 0; i < 82; ++i) kana += text::Sjis("あ");  // 164 bytes here, 246 on disk
  EXPECT_EQ(TemporaryNameFor("/d/" + kana, 99999, 0), "/d/.tmp99999-0");
}

TEST(FileContentTest, ReplacingTakesTheNextFreeTemporaryNameAndLeavesOthersAlone) {
  testing::TempDir dir;
  const std::string name = dir.file("page.html");
  const long self = static_cast<long>(getpid());
  // Left by an earlier process with this same id.
  testing::WriteFileBytes(TemporaryNameFor(name, self, 0), "stale");
  WriteFileReplacing(name, "new");
  EXPECT_EQ(ReadWholeFile(name), "new");
  EXPECT_EQ(ReadWholeFile(TemporaryNameFor(name, self, 0)), "stale");
  EXPECT_FALSE(FileExists(TemporaryNameFor(name, self, 1)));
  // A name near the limit is still written.
  const std::string longName = dir.file(std::string(250, 'b'));
  WriteFileReplacing(longName, "long");
  EXPECT_EQ(ReadWholeFile(longName), "long");
}

// A process that has ended: a child that exits at once, waited for.
long EndedProcessId() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<long>(child);
}

TEST(StaleTemporaryTest, OnlyTemporariesOfEndedProcessesForTheTargetsGo) {
  testing::TempDir dir;
  const long ended = EndedProcessId();
  ASSERT_FALSE(ProcessRunning(ended));
  const long self = static_cast<long>(getpid());
  const long parent = static_cast<long>(getppid());
  ASSERT_TRUE(ProcessRunning(self));
  ASSERT_TRUE(ProcessRunning(parent));
  const auto name = [](const std::string& target, long pid, const std::string& n) {
    return target + ".tmp" + std::to_string(pid) + "-" + n;
  };
  const std::pair<std::string, bool> files[] = {
      {name("long0.html", ended, "0"), true},
      {name("long12.html", ended, "37"), true},
      {name("long0.html", self, "0"), false},     // this process may be writing it
      {name("long0.html", parent, "0"), false},   // so may a running one
      {name("long0.html", ended, "00"), false},   // not our spelling of a number
      {name("long0.html", ended, ""), false},
      {"long0.html.tmp" + std::to_string(ended), false},
      {"long0.html.tmp0123456789abcdef", false},  // random names of earlier versions
      {name("other.html", ended, "0"), false},    // not a target
      {name("long0.html", ended, "1") + "x", false},
      {"long0.html", false},
  };
  for (const auto& [file, _] : files) testing::WriteFileBytes(dir.file(file), "x");
  const auto isPage = [](const std::string& target) { return target.rfind("long", 0) == 0; };
  EXPECT_EQ(RemoveStaleTemporaries(dir.path(), isPage), 2u);
  for (const auto& [file, goes] : files) EXPECT_EQ(FileExists(dir.file(file)), !goes) << file;
  EXPECT_EQ(RemoveStaleTemporaries(dir.path() + "missing/", isPage), 0u);
}

TEST(FreeSpaceTest, AShareOfTheDiskIsKeptFreeAndTheShortfallNamed) {
  constexpr uint64_t G = uint64_t{1} << 30;
  struct Case {
    const char* name;
    TDiskSpace disk;
    uint64_t bytes, missing;  // missing 0: the write may go ahead
  } const cases[] = {
      {"small disk keeps 5%", {1000, 1000}, 950, 0},       {"one byte over the 5%", {1000, 1000}, 951, 1},
      {"20 GB keeps exactly 1 GB", {20 * G, G + 10}, 10, 0}, {"500 GB keeps only 1 GB", {500 * G, G + 100}, 101, 1},
      {"one byte takes a block", {100000, 9096, 4096}, 1, 0}, {"a block short", {100000, 9095, 4096}, 4097, 4097},
  };
  struct Fixed : IDiskSpace {
    std::optional<TDiskSpace> disk;
    std::optional<TDiskSpace> SpaceOf(const std::string&) override { return disk; }
  } space;
  for (const Case& c : cases) {
    space.disk = c.disk;
    try {
      EnsureRoomFor(space, text::Sjis("/さくら/"), c.bytes);
      EXPECT_EQ(c.missing, 0u) << c.name;
    } catch (const ENoSpaceError& e) {
      EXPECT_EQ(e.what(), text::Sjis("フォルダ /さくら/ の空き容量が足りません (あと ") + std::to_string(c.missing) +
                              text::Sjis(" バイト必要です)"))
          << c.name;
    }
  }
  space.disk.reset();  // figures the system cannot give refuse nothing
  EXPECT_NO_THROW(EnsureRoomFor(space, "/d/", 1'000'000));
}

// Each holder checks nobody else is inside: with the lock file removed and
// made again between holders, two must still never overlap.
TEST(FolderLockTest, OneHolderAtATimeAndNoLockThroughALink) {
  testing::TempDir dir;
  const std::string lockPath = dir.file("long.lock");
  std::atomic<int> inside{0}, overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 40; ++i) {
        const TFolderLock lock(lockPath, std::chrono::seconds(20));
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::yield();
        inside.fetch_sub(1);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_FALSE(std::filesystem::exists(lockPath)) << "the last holder removes the file";
  EXPECT_THROW((TFolderLock{dir.file("missing/long.lock"), std::chrono::seconds(1)}), EFCreateError);
  std::filesystem::create_symlink(dir.file("elsewhere"), lockPath);
  EXPECT_THROW((TFolderLock{lockPath, std::chrono::seconds(1)}), EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere")));
}

TEST(DebugTraceTest, WritesOnlyWhenSwitchedOn) {
  unsetenv("HOLLOWMERE_TRACE");
  ::testing::internal::CaptureStderr();
  DebugTrace("quiet");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  setenv("HOLLOWMERE_TRACE", "1", 1);
  ::testing::internal::CaptureStderr();
  DebugTrace(text::Sjis("Cache Used: さくら3"));
  const std::string out = ::testing::internal::GetCapturedStderr();
  unsetenv("HOLLOWMERE_TRACE");
  EXPECT_EQ(out, "Cache Used: さくら3\n");
}

}  // namespace
}  // namespace hollowmere
