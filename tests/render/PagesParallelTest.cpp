// Pages built on several threads, or written in pieces as they grow, leave
// exactly what one thread building whole pages leaves: the
// same page bytes, the same surface pictures made by the same plugin calls,
// the same hooks in the same order, and the same stop when a page fails,
// with no thread and no temporary file left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <numeric>
#include <optional>
#include <thread>

#include "platform/Errors.h"
#include "render/Pages.h"
#include "render/RenderFixture.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using namespace hollowmere::testing;
using text::Sjis;
namespace fs = std::filesystem;

// What a run leaves on disk and reports.
struct RunResult {
  std::map<std::string, std::string> pages;     // file name -> bytes ("<dir>" for a folder)
  std::map<std::string, std::string> pictures;  // cache file name -> bytes
  std::vector<std::string> written;             // MIDs, as OnMessageWritten reported them
  std::vector<std::size_t> progress;
  std::vector<std::string> navigations;
  int pluginSizes = 0;
  int pluginImages = 0;
  std::string error;  // what() of the failure
  long threadsLeft = 0;  // threads of this process after the run, beyond those before
  bool operator==(const RunResult&) const = default;

  bool LeftTemporaries() const {
    for (const auto* files : {&pages, &pictures}) {
      for (const auto& [name, bytes] : *files) {
        if (name.find(".tmp") != std::string::npos) return true;
      }
    }
    return false;
  }
};

long ThreadsOfThisProcess() {
  return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
}

// Threads of this process beyond `before`, once joined ones have left the
// list: a joined thread's owner is woken while the kernel still lists it for
// a moment. One that is still there after a second was never let go.
long ThreadsLeftBeyond(long before) {
  long now = ThreadsOfThisProcess();
  for (int i = 0; i < 200 && now > before; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    now = ThreadsOfThisProcess();
  }
  return now - before;
}

std::map<std::string, std::string> Contents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    files[e.path().filename().string()] = e.is_directory() ? "<dir>" : ReadFileBytes(e.path().string());
  }
  return files;
}

// Messages over ghosts whose surface files collide ("X1" surface 0 and "X"
// surface 10 share "X10.bmp": the first to want it decides its picture), a
// ghost no plugin paints, surfaces -1, synchronized sessions, links and
// breaks. Every twentieth of the log brings surfaces not seen before, so
// pages all through the log have pictures to make. Message `oddOne` also
// holds "\Z", which the shipped tag lines do not know.
std::string GeneratedLog(int messages, int oddOne = -1) {
  const std::string ghosts[] = {"X", "X1", Sjis("ソ表"), "nobody", "A/B"};
  uint32_t seed = 7;
  const auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  std::string log = "Result: OK\r\ngenerated\r\nlog\r\n";
  for (int i = 0; i < messages; ++i) {
    log += "200405" + std::to_string(10 + i % 20) + "0708" + std::to_string(10 + i % 50) + "\tM" +
           std::to_string(i) + "\tCh" + std::to_string(i % 3) + "\t" + ghosts[next(5)] + "\t1\t2\t3\t";
    log += "\\h\\s[" + std::to_string(next(16)) + "]" + Sjis("表示") + std::to_string(i) + "\\n";
    const uint32_t fresh = 100 + static_cast<uint32_t>(i * 20 / messages);
    log += "\\u\\s[" + std::to_string(i % 2 == 0 ? fresh : next(16)) + "]a b\\w5";
    if (i % 7 == 0) log += "\\_s\\s[" + std::to_string(next(3) == 0 ? -1 : 10) + "]both\\_s";
    if (i % 11 == 0) log += "\\URL[http://x.example/p.html][top]";
    if (i == oddOne) log += "\\Z";
    log += "\\e\r\n";
  }
  return log;
}

std::string ShortTagLog() {
  std::string log = "Result: OK\r\nshort tags\r\nlog\r\n";
  const std::string units[] = {"\\_s[", "\\n\\n\\_s[\\n\\n\\n<b>", "\\u\\n\\n", "\\h\\s[3]\\n\\nx\\n\\n\\ny"};
  for (int i = 0; i < 130; ++i) {
    // A NUL in a ghost name ends the break tidying of its message.
    const std::string ghost = i % 5 == 0 ? std::string("N\0ul", 4) : "X";
    log += "20040506070910\tS" + std::to_string(i) + "\tch\t" + ghost + "\t1\t2\t3\t\\0\\s[" +
           std::to_string(i % 25) + "]";
    for (int n = 0; n < 40 * (i % 4 + 1); ++n) log += units[(n + i) % 4];
    log += "\\e\r\n";
  }
  return log;
}

