// The main window's behaviour played through doubles: start and end with the
// settings file, the menu items, the view's status texts and the link rules.
#include "app/MainController.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/ControllerDoubles.h"
#include "ghost/DirectSstpSend.h"
#include "ghost/PlayLink.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/PollMainLoop.h"
#include "support/FakeBaseware.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
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

class MainControllerTest : public ::testing::Test, protected ControllerDoubles {
 protected:
  MainControllerTest() : ControllerDoubles({{2004, 7, 1}, {12, 0, 0}}) {}

  std::string IniPath() const { return dir.file("Hollowmere.ini"); }
  // A start with a plugin folder already chosen, so no prompt interferes.
  void StartWithPluginFolder() {
    Spit(IniPath(), "[General]\r\nSppDir=" + dir.path() + "\r\n");
    controller.FormCreate();
  }

  TMainController controller{dir.path(), plugins, Parts()};
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

TEST_F(MainControllerTest, AnUnreadableSettingsFileIsReportedAndTheDefaultsStay) {
  // Settings a run had before, then a start that cannot read the file.
  StartWithPluginFolder();
  controller.Settings().HtmlFont = "x";
  controller.Settings().FmoNames.clear();
  fs::remove(IniPath());
  fs::create_directory(IniPath());
  boxes.messages.clear();
  controller.FormCreate();
  const std::string unreadable = Sjis("ファイル ") + IniPath() + Sjis(" は開けません");
  ASSERT_FALSE(boxes.messages.empty());
  EXPECT_EQ(boxes.messages[0], unreadable);
  const TSettings& s = controller.Settings();
  EXPECT_EQ(s.HtmlFont, Sjis("ＭＳ 明朝"));
  EXPECT_EQ(s.FmoNames, std::vector<std::string>{"Sakura"});
  EXPECT_EQ(s.SurfaceCacheDir, dir.path() + "cache/");
  EXPECT_EQ(s.MessagesPerPage, 100);
  EXPECT_TRUE(s.Emulation);
  EXPECT_EQ(window.bounds, (TFormBounds{145, 209, 440, 351}));
  // The file is not replaced at the end either.
  boxes.messages.clear();
  controller.FormDestroy();
  EXPECT_EQ(boxes.messages, std::vector<std::string>{IniPath() + Sjis(" に書き込めません")});
  EXPECT_TRUE(fs::is_directory(IniPath()));
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
       "[Form]\r\nTop=1\r\nLeft=2\r\nWidth=300\r\nHeight=200\r\n"
       "[Hollowmere.View]\r\nZoom=150\r\n");
  controller.FormCreate();
  EXPECT_EQ(window.bounds, (TFormBounds{1, 2, 300, 200}));
  EXPECT_EQ(window.zoom, 150);
  EXPECT_FALSE(window.emulationChecked);
  EXPECT_TRUE(window.leftChecked);
  EXPECT_EQ(controller.Settings().MessagesPerPage, 32);
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_TRUE(files.filters.empty());
  // The zoom the view has at the end is the one kept.
  window.zoom = 80;
  controller.FormDestroy();
  EXPECT_EQ(TIniFile(IniPath()).ReadString("Hollowmere.View", "Zoom", "?"), "80");
}

TEST_F(MainControllerTest, MissingPatternFilesAreReportedAndStartGoesOn) {
  fs::remove(dir.file("tagpat.txt"));
  StartWithPluginFolder();
  EXPECT_EQ(boxes.messages,
            std::vector<std::string>{Sjis("ファイル ") + dir.file("tagpat.txt") + Sjis(" は開けません")});
  EXPECT_EQ(window.boundsSet, 1);
  // Playback does not depend on the patterns: the sender is there all the same.
  ASSERT_NE(controller.Sstp(), nullptr);
  EXPECT_EQ(controller.Sstp()->SenderName(), "Hollowmere");

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
  TMainController lost(gone, plugins,
                       {window, view, boxes, shell, dialog, fonts, files, loop, baseware.Parts(), service});
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
                                "http://voter.abc/"}) {
    EXPECT_FALSE(controller.BeforeNavigate(url)) << url;
  }
  ASSERT_EQ(shell.opened.size(), 4u);
  EXPECT_EQ(shell.opened[0].url, "http://example.com/");
  EXPECT_EQ(shell.opened[0].verb, "");
  EXPECT_EQ(shell.opened[3].url, "http://voter.abc/");
}

