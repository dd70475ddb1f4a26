// The program without a display: when it counts as headless, its boxes and
// chooser as lines on standard error that never wait, and the renderer's
// progress bar.
#include "app/ConsoleUi.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/ConsoleProgressBar.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

TEST(ConsoleUiTest, HeadlessWhenNoDisplayOrWhenToldToDrawOffscreen) {
  struct Case {
    const char* display;
    const char* wayland;
    const char* platform;
    bool headless;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, true},   {"", "", nullptr, true},          {":0", nullptr, nullptr, false},
      {nullptr, "wayland-0", nullptr, false}, {":0", nullptr, "offscreen", true}, {":0", nullptr, "minimal", true},
      {":0", nullptr, "xcb", false},       {nullptr, nullptr, "xcb", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsHeadless(c.display, c.wayland, c.platform), c.headless)
        << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-") << " " << (c.platform ? c.platform : "-");
  }
}

TEST(ConsoleUiTest, BoxesAndChoosersBecomeLinesAndAnswerAtOnce) {
  std::ostringstream err;
  TConsoleMessageBoxes boxes(err);
  boxes.ShowMessage(text::Sjis("パラメータが不正です"));
  boxes.ShowMessage(text::Sjis("接続に失敗しました\r\nサーバ x:1 に接続できません"));
  boxes.ShowMessage("");
  boxes.Beep();
  EXPECT_FALSE(boxes.AskYesNo(text::Sjis("開きますか？")));
  TConsoleFileChooser files(err);
  EXPECT_EQ(files.ChooseFile("plugins (*.so)", "/usr/lib/hollowmere/plugins/"), std::nullopt);
  EXPECT_EQ(err.str(),
            "Hollowmere: パラメータが不正です\n"
            "Hollowmere: 接続に失敗しました\n  サーバ x:1 に接続できません\n"
            "Hollowmere: \n"
            "Hollowmere: 開きますか？ [no]\n"
            "Hollowmere: no display to choose a file (plugins (*.so)), none chosen\n");

  // A server's words reach the terminal shown, never obeyed.
  std::ostringstream hostile;
  TConsoleMessageBoxes shown(hostile);
  shown.ShowMessage(text::Sjis("SSTP Voylaサーバとの接続に失敗しました\r\n") + "HTTP/1.1 500 \x1b[2J\x1b]0;owned\x07");
  EXPECT_EQ(hostile.str(), "Hollowmere: SSTP Voylaサーバとの接続に失敗しました\n  HTTP/1.1 500 ^[[2J^[]0;owned^G\n");

  std::ostringstream render;
  TConsoleMessageBoxes named(render, "hollowmere-render");
  named.ShowMessage("Error loading /p/x.so");
  EXPECT_EQ(render.str(), "hollowmere-render: Error loading /p/x.so\n");
}

TEST(ConsoleProgressBar, DrawsLargeJobsInPlaceAndEndsTheLine) {
  std::ostringstream out;
  {
    TConsoleProgressBar bar(out, true);
    bar.Update(0, 4000);
    bar.Update(1000, 4000);
    bar.Update(4000, 4000);
  }
  EXPECT_EQ(out.str(), "\r[" + std::string(40, ' ') + "] 0/4000" +  //
                           "\r[" + std::string(10, '#') + std::string(30, ' ') + "] 1000/4000" +
                           "\r[" + std::string(40, '#') + "] 4000/4000\n");

  // Small jobs, and output that is no terminal, draw nothing at all.
  std::ostringstream none;
  {
    TConsoleProgressBar small(none, true);
    small.Update(5, kProgressBarFrom - 1);
    TConsoleProgressBar off(none, false);
    off.Update(5, 10 * kProgressBarFrom);
    off.Finish();
  }
  EXPECT_EQ(none.str(), "");
}

}  // namespace
}  // namespace hollowmere