class ParallelPagesTest : public ::testing::Test, public RenderFixture {
 protected:
  void SetUp() override {
    parser.SetTagPattern(LoadPatternFile(SourceDir() + "/data/tagpat.txt"));
    parser.SetMetaPattern(LoadPatternFile(SourceDir() + "/data/metapat.txt"));
  }

  // `prepare` readies the page folder (after it is emptied) for the run.
  // `spillBytes`: when set, pages past it go to their files in pieces.
  RunResult Show(unsigned threads, const std::string& log, int32_t perPage,
                 const std::function<void()>& prepare = {}, std::optional<std::size_t> spillBytes = {}) {
    for (const std::string& folder : {out.path(), cache.path()}) {
      for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
    }
    if (prepare) prepare();
    // A fresh plugin list: nothing cached from the run before.
    plugins.LoadFolder(TestPluginDir() + "counting/");
    using Probe = int32_t (*)(const char*);
    const auto probe = reinterpret_cast<Probe>(plugins[0].Handle().Symbol("SppProbeCount"));
    const int sizesBefore = probe("size");
    const int imagesBefore = probe("image");
    const long threadsBefore = ThreadsOfThisProcess();

    RunResult run;
    ShowLogContext ctx{parser, awk, plugins, cache.path(), out.path() + "long", "Font", perPage, true, "ja_JP",
                       [&](std::size_t done, std::size_t) { run.progress.push_back(done); }};
    ctx.OnMessageWritten = [&](const TMessageItem& m) { run.written.push_back(m.HeaderValue("MID")); };
    ctx.Threads = threads;
    if (spillBytes) ctx.SpillBytes = *spillBytes;
    FakeHtmlView view;
    try {
      ShowLog(log, ctx, view);
    } catch (const Error& e) {
      run.error = e.what();
    }
    run.pages = Contents(out.path());
    run.pictures = Contents(cache.path());
    run.navigations = view.navigations;
    run.pluginSizes = probe("size") - sizesBefore;
    run.pluginImages = probe("image") - imagesBefore;
    run.threadsLeft = ThreadsLeftBeyond(threadsBefore);
    return run;
  }

  TempDir out;
};

const char kOldPage[] = "a page of an earlier log";

