// The log download's whole road against the page writer alone: a
// 100,000-message log (about 14 MB, the sample log's messages repeated
// under new ids and times) fetched from the Voyla stand-in over loopback by
// the HTTP worker and written as pages, beside hollowmere-render's road on
// the same log saved to disk, in the same run and with the same settings.
// Loopback moves the 14 MB in tens of milliseconds, so the fetch road should
// stay within 1.15 times the saved-file road (counter x_render); transfer_s
// is the GET alone, the part of the road the saved file does not have.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "BenchDoubles.h"
#include "app/RenderCommand.h"
#include "log/MessageItem.h"
#include "net/HttpThread.h"
#include "platform/Clock.h"
#include "platform/PollMainLoop.h"
#include "regex/bmRegExp.h"
#include "render/Pages.h"
#include "script/SsParser.h"
#include "support/StandinProcess.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr int kMessages = 100000;
constexpr int kPerPage = 100;

using bench::NoBoxes;
using bench::NoView;
using bench::NoWindows;

std::string DataDir() { return std::string(HOLLOWMERE_SOURCE_DIR "/data/"); }

// The sample's messages again and again, two seconds apart, so the whole
// log lies within the last 5000 minutes once the stand-in has moved it.
std::string GenerateLog() {
  const std::vector<std::string> lines = text::SplitLines(testing::ReadFileBytes(DataDir() + "log.txt"));
  std::string log = "Result: OK\r\nbench\r\nbench\r\n";
  log.reserve(static_cast<std::size_t>(kMessages) * 150);
  int64_t stamp = 0;
  for (int i = 0; i < kMessages; ++i) {
    const std::string& sample = lines[3 + static_cast<std::size_t>(i) % (lines.size() - 3)];
    const std::size_t afterMid = sample.find('\t', 15);
    char head[64];
    const TLocalTime t = FromWallSeconds(DaysFromCivil({2004, 5, 1}) * 86400 + stamp);
    std::snprintf(head, sizeof head, "%04d%02d%02d%02d%02d%02d\t%08x", t.Date.Year, t.Date.Month, t.Date.Day,
                  t.Time.Hour, t.Time.Minute, t.Time.Second, static_cast<unsigned>(i));
    log += head;
    log.append(sample, afterMid, std::string::npos);
    log += "\r\n";
    stamp += 2;
  }
  return log;
}

struct Bench {
  Bench() : plugins(true, windows, boxes) {
    char tmpl[] = "/tmp/hollowmere-fetch-bench-XXXXXX";
    folder = std::string(mkdtemp(tmpl)) + "/";
    for (const char* sub : {"fetched", "saved", "cache"}) fs::create_directories(folder + sub);
    parser.SetTagPattern(LoadPatternFile(DataDir() + "tagpat.txt"));
    parser.SetMetaPattern(LoadPatternFile(DataDir() + "metapat.txt"));
    awk.SetLineSeparator(mcls_CRLF);
    testing::WriteFileBytes(folder + "log.txt", GenerateLog());
    standin = std::make_unique<testing::StandinProcess>(folder + "log.txt");
  }
  ~Bench() {
    standin.reset();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  // The window's road: the worker's GET, then the pages.
  std::size_t FetchAndWrite() {
    const auto start = std::chrono::steady_clock::now();
    TPollMainLoop loop;
    THTTPDownloadThread worker(loop, standin->HostPort(),
                               "http://" + standin->HostPort() + "/fetchlog.cgi?recent=5000", "");
    worker.Start();
    loop.ServeUntil([&] { return worker.Finished(); });
    if (!worker.ErrorMessage.empty()) throw std::runtime_error(text::Cp932ToUtf8Lossy(worker.ErrorMessage));
    transferSeconds += Seconds(std::chrono::steady_clock::now() - start).count();
    const ShowLogContext ctx{parser, awk, plugins, folder + "cache/", folder + "fetched/long",
                             text::Sjis("ＭＳ 明朝"), kPerPage, true, "ja_JP", {}};
    ShowLog(worker.ResponseText, ctx, view);
    return worker.ResponseText.size();
  }

  // hollowmere-render's road on the saved log.
  void RenderSaved() {
    std::ostringstream out, err;
    const int status = RunRenderCommand({"--per-page", std::to_string(kPerPage), "--patterns", DataDir(),
                                         "--cache", folder + "cache", "--locale", "ja_JP",
                                         folder + "log.txt", folder + "saved"},
                                        out, err, false);
    if (status != 0) throw std::runtime_error(err.str());
  }

  std::string folder;
  NoWindows windows;
  NoBoxes boxes;
  NoView view;
  TSppList plugins;
  TSsParser parser;
  TAWKStr awk;
  std::unique_ptr<testing::StandinProcess> standin;
  double transferSeconds = 0;  // the GET alone, summed over the road's runs
};

void BM_FetchLogAndWritePages(benchmark::State& state) {
  Bench bench;
  std::size_t logBytes = bench.FetchAndWrite();  // warm both roads once
  bench.RenderSaved();
  bench.transferSeconds = 0;
  double fetchSeconds = 0;
  double renderSeconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    logBytes = bench.FetchAndWrite();
    fetchSeconds += Seconds(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    start = std::chrono::steady_clock::now();
    bench.RenderSaved();
    renderSeconds += Seconds(std::chrono::steady_clock::now() - start).count();
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.counters["log_MB"] = static_cast<double>(logBytes) / 1e6;
  state.counters["fetch_and_pages_s"] = fetchSeconds / n;
  state.counters["render_saved_s"] = renderSeconds / n;
  state.counters["transfer_s"] = bench.transferSeconds / n;
  state.counters["x_render"] = fetchSeconds / renderSeconds;
}
BENCHMARK(BM_FetchLogAndWritePages)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace hollowmere
