// The bytes a run writes for a log of many small messages, 20 a page, built
// in memory exactly as the page writer builds them (no disk needed). What is
// watched is bytes_per_message: it must stay flat as the log grows tenfold;
// with every page listing every page it grew with the number of pages
// (a million messages came to about 360 GB). Run from build/default, where
// the pattern files are found.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <span>

#include "BenchDoubles.h"
#include "log/MessageItem.h"
#include "regex/bmRegExp.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"

namespace hollowmere {
namespace {

constexpr int32_t kPerPage = 20;

std::string SmallMessagesLog(int messages) {
  std::string log = "Result: OK\r\nbench\r\nbench\r\n";
  char line[96];
  for (int i = 0; i < messages; ++i) {
    const int s = i % 86400;
    std::snprintf(line, sizeof line, "20261208%02d%02d%02d\tM%d\tC\tG\t1\t0\t0\t\\0hi\\e\r\n", s / 3600,
                  s / 60 % 60, s % 60, i);
    log += line;
  }
  return log;
}

void BM_PageBytes(benchmark::State& state) {
  const int messages = static_cast<int>(state.range(0));
  bench::NoWindows windows;
  bench::NoBoxes boxes;
  TSppList plugins(true, windows, boxes);
  TSsParser parser;
  const std::string data = std::filesystem::path(__FILE__).parent_path().parent_path().string() + "/data/";
  parser.SetTagPattern(LoadPatternFile(data + "tagpat.txt"));
  parser.SetMetaPattern(LoadPatternFile(data + "metapat.txt"));
  TAWKStr awk;
  awk.SetLineSeparator(mcls_CRLF);
  const std::vector<TMessageItem> log = *ParseLog(SmallMessagesLog(messages));
  const ShowLogContext ctx{parser, awk, plugins, "/tmp/pages/out/cache/", "/tmp/pages/out/long",
                           "Font", kPerPage, true, "ja_JP", {}, {}};
  const int64_t last = static_cast<int64_t>(log.size()) / kPerPage;
  uint64_t bytes = 0;
  for (auto _ : state) {
    TPageBuilder builder(ctx);
    std::string page;
    bytes = 0;
    for (int64_t k = 0; k <= last; ++k) {
      const std::size_t begin = static_cast<std::size_t>(k * kPerPage);
      const std::size_t count = std::min<std::size_t>(kPerPage, log.size() - begin);
      page.clear();
      builder.AppendPageHtml(page, std::span<const TMessageItem>(log).subspan(begin, count), k, last);
      bytes += page.size();
    }
  }
  state.counters["pages"] = static_cast<double>(last + 1);
  state.counters["MB_written"] = static_cast<double>(bytes) / 1e6;
  state.counters["bytes_per_message"] = static_cast<double>(bytes) / messages;
}
BENCHMARK(BM_PageBytes)->ArgName("messages")->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace hollowmere
