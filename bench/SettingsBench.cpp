// The settings file with a long FMO list: reading it at start and saving it
// at the end, with 10,000 names (a list pasted into the settings dialog by
// mistake, or a hostile file). Both should stay well under a second.
#include <benchmark/benchmark.h>

#include <string>

#include "app/Settings.h"
#include "support/TestPaths.h"

namespace hollowmere {
namespace {

TSettings WithNames(const std::string& exeDir, int count) {
  TSettings s = DefaultSettings(exeDir);
  s.Luid = "0123456789abcdef";
  s.FmoNames.clear();
  for (int i = 0; i < count; ++i) s.FmoNames.push_back("SakuraUnicode" + std::to_string(i));
  return s;
}

// The file as a save of the same settings leaves it, written directly so the
// setup does not cost what is being measured.
std::string FileWith(const TSettings& s) {
  std::string play = "[Play]\r\nFMO=" + s.FmoNames[0] + "\r\n";
  for (std::size_t i = 1; i < s.FmoNames.size(); ++i) {
    play += "FMO" + std::to_string(i + 1) + "=" + s.FmoNames[i] + "\r\n";
  }
  return "[General]\r\nRenderingMode=1\r\nLUID=" + s.Luid + "\r\nSurfaceCacheDir=" + s.SurfaceCacheDir +
         "\r\n1PageCount=100\r\n\r\n[Form]\r\nTop=145\r\nLeft=209\r\nWidth=440\r\nHeight=351\r\n\r\n"
         "[HTML]\r\nFont=" + s.HtmlFont + "\r\n\r\n" + play + "Enabled=0\r\n";
}

void BM_LoadSettings(benchmark::State& state) {
  testing::TempDir dir;
  const TSettings s = WithNames(dir.path(), static_cast<int>(state.range(0)));
  testing::WriteFileBytes(SettingsFilePath(dir.path()), FileWith(s));
  for (auto _ : state) {
    const TSettings back = LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path());
    if (back.FmoNames != s.FmoNames) state.SkipWithError("the names did not read back");
  }
}
BENCHMARK(BM_LoadSettings)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2);

// A save over the file a previous save left, as at every normal end.
void BM_SaveSettings(benchmark::State& state) {
  testing::TempDir dir;
  const TSettings s = WithNames(dir.path(), static_cast<int>(state.range(0)));
  const std::string expected = FileWith(s);
  testing::WriteFileBytes(SettingsFilePath(dir.path()), expected);
  for (auto _ : state) {
    TIniFile ini(SettingsFilePath(dir.path()));
    SaveSettings(ini, s);
  }
  if (testing::ReadFileBytes(SettingsFilePath(dir.path())) != expected) {
    state.SkipWithError("the saved file differs");
  }
}
BENCHMARK(BM_SaveSettings)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2);

// A hostile file: the FMO section followed by a million blank lines (every
// new name goes before them) and 200,000 sections of one name. Reading and
// saving should grow with the file, about 7 MB here, not with its square.
void BM_SaveOverHostileFile(benchmark::State& state) {
  testing::TempDir dir;
  const TSettings s = WithNames(dir.path(), 10000);
  std::string file = "[Play]\r\nFMO=x\r\n";
  for (int i = 0; i < 1000000; ++i) file += "\r\n";
  for (int i = 0; i < 200000; ++i) file += "[Play]\r\nFMO=y\r\n";
  for (auto _ : state) {
    state.PauseTiming();
    testing::WriteFileBytes(SettingsFilePath(dir.path()), file);
    state.ResumeTiming();
    TIniFile ini(SettingsFilePath(dir.path()));
    const TSettings before = LoadSettings(ini, dir.path());
    SaveSettings(ini, s);
    if (before.FmoNames.size() != 1) state.SkipWithError("the first section's one name was not read");
  }
}
BENCHMARK(BM_SaveOverHostileFile)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace
}  // namespace hollowmere
