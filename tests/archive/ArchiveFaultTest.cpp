// The archive under faults: a merging process killed at any moment, a write
// that fails part-way (a file size limit in a child process), two processes
// merging at once, and a folder it may not write. Every case ends with the
// archive opening and its check passing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "ArchiveTestLog.h"
#include "archive/SqliteArchive.h"

namespace hollowmere::testing {
namespace {

// A log of `n` messages whose MIDs all start with `batch` + "-".
std::string BatchLog(const std::string& batch, int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    LineSpec s;
    s.Mid = batch + "-" + std::to_string(i);
    s.Stamp = "200405" + std::to_string(10 + i % 18) + "120000";
    s.Script = "\\0バッチ" + batch + "の" + std::to_string(i) + "番\\e";
    lines.push_back(Line(s));
  }
  return Log(lines);
}

// Messages kept per batch prefix.
std::map<std::string, int> Batches(IArchiveStore& store) {
  std::map<std::string, int> batches;
  store.Export({}, [&](const TArchiveLine& l) { ++batches[l.Mid.substr(0, l.Mid.find('-'))]; });
  return batches;
}

int Wait(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

template <typename F>
pid_t Fork(F body) {
  const pid_t child = fork();
  if (child == 0) {
    int code = 1;
    try {
      code = body();
    } catch (...) {
      code = 2;
    }
    _exit(code);
  }
  return child;
}

constexpr int kBigBatch = 20000;
constexpr int kSmallBatch = 300;
constexpr int kSmallBatches = 30;

std::string BatchName(int b) { return "b" + std::to_string(b); }

TEST(ArchiveFaults, KilledMidImportLeavesWholeMergesAndCanRunAgain) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite3");
  const std::string big = BatchLog("big", kBigBatch);
  std::vector<std::string> small;
  for (int b = 0; b < kSmallBatches; ++b) small.push_back(BatchLog(BatchName(b), kSmallBatch));
  const auto importAll = [&] {
    auto store = OpenSqliteArchive(path);
    MergeLog(*store, big);
    for (const auto& log : small) MergeLog(*store, log);
    return 0;
  };
  std::mt19937 rng(20261208);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    const pid_t child = Fork(importAll);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1500)(rng)));
    kill(child, SIGKILL);
    Wait(child);
    auto store = OpenSqliteArchive(path);
    EXPECT_EQ(store->Check(), std::vector<std::string>{});
    for (const auto& [batch, n] : Batches(*store)) {
      EXPECT_EQ(n, batch == "big" ? kBigBatch : kSmallBatch) << batch;
    }
  }
  ASSERT_EQ(importAll(), 0);
  auto store = OpenSqliteArchive(path);
  EXPECT_EQ(store->Check(), std::vector<std::string>{});
  EXPECT_EQ(Batches(*store).size(), static_cast<std::size_t>(kSmallBatches + 1));
  EXPECT_EQ(store->Count(ParseSearchQuery("バッチ")), static_cast<uint64_t>(kBigBatch + kSmallBatch * kSmallBatches));
}

TEST(ArchiveFaults, AWriteFailurePartWayLeavesTheArchiveAsBefore) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite3");
  { MergeLog(*OpenSqliteArchive(path), BatchLog("before", 100)); }
  const std::uintmax_t size = std::filesystem::file_size(path);
  const pid_t child = Fork([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{size + 64 * 1024, size + 64 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
    TLogArchiver archiver(path, ShippedVisibleText());
    const TArchiveOutcome out = archiver.Archive(BatchLog("after", 20000), 2);
    if (out.Archived) return 4;
    return out.Message.find(path) != std::string::npos ? 0 : 5;
  });
  EXPECT_EQ(Wait(child), 0);
  auto store = OpenSqliteArchive(path);
  EXPECT_EQ(store->Check(), std::vector<std::string>{});
  EXPECT_EQ(Batches(*store), (std::map<std::string, int>{{"before", 100}}));
}

TEST(ArchiveFaults, TwoProcessesMergingAtOnceBothLand) {
  TempDir dir;
  const std::string path = dir.file("archive.sqlite3");
  { OpenSqliteArchive(path); }
  const auto merger = [&](const std::string& who) {
    return [&, who] {
      auto store = OpenSqliteArchive(path);
      for (int b = 0; b < 15; ++b) MergeLog(*store, BatchLog(who + std::to_string(b), 200));
      return 0;
    };
  };
  const pid_t a = Fork(merger("x"));
  const pid_t b = Fork(merger("y"));
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
  auto store = OpenSqliteArchive(path);
  EXPECT_EQ(store->Check(), std::vector<std::string>{});
  EXPECT_EQ(Batches(*store).size(), 30u);
  EXPECT_EQ(store->Count(ParseSearchQuery("")), 6000u);
}

TEST(ArchiveFaults, AFolderThatCannotBeWrittenGivesAMessageNamingTheFile) {
  TempDir dir;
  const std::string locked = dir.file("locked");
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                           std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
  const std::string path = locked + "/archive.sqlite3";
  const pid_t child = Fork([&] {
    // The superuser may write anywhere, so this runs as an ordinary user.
    if (geteuid() == 0 && setuid(65534) != 0) return 3;
    TLogArchiver archiver(path, ShippedVisibleText());
    const TArchiveOutcome out = archiver.Archive(Log({Line(LineSpec{})}), 1);
    if (out.Archived) return 4;
    return out.Message.find(path) != std::string::npos ? 0 : 5;
  });
  EXPECT_EQ(Wait(child), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace hollowmere::testing
