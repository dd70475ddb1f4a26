// The FMO on Linux, read by the real seeker: the folder rule, which folders
// and files may feed ghosts, and the block's lock against another process
// that holds it or dies holding it.
#include "platform/FmoFiles.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <thread>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "ghost/SakuraSeeker.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::TempDir;
using testing::WriteFileBytes;
using text::Sjis;
using Clock = std::chrono::steady_clock;

std::string BlockBytes(const std::string& text) {
  std::string bytes;
  const auto size = static_cast<std::uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((size >> (8 * i)) & 0xFF);
  return bytes + text + '\0';
}

const std::string kTwoGhosts = "id1.hwnd\x01" "1234\r\nid1.name\x01" "A\r\nid2.name\x01" "B\r\n";

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Sets environment variables for one scope (nullptr: unset).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Another process that takes the lock file's flock and keeps it until it is
// killed.
class LockHolder {
 public:
  explicit LockHolder(const std::string& lockFile) {
    int ready[2];
    if (pipe(ready) != 0) return;
    const char* path = lockFile.c_str();
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(path, O_RDWR | O_CREAT, 0600);
      if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
      [[maybe_unused]] const ssize_t n = write(ready[1], "L", 1);
      for (;;) pause();
    }
    close(ready[1]);
    char c = 0;
    held_ = read(ready[0], &c, 1) == 1;
    close(ready[0]);
  }
  ~LockHolder() { Die(); }
  bool Held() const { return held_; }
  void Die() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool held_ = false;
};

TEST(FmoFolder, TheFolderRule) {
  const std::string tmp = "/tmp/fmo-" + std::to_string(getuid());
  const struct {
    const char* own;
    const char* runtime;
    std::string folder;
  } cases[] = {
      {"/srv/fmo/", "/run/user/5", "/srv/fmo"},
      {"", "/run/user/5", "/run/user/5/fmo"},
      {nullptr, "/run/user/5/", "/run/user/5/fmo"},
      {nullptr, "", tmp},
      {nullptr, nullptr, tmp},
  };
  for (const auto& c : cases) {
    const ScopedEnv own("HOLLOWMERE_FMO_DIR", c.own);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
    EXPECT_EQ(FmoFolderPath(), c.folder) << (c.own ? c.own : "-") << " " << (c.runtime ? c.runtime : "-");
  }
}

TEST(FmoFolder, NamesWithAndWithoutAFile) {
  const struct {
    std::string name;
    std::optional<std::string> file;
  } cases[] = {
      {"Sakura", "Sakura"},
      {Sjis("さくら"), "さくら"},
      {"...", "..."},
      {"SakuraFMO", "SakuraFMO"},
      {"", std::nullopt},
      {".", std::nullopt},
      {"..", std::nullopt},
      {"a/b", std::nullopt},
      {"/etc", std::nullopt},
      {std::string("a\0b", 3), std::nullopt},
      {"\x81", std::nullopt},  // a lead byte with nothing after it
  };
  for (const auto& c : cases) EXPECT_EQ(FmoFileName(c.name), c.file) << c.name;
}

class FmoFilesTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir.file("fmo"); }
  std::string InFolder(const std::string& name) const { return Folder() + "/" + name; }
  void MakeFolder(unsigned mode = 0700) {
    fs::create_directory(Folder());
    ::chmod(Folder().c_str(), mode);
  }
  std::string DetectError(TSakuraSeeker& seeker) {
    try {
      seeker.Detect();
    } catch (const ESakuraSeekerError& e) {
      return e.what();
    }
    return "no error";
  }

  TempDir dir;
};

TEST_F(FmoFilesTest, BlocksAreFilesAndLocksAreMadeForThem) {
  MakeFolder();
  WriteFileBytes(InFolder("Sakura"), BlockBytes(kTwoGhosts));
  WriteFileBytes(InFolder("さくら"), BlockBytes("id3.name\x01" "C"));
  TFmoFiles files(Folder());
  TSakuraSeeker seeker(files, 100ms);
  seeker.SetFileMappingTarget({"Sakura", Sjis("さくら")});
  seeker.Detect();
  ASSERT_EQ(seeker.Count(), 3);
  EXPECT_EQ(seeker.Processes(0).HWnd(), 1234);
  EXPECT_EQ(seeker.Processes(1).Name(), "B");
  EXPECT_EQ(seeker.Processes(2).FmoName(), Sjis("さくら"));
  EXPECT_EQ(Mode(InFolder("SakuraFMO.lock")), 0600u);
  EXPECT_EQ(Mode(InFolder("さくらFMO.lock")), 0600u);
}

TEST_F(FmoFilesTest, AMissingFolderIsMadeAndHoldsNoGhosts) {
  TFmoFiles files(Folder());
  TSakuraSeeker seeker(files, 100ms);
  seeker.Detect();
  EXPECT_EQ(seeker.Count(), 0);
  EXPECT_EQ(Mode(Folder()), 0700u);
  EXPECT_TRUE(fs::exists(InFolder("SakuraFMO.lock")));
}

