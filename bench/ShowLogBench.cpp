// ShowLog on a large generated log (100,000 messages of about 200 bytes of
// script, several balloons each, Japanese text with 0x5C trail bytes, \URL
// tags), 100 messages per page, into a scratch folder. Beside it, the time to
// write the very same page bytes with plain fwrite to as many files in the
// same folder, measured in the same run between ShowLog runs: with pages
// built on one thread per processor (argument 0) ShowLog should stay within
// 1.5 times that (x_plain_write); argument 1 builds every page on the calling
// thread, for comparison. A second baseline, x_overwrite, writes the same
// bytes over the files of the previous round in place (no truncation first),
// which is how the page writer itself treats a file it reuses: on a disk
// mounted with discard, emptying a file makes every freed block wait for the
// device, so that baseline shows what is left once that cost is gone.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "BenchDoubles.h"
#include "regex/bmRegExp.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;

constexpr int kMessages = 100000;
constexpr int kPerPage = 100;

using bench::NoBoxes;
using bench::NoView;
using bench::NoWindows;

std::string GenerateLog() {
  std::mt19937 rng(12345);
  const auto pick = [&](const std::vector<std::string>& v) -> const std::string& {
    return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
  };
  const std::vector<std::string> ghosts = {text::Sjis("さくら"), text::Sjis("ソフィア表"), "Emily",
                                           text::Sjis("能楽師"), text::Sjis("まゆら")};
  const std::vector<std::string> channels = {text::Sjis("さくらチャンネル"), text::Sjis("雑談"), "Test", ""};
  const std::vector<std::string> lines = {
      text::Sjis("こんにちは。今日はいい天気だね。"), text::Sjis("ソフトウェアの表示が変だよ。"),
      text::Sjis("能力テスト、始めるよ。"), text::Sjis("予定表を見てみよう。"), "It's a \"test\" <message>.",
      text::Sjis("お茶でも飲もうか。"), text::Sjis("それは表向きの話でしょ。")};
  const std::vector<std::string> urls = {"\\URL[http://www.example.com/ghost/index.html][" + text::Sjis("配布所") + "]",
                                         "\\URL[http://a.b.example.net/p.php?id=1&v=2]"};
  std::string log = "Result: OK\r\nbench\r\nbench\r\n";
  log.reserve(static_cast<std::size_t>(kMessages) * 280);
  for (int i = 0; i < kMessages; ++i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "200405%02d%02d%02d%02d", 1 + i / 10000, (i / 3600) % 24, (i / 60) % 60,
                  i % 60);
    log += stamp;
    log += '\t';
    log += std::to_string(1000000 + i);
    log += '\t';
    log += pick(channels);
    log += '\t';
    log += pick(ghosts);
    log += "\t12\t3\t1\t";
    // About 200 bytes: three or four balloons, surfaces, breaks, waits.
    log += "\\h\\s[" + std::to_string(rng() % 9) + "]" + pick(lines) + "\\w5\\n" + pick(lines);
    log += "\\n\\u\\s[1" + std::to_string(rng() % 9) + "]" + pick(lines);
    log += "\\n\\h\\s[" + std::to_string(rng() % 9) + "]" + pick(lines);
    if (i % 5 == 0) log += "\\_s" + pick(lines) + "\\_s";
    if (i % 4 == 0) log += pick(urls);
    log += "\\e\r\n";
  }
  return log;
}

struct Bench {
  Bench() : plugins(true, windows, boxes) {
    char tmpl[] = "/tmp/hollowmere-bench-XXXXXX";
    folder = std::string(mkdtemp(tmpl)) + "/";
    fs::create_directories(folder + "cache");
    // The shipped pattern files, found from this source file's own place.
    const std::string data = std::string(HOLLOWMERE_SOURCE_DIR "/data/");
    parser.SetTagPattern(LoadPatternFile(data + "tagpat.txt"));
    parser.SetMetaPattern(LoadPatternFile(data + "metapat.txt"));
    awk.SetLineSeparator(mcls_CRLF);
    log = GenerateLog();
  }
  ~Bench() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  ShowLogContext Context(unsigned threads) {
    ShowLogContext ctx{parser, awk, plugins, folder + "cache/", folder + "long",
                       text::Sjis("ＭＳ 明朝"), kPerPage, true, "ja_JP", {}, {}};
    ctx.Threads = threads;
    return ctx;
  }

  // The bytes ShowLog wrote, page by page.
  std::vector<std::string> ReadPages() const {
    std::vector<std::string> pages;
    for (int k = 0;; ++k) {
      std::ifstream in(folder + "long" + std::to_string(k) + ".html", std::ios::binary);
      if (!in) break;
      std::stringstream s;
      s << in.rdbuf();
      pages.push_back(s.str());
    }
    return pages;
  }

  // Writes the same pages under other names in the same folder with plain
  // stdio; seconds taken.
  double PlainWrite(const std::vector<std::string>& pages) const {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < pages.size(); ++k) {
      const std::string name = folder + "plain" + std::to_string(k) + ".html";
      std::FILE* f = std::fopen(name.c_str(), "wb");
      if (f == nullptr) std::abort();
      std::fwrite(pages[k].data(), 1, pages[k].size(), f);
      std::fclose(f);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  // Writes the same pages over files "over<k>.html" of the previous round
  // without emptying them first, cut to length afterwards; seconds taken.
  double OverwriteInPlace(const std::vector<std::string>& pages) const {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < pages.size(); ++k) {
      const std::string name = folder + "over" + std::to_string(k) + ".html";
      std::FILE* f = std::fopen(name.c_str(), "r+b");
      if (f == nullptr) f = std::fopen(name.c_str(), "wb");
      if (f == nullptr) std::abort();
      std::fwrite(pages[k].data(), 1, pages[k].size(), f);
      std::fflush(f);
      if (ftruncate(fileno(f), static_cast<off_t>(pages[k].size())) != 0) std::abort();
      std::fclose(f);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  std::string folder;
  NoWindows windows;
  NoBoxes boxes;
  TSppList plugins;
  TSsParser parser;
  TAWKStr awk;
  std::string log;
};

void BM_ShowLog(benchmark::State& state) {
  Bench bench;
  NoView view;
  const ShowLogContext ctx = bench.Context(static_cast<unsigned>(state.range(0)));
  ShowLog(bench.log, ctx, view);  // warm the page cache and learn the output
  const std::vector<std::string> pages = bench.ReadPages();
  std::size_t bytes = 0;
  for (const auto& p : pages) bytes += p.size();

  bench.OverwriteInPlace(pages);  // the files to write over

  double showLogSeconds = 0;
  double plainSeconds = 0;
  double overwriteSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    ShowLog(bench.log, ctx, view);
    showLogSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    plainSeconds += bench.PlainWrite(pages);
    overwriteSeconds += bench.OverwriteInPlace(pages);
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
  state.counters["pages"] = static_cast<double>(pages.size());
  state.counters["page_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["msgs_per_s"] = kMessages * n / showLogSeconds;
  state.counters["MB_per_s"] = static_cast<double>(bytes) * n / showLogSeconds / 1e6;
  state.counters["plain_fwrite_s"] = plainSeconds / n;
  state.counters["plain_MB_per_s"] = static_cast<double>(bytes) * n / plainSeconds / 1e6;
  state.counters["x_plain_write"] = showLogSeconds / plainSeconds;
  state.counters["overwrite_s"] = overwriteSeconds / n;
  state.counters["x_overwrite"] = showLogSeconds / overwriteSeconds;
  state.counters["threads"] = PageThreads(ctx.Threads);
}
BENCHMARK(BM_ShowLog)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace hollowmere