// The page files a run wrote, by number: long0.html, long1.html, ...
std::vector<int> PageNumbers(const RunResult& run) {
  std::vector<int> numbers;
  for (const auto& [name, bytes] : run.pages) {
    int k = -1;
    if (bytes != "<dir>" && bytes != kOldPage && std::sscanf(name.c_str(), "long%d.html", &k) == 1) {
      numbers.push_back(k);
    }
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::vector<int> Upto(int count) {
  std::vector<int> numbers(static_cast<std::size_t>(count));
  std::iota(numbers.begin(), numbers.end(), 0);
  return numbers;
}

TEST_F(ParallelPagesTest, ManyThreadsWriteWhatOneThreadWrites) {
  const struct {
    std::string name;
    std::string log;
    int32_t perPage;
    std::vector<unsigned> threads;
  } cases[] = {
      {"sample log", ReadFileBytes(SourceDir() + "/data/log.txt"), 7, {2, 5}},
      // 50 full pages and an empty last one.
      {"10,000 generated messages", GeneratedLog(10000), 200, {3}},
      // A balloon for every few bytes, breaks to tidy at balloons' starts and
      // in runs, balloons of breaks alone, which are dropped.
      {"short tags and breaks", ShortTagLog(), 3, {2}},
  };
  for (const auto& c : cases) {
    const RunResult one = Show(1, c.log, c.perPage);
    ASSERT_EQ(one.error, "") << c.name;
    ASSERT_GT(one.pages.size(), 40u) << c.name;
    ASSERT_GT(one.pictures.size(), 20u) << c.name;
    ASSERT_EQ(one.navigations.size(), 1u) << c.name;
    ASSERT_FALSE(one.LeftTemporaries()) << c.name;
    for (const unsigned threads : c.threads) {
      const RunResult many = Show(threads, c.log, c.perPage);
      EXPECT_TRUE(many == one) << c.name << " on " << threads << " threads";
    }
    // After every balloon, and every few kilobytes.
    for (const std::size_t spill : {std::size_t{0}, std::size_t{3000}}) {
      for (const unsigned threads : {1u, c.threads.back()}) {
        const RunResult pieces = Show(threads, c.log, c.perPage, {}, spill);
        EXPECT_TRUE(pieces == one) << c.name << " in pieces of " << spill << " on " << threads << " threads";
      }
    }
  }
}

TEST_F(ParallelPagesTest, AFailingPageStopsTheRunAsOnOneThread) {
  std::vector<std::string> faultyLines = parser.TagPattern();
  faultyLines.push_back("x");
  const std::string renderError = Sjis("TagPattern表記ミス ") + std::to_string(faultyLines.size()) + Sjis(" 行目");
  const auto wayBlocked = [](const std::string& path) {
    return [path] { fs::create_directories(path + "/inside"); };
  };
  // The pages of a longer earlier log, which the new pages replace.
  const auto overOldPages = [&](const std::function<void()>& then) {
    return [this, then] {
      then();
      for (int k = 0; k < 30; ++k) {
        const std::string page = out.path() + "long" + std::to_string(k) + ".html";
        if (!fs::exists(page)) WriteFileBytes(page, kOldPage);
      }
    };
  };
  // 200 messages, 10 a page: pages 0 to 20, the last one empty. A "\Z" in
  // message `oddOne` reaches the faulty tag line (when it is loaded).
  const struct {
    std::string name;
    int oddOne;
    bool faultyTags;
    std::function<void()> prepare;
    std::string error;
    int pagesWritten;
  } cases[] = {
      {"write refused midway", -1, false, wayBlocked(out.path() + "long4.html"),
       Sjis("ファイル ") + out.path() + Sjis("long4.html を作成できません"), 4},
      {"write refused midway over earlier pages", -1, false,
       overOldPages(wayBlocked(out.path() + "long4.html")),
       Sjis("ファイル ") + out.path() + Sjis("long4.html を作成できません"), 4},
      {"write refused on the last page", -1, false, wayBlocked(out.path() + "long20.html"),
       Sjis("ファイル ") + out.path() + Sjis("long20.html を作成できません"), 20},
      {"render error midway", 71, true, {}, renderError, 7},
      {"render error in the first message", 0, true, {}, renderError, 0},
      {"render error midway over earlier pages", 71, true, overOldPages([] {}), renderError, 7},
      // A picture that cannot be saved is no picture: every page is written.
      {"picture refused", -1, false, wayBlocked(cache.path() + "X10.bmp"), "", 21},
  };
  const std::vector<std::string> tagLines = parser.TagPattern();
  for (const auto& c : cases) {
    parser.SetTagPattern(c.faultyTags ? faultyLines : tagLines);
    const std::string log = GeneratedLog(200, c.oddOne);
    const RunResult one = Show(1, log, 10, c.prepare);
    EXPECT_EQ(one.error, c.error) << c.name;
    EXPECT_EQ(one.navigations.size(), c.error.empty() ? 1u : 0u) << c.name;
    EXPECT_EQ(PageNumbers(one), Upto(c.pagesWritten)) << c.name;
    EXPECT_EQ(one.written.size(), std::min(c.pagesWritten * 10, 200)) << c.name;
    EXPECT_EQ(one.progress.size(), static_cast<std::size_t>(c.pagesWritten)) << c.name;
    EXPECT_FALSE(one.LeftTemporaries()) << c.name;
    for (const unsigned threads : {2u, 5u}) {
      const RunResult many = Show(threads, log, 10, c.prepare);
      EXPECT_TRUE(many == one) << c.name << " on " << threads << " threads";
      EXPECT_EQ(many.threadsLeft, 0) << c.name << " on " << threads << " threads";
    }
    for (const unsigned threads : {1u, 3u}) {
      const RunResult pieces = Show(threads, log, 10, c.prepare, 0);
      EXPECT_TRUE(pieces == one) << c.name << " in pieces on " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace hollowmere
