// Peak memory and time of rendering one very large message with the shipped
// patterns: repeated "\s[" (an unclosed surface tag: two tokens every three
// bytes), plain text, "<" (every byte escaped to eight), repeated
// "\URL[" (unclosed brackets the tokenizer walks), and repeated "\_s[" (a
// balloon for every four bytes, some 55 times the script) drawn as pages
// draw it, handing the page on in pieces as it grows. Each render runs in a
// child process of its own, so that one case's peak is not another's.
// "peak_MB" is the resident memory the render added on top of the process
// with its message built (the high-water mark is reset just before the
// render); a render may take at most 200 MB plus 20 times its message, and
// a case over that bound fails. "ns_per_byte" at 10 and 50 MB shows whether
// the time grows with the message's length alone ("x_linear", the 50 MB
// cost per byte over the 10 MB one, stays near 1).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "regex/bmRegExp.h"
#include "render/ScriptRenderer.h"
#include "script/SsParser.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

constexpr double kMB = 1e6;
constexpr double kFixedAllowance = 200 * kMB;
constexpr double kPerScriptByte = 20;

class NoSurfaces : public ISurfaceFiles {
 public:
  void Want(const std::string&, int32_t) override {}
};

// A figure of /proc/self/status in bytes ("VmHWM", "VmRSS").
double StatusBytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stod(line.substr(prefix.size())) * 1024;
  }
  return 0;
}

// Starts the high-water mark of resident memory afresh.
bool ResetPeak() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

std::string Repeated(const std::string& unit, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + unit.size());
  while (s.size() < bytes) s += unit;
  return s;
}

const std::string& PlainUnit() {
  static const std::string unit =
      text::Sjis("こんにちは、今日はいい天気だね。ソフトウェアの表示 ") + "plain text, no tags. ";
  return unit;
}

struct Result {
  double peakBytes = -1;  // added by the render; negative: not measured
  double seconds = 0;
  double htmlBytes = 0;
};

// The render in a child process; what it measured comes back through a pipe.
Result RenderInChild(const std::string& unit, std::size_t bytes, bool inPieces) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Result r;
    {
      const std::string data = HOLLOWMERE_SOURCE_DIR "/data/";
      TSsParser parser;
      parser.SetTagPattern(LoadPatternFile(data + "tagpat.txt"));
      parser.SetMetaPattern(LoadPatternFile(data + "metapat.txt"));
      TAWKStr awk;
      awk.SetLineSeparator(mcls_CRLF);
      NoSurfaces surfaces;
      TScriptRenderer renderer(parser, awk, surfaces, "/tmp/cache/", true);
      double spilled = 0;
      if (inPieces) {
        renderer.SetSpill(
            [&spilled](std::string& piece) {
              spilled += static_cast<double>(piece.size());
              piece.clear();
            },
            std::size_t{8} << 20);
      }
      TMessageItem message;
      message.GhostName = "G";
      message.Script = Repeated(unit, bytes);
      const double before = StatusBytes("VmRSS");
      const bool reset = ResetPeak();
      const auto start = std::chrono::steady_clock::now();
      const std::string html = renderer.RenderScript(message);
      r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (reset) r.peakBytes = StatusBytes("VmHWM") - before;
      r.htmlBytes = spilled + static_cast<double>(html.size());
    }
    const ssize_t written = write(fds[1], &r, sizeof r);
    _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
  }
  close(fds[1]);
  Result r;
  const bool got = pid > 0 && read(fds[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
  close(fds[0]);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  if (!got) r.seconds = -1;
  return r;
}

void RenderLarge(benchmark::State& state, const std::string& unit, bool inPieces = false) {
  const std::size_t small = 10 * 1000 * 1000;
  const std::size_t large = 50 * 1000 * 1000;
  Result atSmall, atLarge;
  for (auto _ : state) {
    atSmall = RenderInChild(unit, small, inPieces);
    atLarge = RenderInChild(unit, large, inPieces);
    state.SetIterationTime(atLarge.seconds);
  }
  if (atSmall.seconds < 0 || atLarge.seconds < 0) {
    state.SkipWithError("the child process failed");
    return;
  }
  const double bound = kFixedAllowance + kPerScriptByte * static_cast<double>(large);
  state.counters["script_MB"] = static_cast<double>(large) / kMB;
  state.counters["html_MB"] = atLarge.htmlBytes / kMB;
  state.counters["peak_MB"] = atLarge.peakBytes / kMB;
  state.counters["peak_MB_10MB"] = atSmall.peakBytes / kMB;
  state.counters["bound_MB"] = bound / kMB;
  state.counters["s_10MB"] = atSmall.seconds;
  state.counters["ns_per_byte"] = atLarge.seconds / static_cast<double>(large) * 1e9;
  state.counters["x_linear"] =
      (atLarge.seconds / static_cast<double>(large)) / (atSmall.seconds / static_cast<double>(small));
  if (atLarge.peakBytes < 0) {
    state.SkipWithError("peak memory cannot be measured here (/proc/self/clear_refs)");
  } else if (atLarge.peakBytes > bound) {
    std::fprintf(stderr, "peak %.0f MB (%.0f MB at 10 MB, %.1f s) over the bound of %.0f MB\n",
                 atLarge.peakBytes / kMB, atSmall.peakBytes / kMB, atLarge.seconds, bound / kMB);
    state.SkipWithError("the render took more than 200 MB plus 20 times its message");
  }
}

void BM_UnclosedSurface50MB(benchmark::State& state) { RenderLarge(state, "\\s["); }
void BM_PlainText50MB(benchmark::State& state) { RenderLarge(state, PlainUnit()); }
void BM_EscapedText50MB(benchmark::State& state) { RenderLarge(state, "<"); }
void BM_UnclosedUrl50MB(benchmark::State& state) { RenderLarge(state, "\\URL["); }
void BM_ShortTagsInPieces50MB(benchmark::State& state) { RenderLarge(state, "\\_s[", true); }
BENCHMARK(BM_UnclosedSurface50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_PlainText50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_EscapedText50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_UnclosedUrl50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_ShortTagsInPieces50MB)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace
}  // namespace hollowmere
