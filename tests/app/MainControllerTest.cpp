// The main window's behaviour played through doubles: start and end with the
// settings file, the menu items, the view's status texts and the link rules.
#include "app/MainController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/FakeWindow.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/PollMainLoop.h"
#include "support/FakeUi.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

namespace fs = std::filesystem;
using namespace hollowmere::testing;
using text::Sjis;

void Spit(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class MainControllerTest : public ::testing::Test {
 protected:
  MainControllerTest() {
    for (const char* name : {"tagpat.txt", "metapat.txt"}) {
      fs::copy_file(SourceDir() + "/data/" + name, dir.file(name));
    }
  }

  std::string IniPath() const { return dir.file("Hollowmere.ini"); }
  // A start with a plugin folder already chosen, so no prompt interferes.
  void StartWithPluginFolder() {
    Spit(IniPath(), "[General]\r\nSppDir=" + dir.path() + "\r\n");
    controller.FormCreate();
  }

  TempDir dir;
  FakeMessageBoxes boxes;
  FakeProgressWindows progress;
  TSppList plugins{true, progress, boxes};
  FakeMainWindow window;
  FakeHtmlView view;
  FakeShell shell;
  FakeSettingDialog dialog;
  FakeFontChooser fonts;
  FakeFileChooser files;
  TPollMainLoop loop;
  TMainController controller{dir.path(), plugins,
                             {window, view, boxes, shell, dialog, fonts, files, loop}};
};

TEST_F(MainControllerTest, FirstStartWithoutSettingsFile) {
  controller.FormCreate();
  EXPECT_EQ(window.bounds, (TFormBounds{145, 209, 440, 351}));
  EXPECT_TRUE(window.emulationChecked);
  EXPECT_FALSE(window.leftChecked);
  const TSettings& s = controller.Settings();
  EXPECT_EQ(s.MessagesPerPage, 100);
  EXPECT_EQ(s.HtmlFont, Sjis("ＭＳ 明朝"));
  EXPECT_EQ(s.FmoNames, std::vector<std::string>{"Sakura"});
  EXPECT_FALSE(s.PlayEnabled);
  EXPECT_EQ(s.Luid, "");
  EXPECT_EQ(s.SurfaceCacheDir, dir.path() + "cache/");
  // The folder is asked for, after the prompt; cancelled, nothing is chosen.
  EXPECT_EQ(boxes.messages, std::vector<std::string>{Sjis("プラグインディレクトリを設定して下さい")});
  EXPECT_EQ(files.filters, std::vector<std::string>{Sjis("サーフィスプレビュープラグイン (*.so)")});
  // It opens on the plugins that came with the program.
  EXPECT_EQ(files.startFolders, std::vector<std::string>{DefaultPluginFolder()});
  EXPECT_EQ(s.SppDir, "");
  EXPECT_TRUE(progress.events.empty());
  // Loading never writes the file.
  EXPECT_FALSE(fs::exists(IniPath()));
}

TEST_F(MainControllerTest, PluginFolderChosenAtStartIsLoadedAndWrittenAtOnce) {
  fs::create_directory(dir.file("plugins"));
  files.answer = dir.file("plugins/anything.so");
  controller.FormCreate();
  EXPECT_EQ(controller.Settings().SppDir, dir.file("plugins/"));
  EXPECT_EQ(progress.events.front(), "create");
  EXPECT_EQ(progress.events.back(), "close");
  EXPECT_EQ(TIniFile(IniPath()).ReadString("General", "SppDir", "?"), dir.file("plugins/"));
}

TEST_F(MainControllerTest, SettingsFilePlacesWindowAndSkipsThePrompt) {
  Spit(IniPath(),
       "[General]\r\nRenderingMode=0\r\nSppDir=/p/\r\n1PageCount=0x20\r\n"
       "[Form]\r\nTop=1\r\nLeft=2\r\nWidth=300\r\nHeight=200\r\n");
  controller.FormCreate();
  EXPECT_EQ(window.bounds, (TFormBounds{1, 2, 300, 200}));
  EXPECT_FALSE(window.emulationChecked);
  EXPECT_TRUE(window.leftChecked);
  EXPECT_EQ(controller.Settings().MessagesPerPage, 32);
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_TRUE(files.filters.empty());
}

TEST_F(MainControllerTest, MissingPatternFilesAreReportedAndStartGoesOn) {
  fs::remove(dir.file("tagpat.txt"));
  StartWithPluginFolder();
  EXPECT_EQ(boxes.messages,
            std::vector<std::string>{Sjis("ファイル ") + dir.file("tagpat.txt") + Sjis(" は開けません")});
  EXPECT_EQ(window.boundsSet, 1);

  fs::remove(dir.file("metapat.txt"));
  boxes.messages.clear();
  controller.FormCreate();
  ASSERT_EQ(boxes.messages.size(), 2u);
  EXPECT_EQ(boxes.messages[1], Sjis("ファイル ") + dir.file("metapat.txt") + Sjis(" は開けません"));
}

TEST_F(MainControllerTest, SettingsDialogOkCancelAndBadCount) {
  StartWithPluginFolder();
  const TSettings before = controller.Settings();

  // Cancel changes nothing.
  dialog.steps = {{{"newluid", "5", "A\r\n", true}, false}};
  controller.SettingMenuClick();
  ASSERT_EQ(dialog.shown.size(), 1u);
  EXPECT_EQ(dialog.shown[0].Luid, "");
  EXPECT_EQ(dialog.shown[0].PageCount, "100");
  EXPECT_EQ(dialog.shown[0].FmoText, "Sakura\r\n");
  EXPECT_FALSE(dialog.shown[0].PlayEnabled);
  EXPECT_EQ(controller.Settings().Luid, before.Luid);

  // "abc" keeps the dialog open; the user then cancels: nothing changed,
  // the LUID included.
  dialog.steps = {{{"newluid", "abc", "A\r\n", true}, true}, {{}, false}};
  controller.SettingMenuClick();
  EXPECT_EQ(dialog.okPresses, 1);
  EXPECT_EQ(controller.Settings().Luid, before.Luid);
  EXPECT_EQ(controller.Settings().MessagesPerPage, 100);

  // A refused OK, corrected, then OK: everything applied.
  dialog.steps = {{{"x", "1.5", "", true}, true}, {{"luid1", "25", "A\r\nB\r\n", true}, true}};
  controller.SettingMenuClick();
  EXPECT_EQ(controller.Settings().Luid, "luid1");
  EXPECT_EQ(controller.Settings().MessagesPerPage, 25);
  EXPECT_EQ(controller.Settings().FmoNames, (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(controller.Settings().PlayEnabled);

  // Integers below 1 pass the dialog; pages need at least one message each.
  dialog.steps = {{{"luid1", "-5", "A\r\n", false}, true}};
  controller.SettingMenuClick();
  EXPECT_EQ(controller.Settings().MessagesPerPage, 1);
  EXPECT_FALSE(controller.Settings().PlayEnabled);
  // Nothing is written before the end.
  EXPECT_EQ(TIniFile(IniPath()).ReadString("General", "LUID", "none"), "none");
}

TEST_F(MainControllerTest, ModeItemsFlipAndTheModeIsSaved) {
  StartWithPluginFolder();
  controller.EmulationMenuClick();
  EXPECT_FALSE(controller.Settings().Emulation);
  EXPECT_TRUE(window.leftChecked);
  EXPECT_FALSE(window.emulationChecked);
  controller.EmulationMenuClick();
  EXPECT_TRUE(window.emulationChecked);
  controller.LeftMenuClick();
  EXPECT_TRUE(window.leftChecked);
  controller.LeftMenuClick();
  EXPECT_TRUE(window.emulationChecked);
  controller.LeftMenuClick();
  controller.FormDestroy();
  EXPECT_EQ(TIniFile(IniPath()).ReadString("General", "RenderingMode", "?"), "0");
}

TEST_F(MainControllerTest, FontChooserOpensOnItsOwnFontAndKeepsOnlyTheFace) {
  StartWithPluginFolder();
  fonts.answer = TFontChoice{Sjis("ＭＳ ゴシック"), 20, true, true};
  controller.FontMenuClick();
  EXPECT_EQ(controller.Settings().HtmlFont, Sjis("ＭＳ ゴシック"));
  fonts.answer = std::nullopt;
  controller.FontMenuClick();
  EXPECT_EQ(controller.Settings().HtmlFont, Sjis("ＭＳ ゴシック"));
  ASSERT_EQ(fonts.openedOn.size(), 2u);
  for (const TFontChoice& f : fonts.openedOn) {
    EXPECT_EQ(f.Face, Sjis("ＭＳ 明朝"));
    EXPECT_EQ(f.PixelSize, 12);
    EXPECT_FALSE(f.Bold);
  }
}

TEST_F(MainControllerTest, NormalEndWritesEveryKeyInOrder) {
  controller.FormCreate();  // no file, folder prompt cancelled
  window.bounds = {10, 20, 640, 480};
  dialog.steps = {{{"L1", "50", "Sakura\r\n", true}, true}};
  controller.SettingMenuClick();
  controller.LeftMenuClick();
  controller.FormDestroy();
  EXPECT_EQ(ReadFileBytes(IniPath()),
            "[General]\r\nRenderingMode=0\r\nLUID=L1\r\nSurfaceCacheDir=" + dir.path() +
                "cache/\r\n1PageCount=50\r\n\r\n[Form]\r\nTop=10\r\nLeft=20\r\nWidth=640\r\n"
                "Height=480\r\n\r\n[HTML]\r\nFont=" + Sjis("ＭＳ 明朝") +
                "\r\n\r\n[Play]\r\nFMO=Sakura\r\nEnabled=1\r\n");
}

TEST_F(MainControllerTest, RefusedSaveIsReported) {
  // A program folder that has gone away by the end.
  const std::string gone = dir.file("gone/");
  TMainController lost(gone, plugins, {window, view, boxes, shell, dialog, fonts, files, loop});
  lost.FormDestroy();
  EXPECT_EQ(boxes.messages,
            std::vector<std::string>{gone + "Hollowmere.ini" + Sjis(" に書き込めません")});
}

TEST_F(MainControllerTest, VersionBoxOpensTheSiteOnYesOnly) {
  controller.VersionMenuClick();
  EXPECT_EQ(boxes.questions,
            std::vector<std::string>{Sjis("Hollowmere Version 1.0.1.10\r\n配布元サイトを開きますか？")});
  EXPECT_TRUE(shell.opened.empty());
  boxes.answerYes = true;
  controller.VersionMenuClick();
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_EQ(shell.opened[0].url, kDistributionSite);
  EXPECT_EQ(shell.opened[0].verb, "open");
}

TEST_F(MainControllerTest, PageLinksStayInTheViewEverythingElseGoesToTheShell) {
  EXPECT_TRUE(controller.BeforeNavigate("file:///opt/h/long3.html"));
  EXPECT_TRUE(shell.opened.empty());
  for (const std::string url : {"http://example.com/", "mailto:a@example.com", "ftp://x.y/z",
                                "http://vote.abc/"}) {
    EXPECT_FALSE(controller.BeforeNavigate(url)) << url;
  }
  ASSERT_EQ(shell.opened.size(), 4u);
  EXPECT_EQ(shell.opened[0].url, "http://example.com/");
  EXPECT_EQ(shell.opened[0].verb, "");
  EXPECT_EQ(shell.opened[3].url, "http://vote.abc/");
}

TEST_F(MainControllerTest, StatusTextsFollowTheView) {
  controller.DownloadBegin();
  EXPECT_EQ(window.status, Sjis("読み込み中..."));
  EXPECT_TRUE(window.busy);
  controller.DownloadComplete();
  EXPECT_EQ(window.status, Sjis("読み込み完了"));
  EXPECT_FALSE(window.busy);
}

TEST_F(MainControllerTest, ExitAsksTheWindowToClose) {
  controller.ExitMenuClick();
  EXPECT_EQ(window.closeRequests, 1);
}

TEST_F(MainControllerTest, LogFileItemShowsPageZero) {
  StartWithPluginFolder();
  fs::copy_file(SourceDir() + "/data/log.txt", dir.file("log.txt"));
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_TRUE(boxes.messages.empty()) << boxes.messages.front();
  EXPECT_EQ(view.navigations, std::vector<std::string>{"file://" + dir.path() + "long0.html"});
  EXPECT_TRUE(fs::exists(dir.file("long0.html")));
  // The plugins were reloaded first.
  EXPECT_EQ(progress.events.front(), "create");
}

TEST_F(MainControllerTest, LogFileItemWithoutLogTxtReportsAndShowsNothing) {
  StartWithPluginFolder();
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_EQ(boxes.messages,
            std::vector<std::string>{Sjis("ファイル ") + dir.file("log.txt") + Sjis(" は開けません")});
  EXPECT_TRUE(view.navigations.empty());
}

}  // namespace
}  // namespace hollowmere
