// Settings defaults, reading and the written file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/Settings.h"
#include "app/WindowPlacement.h"
#include "platform/Errors.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using testing::TempDir;

TEST(Settings, FirstStartUsesTheDefaults) {
  TempDir dir;
  const TSettings s = LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path());
  EXPECT_TRUE(s.Emulation);
  EXPECT_EQ(s.SppDir, "");
  EXPECT_EQ(s.SurfaceCacheDir, dir.path() + "cache/");
  EXPECT_EQ(s.Form, (TFormBounds{145, 209, 440, 351}));
  EXPECT_EQ(s.HtmlFont, text::Sjis("ＭＳ 明朝"));
  EXPECT_EQ(s.Luid, "");
  EXPECT_EQ(s.MessagesPerPage, 100);
  EXPECT_EQ(s.FmoNames, std::vector<std::string>{"Sakura"});
  EXPECT_FALSE(s.PlayEnabled);
  EXPECT_EQ(SettingsFilePath("/opt/h/"), "/opt/h/Hollowmere.ini");
}

TEST(Settings, ASettingsFileThatCannotBeReadIsAnError) {
  TempDir dir;
  std::filesystem::create_directory(SettingsFilePath(dir.path()));
  try {
    LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path());
    ADD_FAILURE() << "a folder read as settings";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.what(), text::Sjis("ファイル ") + SettingsFilePath(dir.path()) + text::Sjis(" は開けません"));
  }
}

TEST(Settings, ReadsModeAndPageCountForms) {
  TempDir dir;
  std::ofstream(SettingsFilePath(dir.path()), std::ios::binary)
      << "[General]\r\nRenderingMode=0\r\n1PageCount=0x20\r\n";
  EXPECT_FALSE(LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path()).Emulation);
  EXPECT_EQ(LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path()).MessagesPerPage, 32);
  std::ofstream(SettingsFilePath(dir.path()), std::ios::binary)
      << "[General]\r\nRenderingMode=7\r\n1PageCount=abc\r\n";
  const TSettings s = LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path());
  EXPECT_TRUE(s.Emulation);
  EXPECT_EQ(s.MessagesPerPage, 100);
}

TEST(Settings, SaveWritesEveryKeyButSppDirInOrder) {
  TempDir dir;
  TIniFile ini(SettingsFilePath(dir.path()));
  TSettings s = LoadSettings(ini, dir.path());
  SaveSettings(ini, s);
  EXPECT_EQ(testing::ReadFileBytes(ini.FileName()),
            "[General]\r\nRenderingMode=1\r\nLUID=\r\nSurfaceCacheDir=" + dir.path() +
                "cache/\r\n1PageCount=100\r\n\r\n[Form]\r\nTop=145\r\nLeft=209\r\nWidth=440\r\n"
                "Height=351\r\n\r\n[HTML]\r\nFont=" + text::Sjis("ＭＳ 明朝") +
                "\r\n\r\n[Play]\r\nFMO=Sakura\r\nEnabled=0\r\n");
}

TEST(Settings, EverySettingSurvivesARestart) {
  TempDir dir;
  TIniFile ini(SettingsFilePath(dir.path()));
  TSettings s;
  s.Emulation = false;
  s.Luid = "0123abcd";
  s.SurfaceCacheDir = "/var/cache/h/";
  s.Form = {10, 20, 800, 600};
  s.HtmlFont = text::Sjis("ＭＳ ゴシック");
  s.MessagesPerPage = -5;
  s.FmoNames = {"Sakura", "SakuraUnicode", "Local\\Other"};
  s.PlayEnabled = true;
  SaveSettings(ini, s);
  SaveSppDir(ini, "/plugins/");
  TSettings back = LoadSettings(ini, dir.path());
  EXPECT_EQ(back.SppDir, "/plugins/");
  back.SppDir.clear();
  EXPECT_EQ(back.Emulation, s.Emulation);
  EXPECT_EQ(back.Luid, s.Luid);
  EXPECT_EQ(back.SurfaceCacheDir, s.SurfaceCacheDir);
  EXPECT_EQ(back.Form, s.Form);
  EXPECT_EQ(back.HtmlFont, s.HtmlFont);
  EXPECT_EQ(back.MessagesPerPage, s.MessagesPerPage);
  EXPECT_EQ(back.FmoNames, s.FmoNames);
  EXPECT_EQ(back.PlayEnabled, s.PlayEnabled);
  // A single name is stored bare, and a shorter list drops the old extras.
  s.FmoNames = {"Only"};
  SaveSettings(ini, s);
  EXPECT_EQ(ini.ReadString("Play", "FMO", ""), "Only");
  EXPECT_FALSE(ini.ValueExists("Play", "FMO2"));
  EXPECT_EQ(LoadSettings(ini, dir.path()).FmoNames, std::vector<std::string>{"Only"});
  s.FmoNames = {};
  SaveSettings(ini, s);
  EXPECT_TRUE(LoadSettings(ini, dir.path()).FmoNames.empty());
}

