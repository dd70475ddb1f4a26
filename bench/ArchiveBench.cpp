// The archive at scale: a log of 1,000,000 messages made from the sample's
// lines (distinct MIDs, one message every ~150 s, so about five years),
// imported into an empty archive; then a 100,000-message fetch of which
// 99,000 are kept already; then the first 100 hits and the exact count of
// typical queries. Counters: messages/s, file size / log size, and for each
// query the median and worst of its runs in milliseconds (wall clock), and
// the wall and processor time of its exact count.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/LogArchiver.h"
#include "archive/SqliteArchive.h"
#include "platform/FileSystem.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMessages = 1000000;
constexpr int64_t kStart = 946684800;  // 2000-01-01
constexpr int64_t kStep = 157;

const std::string& Dir() {
  static const std::string dir = [] {
    const std::string d = (fs::temp_directory_path() / "hollowmere-archive-bench").string();
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

std::vector<std::string> SampleLines() {
  const std::string text = ReadWholeFile(ProgramPath(HOLLOWMERE_SOURCE_DIR "/data/log.txt"));
  std::vector<std::string> lines = text::SplitLines(text);
  lines.erase(lines.begin(), lines.begin() + 3);
  return lines;
}

// Message k: sample line k mod n with its own stamp and MID.
std::string MakeLog(std::size_t first, std::size_t count) {
  static const std::vector<std::string> sample = SampleLines();
  std::string log = "Result: OK\r\nbench\r\nCount\r\n";
  log.reserve(count * 150);
  char head[64];
  for (std::size_t k = first; k < first + count; ++k) {
    const std::string& line = sample[k % sample.size()];
    const std::size_t afterMid = line.find('\t', line.find('\t') + 1);
    const TLocalTime t = FromWallSeconds(kStart + static_cast<int64_t>(k) * kStep + static_cast<int64_t>(k % 7));
    std::snprintf(head, sizeof head, "%04d%02d%02d%02d%02d%02d\tm%07zx", t.Date.Year, t.Date.Month, t.Date.Day,
                  t.Time.Hour, t.Time.Minute, t.Time.Second, k);
    log += head;
    log.append(line, afterMid);
    log += "\r\n";
  }
  return log;
}

TVisibleText& Visible() {
  static TVisibleText v = TVisibleText::FromFolder(HOLLOWMERE_SOURCE_DIR "/data/");
  return v;
}

std::string ArchivePath() { return Dir() + "/archive.sqlite3"; }

std::size_t g_logBytes = 0;

void Import(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* ext : {"", "-wal", "-shm"}) fs::remove(ArchivePath() + ext);
    const std::string log = MakeLog(0, kMessages);
    g_logBytes = log.size();
    state.ResumeTiming();
    auto store = OpenSqliteArchive(ArchivePath());
    TLogEntries entries(log, Visible());
    store->Merge(entries, 1);
    store.reset();  // checkpoints the WAL into the file
  }
  state.counters["messages_per_s"] =
      benchmark::Counter(static_cast<double>(kMessages), benchmark::Counter::kIsRate);
  state.counters["log_MB"] = static_cast<double>(g_logBytes) / 1e6;
  state.counters["file_MB"] = static_cast<double>(fs::file_size(ArchivePath())) / 1e6;
  state.counters["file_per_log"] = static_cast<double>(fs::file_size(ArchivePath())) / static_cast<double>(g_logBytes);
}
BENCHMARK(Import)->Unit(benchmark::kSecond)->Iterations(1);

// 99,000 messages already kept (the newest of the archive) and 1,000 new.
void MergeFetch(benchmark::State& state) {
  std::size_t round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string kept = MakeLog(kMessages - 99000, 99000);
    const std::string fresh = MakeLog(kMessages + 1000 * round++, 1000);
    const std::string log = kept + fresh.substr(fresh.find("Count\r\n") + 7);
    auto store = OpenSqliteArchive(ArchivePath());
    state.ResumeTiming();
    TLogEntries entries(log, Visible());
    const TMergeCounts c = store->Merge(entries, 2);
    benchmark::DoNotOptimize(c);
    state.PauseTiming();
    if (c.New != 1000 || c.Unchanged != 99000) state.SkipWithError("unexpected merge counts");
    store.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(MergeFetch)->Unit(benchmark::kMillisecond)->Iterations(3);

void Query(benchmark::State& state, const char* utf8) {
  auto store = OpenSqliteArchive(ArchivePath());
  const TSearchQuery q = ParseSearchQuery(utf8);
  std::vector<double> ms;
  std::size_t hits = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    hits = store->Search(q, 100).size();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  const auto t0 = std::chrono::steady_clock::now();
  const std::clock_t c0 = std::clock();
  const uint64_t total = store->Count(q);
  state.counters["count_cpu_ms"] = 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
  state.counters["count_ms"] = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["worst_ms"] = ms.back();
  state.counters["hits"] = static_cast<double>(hits);
  state.counters["matches"] = static_cast<double>(total);
}
BENCHMARK_CAPTURE(Query, one_char, "雨")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, one_char_common, "の")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, two_chars, "天気")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, three_chars, "始める")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, eight_chars, "今日はいい天気だね")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, ascii_word, "certain")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, ghost_period, "ghost:さくら since:2002/01/01 until:2002/06/30")
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, rare_word_filtered, "雨 ghost:さくら since:2003/03/01 until:2003/03/31")
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, nothing, "存在しない言葉")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Query, exclusion_only, "-雨")->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace hollowmere