TEST_F(MainControllerTest, StatusTextsFollowTheView) {
  controller.DownloadBegin();
  EXPECT_EQ(window.status, Sjis("読み込み中..."));
  EXPECT_TRUE(window.busy);
  controller.DownloadComplete();
  EXPECT_EQ(window.status, Sjis("読み込み完了"));
  EXPECT_FALSE(window.busy);
}

// A link a rule handles loads nothing: whatever the view announced for the
// click, the cursor comes back and the status is the rule's own or the end
// of loading, never "読み込み中..." for good.
TEST_F(MainControllerTest, AHandledLinkEndsTheViewsLoadingState) {
  StartWithPluginFolder();
  controller.Settings().Luid = "me";
  struct Case {
    const char* name;
    std::string url;
    std::string status;
  };
  const Case cases[] = {
      {"vote", "http://vote.mid1/", Sjis("投票しました:mid1")},
      {"agree", "http://agree.mid2/", Sjis("同意しました") + "mid2"},
      {"play while disabled", "http://messageofhlwmrplay/G,C,x,", Sjis("読み込み完了")},
      {"shell", "http://example.com/", Sjis("読み込み完了")},
  };
  for (const Case& c : cases) {
    controller.DownloadBegin();
    EXPECT_FALSE(controller.BeforeNavigate(c.url)) << c.name;
    EXPECT_EQ(window.status, c.status) << c.name;
    EXPECT_FALSE(window.busy) << c.name;
  }
  // A page link loads: its own end says so.
  controller.DownloadBegin();
  EXPECT_TRUE(controller.BeforeNavigate("file:///h/long1.html"));
  EXPECT_EQ(window.status, Sjis("読み込み中..."));
  EXPECT_TRUE(window.busy);
  controller.FormDestroy();
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

// Surface -1's blank picture reaches a cache folder of the user's choosing,
// unless a picture of the user's own is already there.
TEST_F(MainControllerTest, TheBlankSurfacePictureGoesIntoTheCacheFolderInUse) {
  StartWithPluginFolder();
  fs::copy_file(SourceDir() + "/data/log.txt", dir.file("log.txt"));
  fs::create_directories(dir.file("cache"));
  Spit(dir.file("cache/General-1.bmp"), "blank");
  struct Case {
    const char* folder;
    const char* before;  // nullptr: no picture there yet
    const char* after;
  };
  const Case cases[] = {{"mine/", nullptr, "blank"}, {"own/", "my own", "my own"}, {"cache/", "blank", "blank"}};
  for (const Case& c : cases) {
    controller.Settings().SurfaceCacheDir = dir.file(c.folder);
    if (c.before != nullptr) {
      fs::create_directories(dir.file(c.folder));
      Spit(dir.file(c.folder) + "General-1.bmp", c.before);
    }
    controller.Guarded([&] { controller.LogLoadMenuClick(); });
    EXPECT_EQ(ReadFileBytes(dir.file(c.folder) + "General-1.bmp"), c.after) << c.folder;
  }
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(MainControllerTest, LogFileItemWithoutLogTxtReportsAndShowsNothing) {
  StartWithPluginFolder();
  controller.Guarded([&] { controller.LogLoadMenuClick(); });
  EXPECT_EQ(boxes.messages,
            std::vector<std::string>{Sjis("ファイル ") + dir.file("log.txt") + Sjis(" は開けません")});
  EXPECT_TRUE(view.navigations.empty());
}

// A start with playback switched on (or off) and one ghost running.
class PlayRuleTest : public MainControllerTest {
 protected:
  void StartPlaying(bool enabled) {
    Spit(IniPath(), "[General]\r\nSppDir=" + dir.path() + "\r\n[Play]\r\nEnabled=" +
                        (enabled ? "1" : "0") + "\r\nFMO=Sakura\r\n");
    controller.FormCreate();
    baseware.SetBlock("Sakura", FakeBaseware::Block(Sjis("g.hwnd\x01" "3001\r\ng.name\x01さくら\r\n"
                                                         "g.keroname\x01うにゅう")));
    baseware.AddGhostWindow(3001);
  }
  bool Delivered(std::size_t count) {
    return loop.ServeFor(std::chrono::seconds(10), [&] {
      return baseware.ReceivedCount(3001) >= count && controller.Sstp()->QueueLength() == 0;
    });
  }
};

TEST_F(PlayRuleTest, APlayLinkQueuesItsMessageForTheGhost) {
  StartPlaying(true);
  TMessageItem message;
  message.GhostName = Sjis("さくら");
  message.Headers = {"Channel:" + Sjis("雑談")};
  message.Script = "\\0\\s[0]" + Sjis("表示") + ",long\\e";
  const std::string link = MakePlayLink(message);
  EXPECT_FALSE(controller.BeforeNavigate(link));
  ASSERT_TRUE(Delivered(1));
  const std::string request = baseware.Received(3001).at(0).Bytes;
  // The round trip of the link: "," became ".", the final \e went.
  EXPECT_NE(request.find("\r\nScript: \\0\\s[0]" + Sjis("表示") + ".long\r\n"), std::string::npos)
      << request;
  EXPECT_NE(request.find("\r\nSender:  " + Sjis("さくら/雑談") + "/Hollowmere\r\n"), std::string::npos);
  // A play link is never shown nor handed to the desktop, even holding "long".
  EXPECT_TRUE(view.navigations.empty());
  EXPECT_TRUE(shell.opened.empty());
  EXPECT_TRUE(boxes.messages.empty());

  // The click said it was queued, the acknowledgement which ghost played it.
  EXPECT_TRUE(loop.ServeFor(std::chrono::seconds(10),
                            [&] { return window.status == Sjis("再生しました:さくら"); }))
      << window.status;

  // The rule looks for the prefix anywhere in the URL.
  EXPECT_FALSE(controller.BeforeNavigate("about:blank#http://messageofhlwmrplay/G,C,x,"));
  ASSERT_TRUE(Delivered(2));
  EXPECT_NE(baseware.Received(3001).at(1).Bytes.find("\r\nScript: x.\r\n"), std::string::npos);
}

TEST_F(PlayRuleTest, AQueuedPlaySaysSoAndHowManyWait) {
  StartPlaying(true);
  // Answers reach the controller only through the loop, which is not served yet.
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,x,"));
  EXPECT_EQ(window.status, Sjis("再生待ちに入れました"));
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,y,"));
  EXPECT_EQ(window.status, Sjis("再生待ちに入れました (待ち 2 件)"));
  EXPECT_TRUE(Delivered(2));
}

TEST_F(PlayRuleTest, DisabledPlaybackOnlySaysSo) {
  StartPlaying(false);
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,x,"));
  EXPECT_EQ(boxes.messages,
            std::vector<std::string>{
                Sjis("再生機能は無効です。設定ダイアログで再生機能を有効にしてください。")});
  EXPECT_EQ(controller.Sstp()->QueueLength(), 0u);
  EXPECT_TRUE(view.navigations.empty());
  EXPECT_TRUE(shell.opened.empty());
  // Switched on in the settings dialog, the next click plays.
  dialog.steps = {{{"", "100", "Sakura\r\n", true}, true}};
  controller.SettingMenuClick();
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,x,"));
  EXPECT_TRUE(Delivered(1));
}

TEST_F(PlayRuleTest, ALinkWithoutAChannelQueuesNothingAndSaysSo) {
  StartPlaying(true);
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G"));
  EXPECT_EQ(window.status, Sjis("再生リンクを読み取れませんでした"));
  EXPECT_EQ(controller.Sstp()->QueueLength(), 0u);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(PlayRuleTest, SeekerTroubleShowsInTheStatusBarAndTheMessageWaits) {
  StartPlaying(true);
  baseware.RefuseMutex("SakuraFMO");
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,x,"));
  EXPECT_TRUE(loop.ServeFor(std::chrono::seconds(10), [&] {
    return window.status == Sjis("Mutexハンドルを取得できませんでした");
  }));
  EXPECT_EQ(controller.Sstp()->QueueLength(), 1u);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(MainControllerTest, ASenderThatCannotStartIsReportedAndPlayLinksSaySo) {
  baseware.RefuseWindows();
  Spit(IniPath(), "[General]\r\nSppDir=" + dir.path() + "\r\n[Play]\r\nEnabled=1\r\n");
  controller.FormCreate();
  EXPECT_EQ(boxes.messages, std::vector<std::string>{"no window"});
  EXPECT_EQ(controller.Sstp(), nullptr);
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,x,"));
  EXPECT_EQ(window.status, Sjis("再生の準備ができていません"));
  controller.FormDestroy();
  EXPECT_EQ(boxes.messages.size(), 1u);
}

TEST_F(PlayRuleTest, TheEndSavesTheSettingsThenFreesTheSender) {
  StartPlaying(true);
  baseware.HoldSends();
  EXPECT_FALSE(controller.BeforeNavigate("http://messageofhlwmrplay/G,C,x,"));
  ASSERT_TRUE(loop.ServeFor(std::chrono::seconds(10), [&] { return baseware.SendWaiting(); }));
  // The ghost answers a little later; meanwhile the settings are already on disk.
  std::thread ghost([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(TIniFile(IniPath()).ReadString("Play", "Enabled", "?"), "1");
    baseware.FreeSends();
  });
  controller.FormDestroy();
  ghost.join();
  EXPECT_EQ(controller.Sstp(), nullptr);
  EXPECT_EQ(baseware.ReceivedCount(3001), 1u);
}

// "log.txt" is read only as a regular file of at most 2 GB: a device, a
// FIFO or a huge file is refused with a message and shows nothing.
TEST_F(MainControllerTest, LogFileItemRefusesWhatIsNoFileOrTooLarge) {
  StartWithPluginFolder();
  const std::string log = dir.file("log.txt");
  const std::string cannot = Sjis("ファイル ") + log + Sjis(" は開けません");
  const std::function<void()> makers[] = {
      [&] { fs::create_symlink("/dev/zero", log); },
      [&] { ASSERT_EQ(mkfifo(log.c_str(), 0600), 0); },
      [&] { fs::create_directory(log); },
      [&] {
        std::ofstream(log, std::ios::binary) << "Result: OK\r\n";
        fs::resize_file(log, (uint64_t{1} << 31) + 1);
      },
  };
  const std::string expected[] = {cannot, cannot, cannot, Sjis("ファイル ") + log + Sjis(" は大きすぎます")};
  for (std::size_t i = 0; i < std::size(makers); ++i) {
    fs::remove_all(log);
    makers[i]();
    boxes.messages.clear();
    controller.Guarded([&] { controller.LogLoadMenuClick(); });
    EXPECT_EQ(boxes.messages, std::vector<std::string>{expected[i]}) << i;
  }
  EXPECT_TRUE(view.navigations.empty());
  EXPECT_FALSE(fs::exists(dir.file("long0.html")));
}

}  // namespace
}  // namespace hollowmere
