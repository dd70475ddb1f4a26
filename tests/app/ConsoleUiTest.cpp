// The program without a display: when it counts as headless, and its boxes
// and chooser as lines on standard error that never wait.
#include "app/ConsoleUi.h"

#include <gtest/gtest.h>

#include <sstream>

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
}

}  // namespace
}  // namespace hollowmere
