// One message of 1 MB made of a single unclosed bracket tag repeated
// ("\URL[", "\s[", "\_s[", "\![") against one of 1 MB of plain text, each
// rendered whole by RenderScript with the shipped patterns. An unclosed
// bracket must not make the tokenizer walk to the end of the script again
// for every bracket: each hostile script should render within ten times the
// plain one ("x_plain" in wall time, "x_plain_cpu" in the rendering
// thread's CPU time, both measured in the same run).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <time.h>

#include <chrono>
#include <filesystem>

#include "BenchDoubles.h"
#include "regex/bmRegExp.h"
#include "render/ScriptRenderer.h"
#include "script/SsParser.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kScriptBytes = 1 << 20;

using bench::NoBoxes;
using bench::NoWindows;

std::string Repeated(const std::string& unit) {
  std::string s;
  s.reserve(kScriptBytes + unit.size());
  while (s.size() < kScriptBytes) s += unit;
  return s;
}

std::string MakeFolder() {
  char tmpl[] = "/tmp/hollowmere-bench-XXXXXX";
  return std::string(mkdtemp(tmpl)) + "/";
}

// One renderer for every message, as a page run has.
struct Bench {
  Bench() : folder(MakeFolder()), plugins(true, windows, boxes), renderer(parser, awk, plugins, folder, true) {
    const std::string data = std::string(HOLLOWMERE_SOURCE_DIR "/data/");
    parser.SetTagPattern(LoadPatternFile(data + "tagpat.txt"));
    parser.SetMetaPattern(LoadPatternFile(data + "metapat.txt"));
    awk.SetLineSeparator(mcls_CRLF);
  }
  ~Bench() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  // Wall and thread CPU seconds to render one message with this script.
  struct Times {
    double wall = 0;
    double cpu = 0;
    Times& operator+=(const Times& o) {
      wall += o.wall;
      cpu += o.cpu;
      return *this;
    }
  };
  Times Render(const std::string& script, std::size_t& outBytes) {
    TMessageItem message;
    message.GhostName = "G";
    message.Script = script;
    const double cpuStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    html.clear();
    renderer.AppendRenderedScript(message, html);
    Times t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = ThreadCpuSeconds() - cpuStart;
    outBytes = html.size();
    return t;
  }

  static double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }

  std::string folder;
  NoWindows windows;
  NoBoxes boxes;
  TSppList plugins;
  TSsParser parser;
  TAWKStr awk;
  TScriptRenderer renderer;
  // Kept from message to message, as a page run keeps its page buffer.
  std::string html;
};

const std::string& PlainText() {
  static const std::string plain =
      Repeated(text::Sjis("こんにちは、今日はいい天気だね。ソフトウェアの表示 ") + "plain text, no tags. ");
  return plain;
}

void RenderAgainstPlain(benchmark::State& state, const std::string& unit) {
  Bench bench;
  const std::string hostile = Repeated(unit);
  std::size_t bytes = 0;
  std::size_t plainBytes = 0;
  // Both once first, so neither pays for buffers growing to their size.
  bench.Render(hostile, bytes);
  bench.Render(PlainText(), plainBytes);
  Bench::Times hostileTime, plainTime;
  for (auto _ : state) {
    const Bench::Times t = bench.Render(hostile, bytes);
    state.SetIterationTime(t.wall);
    hostileTime += t;
    plainTime += bench.Render(PlainText(), plainBytes);
  }
  const double n = static_cast<double>(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(hostile.size()));
  state.counters["script_MB"] = static_cast<double>(hostile.size()) / 1e6;
  state.counters["html_MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["plain_ms"] = plainTime.wall / n * 1e3;
  state.counters["x_plain"] = hostileTime.wall / plainTime.wall;
  state.counters["x_plain_cpu"] = hostileTime.cpu / plainTime.cpu;
}

void BM_UnclosedUrl(benchmark::State& state) { RenderAgainstPlain(state, "\\URL["); }
void BM_UnclosedSurface(benchmark::State& state) { RenderAgainstPlain(state, "\\s["); }
void BM_UnclosedSync(benchmark::State& state) { RenderAgainstPlain(state, "\\_s["); }
void BM_UnclosedUndefined(benchmark::State& state) { RenderAgainstPlain(state, "\\!["); }
BENCHMARK(BM_UnclosedUrl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_UnclosedSurface)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_UnclosedSync)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_UnclosedUndefined)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace
}  // namespace hollowmere