// The view's zoom lives in a section of its own, read within its range and
// written only once it differs from 100, so an ordinary file keeps its bytes.
TEST(Settings, ZoomIsKeptInItsOwnSectionWithinRange) {
  struct Case {
    const char* stored;  // nullptr: no key
    int32_t read;
  };
  const Case cases[] = {{nullptr, 100}, {"150", 150}, {"10", 25}, {"9999", 500}, {"abc", 100},
                        {"0x64", 100}, {"-3", 25}};
  for (const Case& c : cases) {
    TempDir dir;
    std::ofstream(SettingsFilePath(dir.path()), std::ios::binary)
        << "[Play]\r\nEnabled=1\r\n"
        << (c.stored ? std::string("[Hollowmere.View]\r\nZoom=") + c.stored + "\r\n" : "");
    const TSettings s = LoadSettings(TIniFile(SettingsFilePath(dir.path())), dir.path());
    EXPECT_EQ(s.ViewZoomPercent, c.read) << (c.stored ? c.stored : "none");
    EXPECT_TRUE(s.PlayEnabled);
  }
  TempDir dir;
  TIniFile ini(SettingsFilePath(dir.path()));
  TSettings s = LoadSettings(ini, dir.path());
  SaveSettings(ini, s);
  EXPECT_FALSE(ini.ValueExists("Hollowmere.View", "Zoom"));
  s.ViewZoomPercent = 175;
  SaveSettings(ini, s);
  EXPECT_EQ(LoadSettings(ini, dir.path()).ViewZoomPercent, 175);
  // Back at 100 it is still written: the stored 175 must not come back.
  s.ViewZoomPercent = 100;
  SaveSettings(ini, s);
  EXPECT_EQ(LoadSettings(ini, dir.path()).ViewZoomPercent, 100);
}

TEST(Settings, MemoTextRoundTrip) {
  EXPECT_EQ(FmoNamesText({"Sakura", "B"}), "Sakura\r\nB\r\n");
  EXPECT_EQ(FmoNamesFromText("Sakura\r\nB\r\n"), (std::vector<std::string>{"Sakura", "B"}));
  EXPECT_EQ(FmoNamesFromText("A\nB"), (std::vector<std::string>{"A", "B"}));
}

TEST(Settings, ASaveIsAllOrNothing) {
  TempDir dir;
  const std::string path = SettingsFilePath(dir.path());
  const std::string before = "[General]\r\nLUID=mine\r\n";
  testing::WriteFileBytes(path, before);
  ::chmod(path.c_str(), 0400);
  TIniFile ini(path);
  TSettings s = LoadSettings(ini, dir.path());
  s.Luid = "other";
  EXPECT_THROW(SaveSettings(ini, s), EIniFileException);
  EXPECT_EQ(testing::ReadFileBytes(path), before);
  // Written, the file keeps its mode, so the LUID stays the owner's alone.
  ::chmod(path.c_str(), 0600);
  SaveSettings(ini, s);
  EXPECT_EQ(LoadSettings(ini, dir.path()).Luid, "other");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Bounds are Top, Left, Width, Height.
const TFormBounds kScreen{0, 0, 1920, 1040};

TEST(WindowPlacement, SavedBoundsAreFittedToTheScreen) {
  struct Case {
    const char* name;
    TFormBounds saved, area, fitted;
  };
  const Case cases[] = {
      {"the defaults stay", {145, 209, 440, 351}, kScreen, {145, 209, 440, 351}},
      {"the widest width", {145, 209, INT32_MAX, 351}, kScreen, {145, 0, 1920, 351}},
      {"20000 x 20000", {0, 0, 20000, 20000}, kScreen, {0, 0, 1920, 1040}},
      {"the least top and no height", {INT32_MIN, 209, 440, 0}, kScreen, {0, 209, 440, kMinFormHeight}},
      {"the greatest left", {0, INT32_MAX, 440, 351}, kScreen, {0, 1480, 440, 351}},
      {"past the bottom right corner", {1000, 1800, 440, 351}, kScreen, {689, 1480, 440, 351}},
      {"negative sizes", {10, 10, -5, INT32_MIN}, kScreen, {10, 10, kMinFormWidth, kMinFormHeight}},
      {"a screen left of the first", {100, -1500, 440, 351}, {0, -1920, 1920, 1080}, {100, -1500, 440, 351}},
      {"below a panel", {0, 0, 440, 351}, {32, 0, 1920, 1048}, {32, 0, 440, 351}},
      {"a screen smaller than the least window", {5, 5, 440, 351}, {0, 0, 100, 80}, {0, 0, 100, 80}},
      {"no screen", {0, 0, INT32_MAX, INT32_MAX}, {0, 0, 0, 0}, kFallbackArea},
      {"an area past the coordinates", {0, 0, 440, 351}, {0, INT32_MAX - 10, 100, 100}, {0, 0, 440, 351}},
  };
  for (const Case& c : cases) EXPECT_EQ(FitFormBounds(c.saved, c.area), c.fitted) << c.name;
}

TEST(WindowPlacement, CentredWindowsStayOnTheScreen) {
  struct Case {
    const char* name;
    TFormBounds around;
    int32_t width, height;
    TFormBounds placed;
  };
  const Case cases[] = {
      {"on the main window", {100, 100, 600, 400}, 334, 47, {276, 233, 334, 47}},
      {"on an odd-sized window", {0, 0, 441, 352}, 334, 47, {152, 54, 334, 47}},
      {"on one at the least corner", {INT32_MIN, INT32_MIN, 0, 0}, 334, 47, {0, 0, 334, 47}},
      {"on one at the greatest corner", {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, 334, 47, {993, 1586, 334, 47}},
      {"larger than the screen", {0, 0, 1920, 1040}, 3000, 3000, {0, 0, 1920, 1040}},
  };
  for (const Case& c : cases) EXPECT_EQ(CentredOn(c.around, c.width, c.height, kScreen), c.placed) << c.name;
}

}  // namespace
}  // namespace hollowmere
