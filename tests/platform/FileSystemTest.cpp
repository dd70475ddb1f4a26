// File-system helpers and the trace channel.
#include "platform/FileSystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/DebugTrace.h"
#include "platform/Errors.h"
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

TEST(FileSystemTest, ExecutableFolderHoldsThisTest) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(FileExists(folder + "test_platform"));
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
