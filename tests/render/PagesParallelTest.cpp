// Pages built on several threads leave exactly what one thread leaves: the
// same page bytes, the same surface pictures made by the same plugin calls,
// the same hooks in the same order, and the same stop when a page fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

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
  int pluginImages = 0;
  std::string error;  // what() of the failure
  bool operator==(const RunResult&) const = default;
};

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
// breaks. Message `oddOne` also holds "\Z", which the shipped tag lines
// do not know.
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
    log += "\\h\\s[" + std::to_string(next(40)) + "]" + Sjis("表示") + std::to_string(i) + "\\n";
    log += "\\u\\s[" + std::to_string(next(40)) + "]a b\\w5";
    if (i % 7 == 0) log += "\\_s\\s[" + std::to_string(next(3) == 0 ? -1 : 10) + "]both\\_s";
    if (i % 11 == 0) log += "\\URL[http://x.example/p.html][top]";
    if (i == oddOne) log += "\\Z";
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
  RunResult Show(unsigned threads, const std::string& log, int32_t perPage,
                 const std::function<void()>& prepare = {}) {
    for (const std::string& folder : {out.path(), cache.path()}) {
      for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
    }
    if (prepare) prepare();
    // A fresh plugin list: nothing cached from the run before.
    plugins.LoadFolder(TestPluginDir() + "counting/");
    using Probe = int32_t (*)(const char*);
    const auto probe = reinterpret_cast<Probe>(plugins[0].Handle.Symbol("SppProbeCount"));
    const int imagesBefore = probe("image");

    RunResult run;
    ShowLogContext ctx{parser, awk, plugins, cache.path(), out.path() + "long", "Font", perPage, true, "ja_JP",
                       [&](std::size_t done, std::size_t) { run.progress.push_back(done); }};
    ctx.OnMessageWritten = [&](const TMessageItem& m) { run.written.push_back(m.HeaderValue("MID")); };
    ctx.Threads = threads;
    FakeHtmlView view;
    try {
      ShowLog(log, ctx, view);
    } catch (const Error& e) {
      run.error = e.what();
    }
    run.pages = Contents(out.path());
    run.pictures = Contents(cache.path());
    run.navigations = view.navigations;
    run.pluginImages = probe("image") - imagesBefore;
    return run;
  }

  TempDir out;
};

TEST_F(ParallelPagesTest, ManyThreadsWriteWhatOneThreadWrites) {
  const struct {
    std::string name;
    std::string log;
    int32_t perPage;
  } cases[] = {
      {"sample log", ReadFileBytes(SourceDir() + "/data/log.txt"), 7},
      {"10,000 generated messages", GeneratedLog(10000), 37},
  };
  for (const auto& c : cases) {
    const RunResult one = Show(1, c.log, c.perPage);
    ASSERT_EQ(one.error, "") << c.name;
    ASSERT_GT(one.pages.size(), 40u) << c.name;
    ASSERT_GT(one.pictures.size(), 20u) << c.name;
    ASSERT_EQ(one.navigations.size(), 1u) << c.name;
    for (const unsigned threads : {2u, 5u}) {
      const RunResult many = Show(threads, c.log, c.perPage);
      EXPECT_TRUE(many == one) << c.name << " on " << threads << " threads";
    }
  }
}

TEST_F(ParallelPagesTest, AFailingPageStopsTheRunAsOnOneThread) {
  const std::string log = GeneratedLog(400, 143);
  std::vector<std::string> faultyLines = parser.TagPattern();
  faultyLines.push_back("x");
  const struct {
    std::string name;
    std::function<void()> prepare;
    std::vector<std::string> tagPatterns;
    std::string error;
    std::size_t pagesWritten;
  } cases[] = {
      // A folder in the way of page 4.
      {"write refused", [&] { fs::create_directories(out.path() + "long4.html/inside"); }, parser.TagPattern(),
       Sjis("ファイル ") + out.path() + Sjis("long4.html を作成できません"), 4},
      // A faulty tag line that only the "\Z" of message 143 (page 7) reaches.
      {"render error", {}, faultyLines,
       Sjis("TagPattern表記ミス ") + std::to_string(faultyLines.size()) + Sjis(" 行目"), 7},
  };
  for (const auto& c : cases) {
    parser.SetTagPattern(c.tagPatterns);
    const RunResult one = Show(1, log, 20, c.prepare);
    EXPECT_EQ(one.error, c.error) << c.name;
    EXPECT_TRUE(one.navigations.empty()) << c.name;
    EXPECT_EQ(one.written.size(), c.pagesWritten * 20) << c.name;
    EXPECT_EQ(one.progress.size(), c.pagesWritten) << c.name;
    EXPECT_EQ(one.pages.count("long" + std::to_string(c.pagesWritten - 1) + ".html"), 1u) << c.name;
    EXPECT_EQ(one.pages.count("long" + std::to_string(c.pagesWritten + 1) + ".html"), 0u) << c.name;
    for (const unsigned threads : {2u, 6u}) {
      EXPECT_TRUE(Show(threads, log, 20, c.prepare) == one) << c.name << " on " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace hollowmere