TEST_F(FmoFilesTest, OnlyAFolderNoOtherAccountCanWriteFeedsGhosts) {
  const std::string real = dir.file("real");
  // Each case lays out the folder holding the two ghosts its own way.
  const auto mode = [&](unsigned m) { return [&, m] { ::chmod(Folder().c_str(), m); }; };
  const struct {
    const char* what;
    std::function<void()> prepare;
    bool trusted;
  } cases[] = {
      {"0700", mode(0700), true},
      {"0755", mode(0755), true},
      {"0750", mode(0750), true},
      {"group may write", mode(0770), false},
      {"others may write", mode(0702), false},
      {"sticky, anyone may write", mode(01777), false},
      {"another user's", [&] { ASSERT_EQ(::chown(Folder().c_str(), 4242, 4242), 0); }, false},
      {"a link to a good folder",
       [&] {
         fs::rename(Folder(), real);
         fs::create_directory_symlink(real, Folder());
       },
       false},
  };
  for (const auto& c : cases) {
    if (std::string(c.what) == "another user's" && geteuid() != 0) continue;
    fs::remove_all(Folder());
    fs::remove_all(real);
    MakeFolder(0700);
    WriteFileBytes(InFolder("Sakura"), BlockBytes(kTwoGhosts));
    c.prepare();
    TFmoFiles files(Folder());
    TSakuraSeeker seeker(files, 100ms);
    EXPECT_EQ(DetectError(seeker), "no error") << c.what;
    EXPECT_EQ(seeker.Count(), c.trusted ? 2 : 0) << c.what;
    // Nothing is made in a folder that is refused.
    EXPECT_EQ(fs::exists(InFolder("SakuraFMO.lock")), c.trusted) << c.what;
    if (c.trusted || fs::is_symlink(Folder())) continue;
    // Put right, the folder feeds the same seeker at its next look.
    ASSERT_EQ(::chown(Folder().c_str(), geteuid(), getegid()), 0);
    ::chmod(Folder().c_str(), 0700);
    seeker.Detect();
    EXPECT_EQ(seeker.Count(), 2) << c.what;
  }
  // A file where the folder should be holds no ghosts either.
  fs::remove_all(Folder());
  WriteFileBytes(Folder(), "not a folder");
  TFmoFiles file(Folder());
  TSakuraSeeker seeker(file, 100ms);
  seeker.Detect();
  EXPECT_EQ(seeker.Count(), 0);
}

TEST_F(FmoFilesTest, OnlyARegularFileIsABlock) {
  MakeFolder();
  WriteFileBytes(dir.file("elsewhere"), BlockBytes(kTwoGhosts));
  fs::create_symlink(dir.file("elsewhere"), InFolder("Linked"));
  ASSERT_EQ(::mkfifo(InFolder("Fifo").c_str(), 0600), 0);  // would hang a blocking open
  fs::create_directory(InFolder("Folder"));
  TFmoFiles files(Folder());
  TSakuraSeeker seeker(files, 100ms);
  seeker.SetFileMappingTarget({"Linked", "Fifo", "Folder", "", "..", "Missing"});
  seeker.Detect();
  EXPECT_EQ(seeker.Count(), 0);
}

TEST_F(FmoFilesTest, NoLockFileNoHandle) {
  MakeFolder();
  fs::create_directory(InFolder("SakuraFMO.lock"));
  TFmoFiles files(Folder());
  TSakuraSeeker seeker(files, 100ms);
  const std::string noHandle = Sjis("Mutexハンドルを取得できませんでした");
  EXPECT_EQ(DetectError(seeker), noHandle);
  seeker.SetFileMappingTarget({"a/b"});
  EXPECT_EQ(DetectError(seeker), noHandle);

  TFmoFiles nowhere(dir.file("no/such/fmo"));
  TSakuraSeeker lost(nowhere, 100ms);
  EXPECT_EQ(DetectError(lost), noHandle);
}

TEST_F(FmoFilesTest, ALockHeldElsewhereTimesOutUntilItsHolderDies) {
  MakeFolder();
  WriteFileBytes(InFolder("Sakura"), BlockBytes(kTwoGhosts));
  LockHolder holder(InFolder("SakuraFMO.lock"));
  ASSERT_TRUE(holder.Held());
  TFmoFiles files(Folder());
  TSakuraSeeker seeker(files, 150ms);
  const auto start = Clock::now();
  EXPECT_EQ(DetectError(seeker), Sjis("Mutex同期タイムアウト"));
  EXPECT_GE(Clock::now() - start, 150ms);
  EXPECT_EQ(seeker.Count(), 0);

  // A stop ends the wait within moments, whatever is left of it.
  TSakuraSeeker patient(files, 50s);
  std::stop_source stop;
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    stop.request_stop();
  });
  const auto stopped = Clock::now();
  EXPECT_THROW(patient.Detect(stop.get_token()), ESakuraSeekerError);
  stopper.join();
  EXPECT_LT(Clock::now() - stopped, 3s);

  holder.Die();
  seeker.Detect();
  EXPECT_EQ(seeker.Count(), 2);
}

TEST_F(FmoFilesTest, TheRealWaitIsThreeSeconds) {
  MakeFolder();
  LockHolder holder(InFolder("SakuraFMO.lock"));
  ASSERT_TRUE(holder.Held());
  TFmoFiles files(Folder());
  TSakuraSeeker seeker(files);
  const auto start = Clock::now();
  EXPECT_EQ(DetectError(seeker), Sjis("Mutex同期タイムアウト"));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 3000ms);
  EXPECT_LT(waited, 6000ms);
}

}  // namespace
}  // namespace hollowmere
