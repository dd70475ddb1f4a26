// The sender over the real Linux baseware interface against the stand-in
// baseware (tools/ghost-standin), a separate program.
#include <gtest/gtest.h>

#include <deque>

#include "ghost/DirectSstpSend.h"
#include "platform/FmoFiles.h"
#include "platform/PollMainLoop.h"
#include "platform/SocketWindows.h"
#include "support/ChildProcess.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using text::Sjis;

class GhostStandinTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir.file("fmo"); }
  void StartStandin(std::vector<std::string> options) {
    options.insert(options.begin(), {"--dir", Folder()});
    standin = std::make_unique<ChildProcess>(GHOST_STANDIN, options);
    ASSERT_TRUE(standin->Running());
    ASSERT_TRUE(StandinSays("ready\n")) << standin->Output();
  }
  void StartSender() {
    sender = std::make_unique<TDirectSSTP>(
        TDirectSSTP::TParts{loop, {fmo, windows}, [] { return std::vector<std::string>{"Sakura"}; },
                            [this](const std::string& text) { shown.push_back(text); }},
        TSstpTiming{20ms, 5s, 1s});
    sender->SetSenderName("Hollowmere");
  }
  void Enqueue(const std::string& ghost, const std::string& script) {
    TMessageItem m;
    m.GhostName = ghost;
    m.Headers = {"Channel:" + Sjis("雑談")};
    m.Script = script;
    records.push_back(m);
    sender->Enqueue(records.back());
  }
  bool StandinSays(const std::string& text) {
    return loop.ServeFor(10s, [&] {
      standin->Poll();
      return standin->Printed(text);
    });
  }
  bool Drained() {
    return loop.ServeFor(10s, [&] { return sender->QueueLength() == 0; });
  }

  testing::TempDir dir;
  TPollMainLoop loop;
  TFmoFiles fmo{Folder()};
  TSocketWindows windows{loop, Folder()};
  std::unique_ptr<ChildProcess> standin;
  std::vector<std::string> shown;
  std::deque<TMessageItem> records;
  std::unique_ptr<TDirectSSTP> sender;
};

// No ghost at first; then two start, the message's own ghost among them,
// answering 204 until told otherwise.
TEST_F(GhostStandinTest, AWaitingMessageReachesItsGhostOnceItStartsAndIsSentUntil200) {
  StartStandin({"--no-ghost", "--answer", "204"});
  StartSender();
  Enqueue(Sjis("毒子"), "\\0\\s[0]" + Sjis("表示") + ".");
  loop.ServeFor(200ms, [] { return false; });
  standin->Poll();
  EXPECT_FALSE(standin->Printed("=== request"));

  standin->WriteLine("add さくら,うにゅう,3201");
  standin->WriteLine("add 毒子,ケロ,3202,craftman=someone");
  ASSERT_TRUE(StandinSays("=== end of request 3\n")) << standin->Output();
  EXPECT_EQ(sender->QueueLength(), 1u);
  EXPECT_EQ(sender->LastReply().rfind("SSTP/1.4 204 No Content\r\n", 0), 0u);

  standin->WriteLine("answer ok");
  ASSERT_TRUE(Drained());
  EXPECT_EQ(sender->LastReply().rfind("SSTP/1.4 200 OK\r\n", 0), 0u);
  standin->Poll();
  const std::string reply = std::to_string(sender->ReplyWindow());
  const std::string& out = standin->Output();
  // A pass may fall between the two ghosts' start: until its own ghost
  // runs, a message goes to the first ghost found. The one acknowledged,
  // the last, went to its own ghost.
  const std::size_t last = out.rfind("=== request ");
  ASSERT_NE(last, std::string::npos) << out;
  EXPECT_EQ(out.find(" to window 3202 (毒子) ", last), out.find(" to window ", last)) << out;
  const std::size_t requests = standin->Count("=== request");
  const std::size_t toOwn =
      standin->Count(" to window 3202 (毒子) from window " + reply + ", dwData 9801, ");
  EXPECT_GE(toOwn, 2u) << out;
  EXPECT_EQ(toOwn + standin->Count(" to window 3201 ("), requests) << out;
  // Every request to it was the same.
  EXPECT_EQ(standin->Count("\nSender:  毒子/雑談/Hollowmere\nIfGhost: 毒子,ケロ\n"
                           "Script: \\0\\s[0]表示.\nHWnd: " + reply +
                           "\nX-Voyla-IfGhost: 毒子\n=== end of request "),
            toOwn)
      << out;
  EXPECT_TRUE(shown.empty());
}

}  // namespace
}  // namespace hollowmere
