// The SSTP sender over an in-memory baseware and our own main loop: the
// request it writes, which ghost it picks, the order it plays messages in,
// which answers acknowledge, how it lives through seeker errors, and how it
// ends while a delivery is under way.
#include "ghost/DirectSstpSend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <thread>
#include <tuple>

#include "platform/PollMainLoop.h"
#include "support/FakeBaseware.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using testing::FakeBaseware;
using text::Sjis;
using Clock = std::chrono::steady_clock;

TMessageItem Record(std::string ghost, std::string channel, std::string script) {
  TMessageItem m;
  m.GhostName = std::move(ghost);
  m.Headers = {"Channel:" + channel};
  m.Script = std::move(script);
  return m;
}

// The value of one request line ("Script" -> what follows "Script: ").
std::string Line(const std::string& request, const std::string& key) {
  const std::string prefix = key + ": ";
  for (std::size_t at = 0; at < request.size();) {
    const std::size_t end = request.find("\r\n", at);
    if (end == std::string::npos) break;
    if (request.compare(at, prefix.size(), prefix) == 0) {
      return request.substr(at + prefix.size(), end - at - prefix.size());
    }
    at = end + 2;
  }
  return "<none>";
}

class DirectSstpTest : public ::testing::Test {
 protected:
  static TSstpTiming Fast() { return {5ms, 2s, 20ms}; }
  void Start(TSstpTiming timing = Fast()) {
    sender = std::make_unique<TDirectSSTP>(
        TDirectSSTP::TParts{loop, baseware.Parts(),
                            [this] {
                              namesOnMainThread = namesOnMainThread && loop.IsMainThread();
                              ++namesCopied;
                              return fmoNames;
                            },
                            [this](const std::string& text) { shown.push_back(text); }},
        timing);
    sender->SetSenderName("Hollowmere");
  }
  const TMessageItem& Enqueue(std::string ghost, std::string script = "\\0hi") {
    records.push_back(Record(std::move(ghost), "C", std::move(script)));
    sender->Enqueue(records.back());
    return records.back();
  }
  bool Serve(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    return loop.ServeFor(limit, done);
  }
  void Idle(std::chrono::milliseconds time) {
    loop.ServeFor(time, [] { return false; });
  }
  bool Drained() {
    return Serve([&] { return sender->QueueLength() == 0; });
  }
  // One ghost window per (hwnd, name, keroname) in the block "Sakura".
  void Ghosts(const std::vector<std::tuple<int, std::string, std::string>>& ghosts,
              const std::string& block = "Sakura") {
    std::string text;
    for (const auto& [hwnd, name, kero] : ghosts) {
      const std::string id = "id" + std::to_string(hwnd) + ".";
      text += id + "hwnd\x01" + std::to_string(hwnd) + "\r\n" + id + "name\x01" + name + "\r\n" +
              id + "keroname\x01" + kero + "\r\n";
      baseware.AddGhostWindow(hwnd);
    }
    baseware.SetBlock(block, FakeBaseware::Block(text));
  }
  std::vector<std::string> Scripts(TWindowHandle ghost) {
    std::vector<std::string> scripts;
    for (const TCopyData& m : baseware.Received(ghost)) scripts.push_back(Line(m.Bytes, "Script"));
    return scripts;
  }

  TPollMainLoop loop;
  FakeBaseware baseware{loop};
  std::vector<std::string> fmoNames{"Sakura"};
  std::vector<std::string> shown;
  bool namesOnMainThread = true;
  int namesCopied = 0;
  std::deque<TMessageItem> records;
  std::unique_ptr<TDirectSSTP> sender;
};

TEST(SstpRequest, LinesInOrderByteForByte) {
  const struct {
    TMessageItem message;
    std::string senderName;
    std::string ifGhost;
    TWindowHandle reply;
    std::string request;
  } cases[] = {
      {Record(Sjis("さくら"), Sjis("雑談"), "\\0\\s[0]" + Sjis("表示") + "."), "Hollowmere",
       Sjis("さくら,うにゅう"), 4242,
       "SEND SSTP/1.4\r\nCharset: Shift_JIS\r\nSender:  " + Sjis("さくら/雑談") +
           "/Hollowmere\r\nIfGhost: " + Sjis("さくら,うにゅう") + "\r\nScript: \\0\\s[0]" +
           Sjis("表示") + ".\r\nHWnd: 4242\r\nX-Voyla-IfGhost: " + Sjis("さくら") + "\r\n\r\n"},
      {Record("G", "C", ""), "Hollowmere", "", 7,
       "SEND SSTP/1.4\r\nCharset: Shift_JIS\r\nSender:  G/C/Hollowmere\r\nIfGhost: \r\n"
       "Script: \r\nHWnd: 7\r\nX-Voyla-IfGhost: G\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeSstpRequest(c.message, c.senderName, c.ifGhost, c.reply), c.request);
  }
  // A record without a channel header sends an empty channel.
  TMessageItem bare;
  bare.GhostName = "G";
  EXPECT_EQ(Line(MakeSstpRequest(bare, "S", "", 1), "Sender"), " G//S");
}

TEST_F(DirectSstpTest, TheRequestGoesToTheGhostOfThatNameElseToTheFirstGhost) {
  Ghosts({{3001, "A", "a"}, {3002, Sjis("さくら"), Sjis("うにゅう")}});
  Ghosts({{3003, "C", "c"}}, "Other");
  fmoNames = {"Sakura", "Other"};
  Start();
  const struct {
    std::string ghost;
    TWindowHandle window;
    std::string ifGhost;
  } cases[] = {{Sjis("さくら"), 3002, Sjis("さくら,うにゅう")},
               {"C", 3003, "C,c"},  // found in the second block
               {"Z", 3001, "A,a"},  // no such ghost: the first one
               {"a", 3001, "A,a"}};  // names are exact
  for (const auto& c : cases) {
    const std::size_t before = baseware.ReceivedCount(c.window);
    const TMessageItem& message = Enqueue(c.ghost, "\\0\\s[0]" + Sjis("表示") + ".");
    ASSERT_TRUE(Drained()) << c.ghost;
    const std::vector<TCopyData> got = baseware.Received(c.window);
    ASSERT_EQ(got.size(), before + 1) << c.ghost;
    EXPECT_EQ(got.back().Sender, static_cast<std::uint32_t>(sender->ReplyWindow()));
    EXPECT_EQ(got.back().DwData, 9801u);
    EXPECT_EQ(got.back().Bytes,
              MakeSstpRequest(message, "Hollowmere", c.ifGhost, sender->ReplyWindow()));
  }
  EXPECT_EQ(sender->LastReply(), "SSTP/1.4 200 OK\r\n\r\n");
  EXPECT_TRUE(namesOnMainThread);
}

TEST_F(DirectSstpTest, TwoClicksPlayStrictlyInOrder) {
  Ghosts({{3001, "G", "k"}});
  baseware.AddGhostWindow(3001, FakeBaseware::EAnswer::Never);
  Start();
  Enqueue("G", "first");
  Enqueue("G", "second");
  // Unacknowledged, the first is sent again and again; the second waits.
  ASSERT_TRUE(Serve([&] { return baseware.ReceivedCount(3001) >= 3; }));
  for (const std::string& s : Scripts(3001)) EXPECT_EQ(s, "first");
  EXPECT_EQ(sender->QueueLength(), 2u);

  baseware.AddGhostWindow(3001, FakeBaseware::EAnswer::Ok);
  ASSERT_TRUE(Drained());
  const std::vector<std::string> scripts = Scripts(3001);
  EXPECT_EQ(scripts.back(), "second");
  // Once acknowledged, a message is never sent again.
  const auto firstSecond = std::find(scripts.begin(), scripts.end(), "second");
  EXPECT_EQ(std::count(firstSecond, scripts.end(), "first"), 0);
  EXPECT_EQ(std::count(scripts.begin(), scripts.end(), "second"), 1);
  Idle(50ms);
  EXPECT_EQ(Scripts(3001).size(), scripts.size());
}

TEST_F(DirectSstpTest, AQueuedMessageWaitsForAGhostToStart) {
  Start();
  Enqueue("G");
  Idle(60ms);
  EXPECT_EQ(sender->QueueLength(), 1u);
  EXPECT_EQ(sender->LastReply(), "");
  // A ghost without a window is no target either.
  baseware.SetBlock("Sakura", FakeBaseware::Block("g.name\x01G"));
  baseware.AddGhostWindow(3001);
  Idle(60ms);
  EXPECT_EQ(baseware.ReceivedCount(3001), 0u);
  EXPECT_EQ(sender->QueueLength(), 1u);

  Ghosts({{3001, "G", "k"}});
  ASSERT_TRUE(Drained());
  EXPECT_EQ(baseware.ReceivedCount(3001), 1u);
  EXPECT_TRUE(shown.empty());
}

TEST_F(DirectSstpTest, AnOtherStatusIsSentAgainUntilOk) {
  Ghosts({{3001, "G", "k"}});
  baseware.AddGhostWindow(3001, FakeBaseware::EAnswer::NoContent);
  Start();
  Enqueue("G");
  ASSERT_TRUE(Serve([&] { return baseware.ReceivedCount(3001) >= 3; }));
  EXPECT_EQ(sender->QueueLength(), 1u);
  EXPECT_EQ(sender->LastReply(), "SSTP/1.4 204 No Content\r\n\r\n");
  baseware.AddGhostWindow(3001, FakeBaseware::EAnswer::OkWithText);
  ASSERT_TRUE(Drained());
  // The answer's text ends at its first NUL.
  EXPECT_EQ(sender->LastReply(), "SSTP/1.4 200 OK\r\nX-Note: more\r\n\r\n");
}

TEST_F(DirectSstpTest, OnlyAnAnswerBeginningOkRemovesTheHead) {
  Start();
  const TWindowHandle reply = sender->ReplyWindow();
  auto post = [&](const std::string& bytes) {
    TCopyData m;
    m.Sender = 99;
    m.DwData = 1;  // whatever it says
    m.Bytes = bytes;
    baseware.PostTo(reply, m);
    return Serve([&] { return sender->LastReply() == bytes.substr(0, bytes.find('\0')); });
  };
  // A stray acknowledgement with nothing queued changes nothing but LastReply.
  ASSERT_TRUE(post("SSTP/1.4 200 OK (stray)"));
  EXPECT_EQ(sender->QueueLength(), 0u);

  const struct {
    std::string bytes;
    bool acknowledges;
  } cases[] = {
      {"SSTP/1.4 200 OK", true},
      {"SSTP/1.4 200 OK\r\nCharset: Shift_JIS\r\n\r\n", true},
      {"SSTP/1.4 200 OKAY", true},
      {"SSTP/1.4 200 O", false},
      {"SSTP/1.4 204 No Content", false},
      {"sstp/1.4 200 ok", false},
      {" SSTP/1.4 200 OK", false},
      {std::string("SSTP/1.4 200\0 OK", 16), false},
      {"", false},
  };
  std::size_t queued = 0;
  for (const auto& c : cases) {
    Enqueue("nobody");  // no ghost runs: only the answer can remove it
    ++queued;
    ASSERT_TRUE(post(c.bytes)) << c.bytes;
    if (c.acknowledges) --queued;
    EXPECT_EQ(sender->QueueLength(), queued) << c.bytes;
  }
}

TEST_F(DirectSstpTest, ASeekerErrorEndsOnlyThatPassAndIsShownOnce) {
  Ghosts({{3001, "G", "k"}});
  baseware.HoldMutex("SakuraFMO");
  Start();
  Enqueue("G");
  ASSERT_TRUE(Serve([&] { return !shown.empty(); }));
  Idle(150ms);  // several more failing passes
  EXPECT_EQ(shown, std::vector<std::string>{Sjis("Mutex同期タイムアウト")});
  EXPECT_EQ(sender->QueueLength(), 1u);

  // Another error is shown in its turn.
  baseware.SetBlock("Sakura", FakeBaseware::Block("g.hwnd\x01" "3001", 2));
  baseware.FreeMutex("SakuraFMO");
  ASSERT_TRUE(Serve([&] { return shown.size() == 2; }));
  EXPECT_EQ(shown[1], Sjis("FMOを取得できませんでした"));

  // The next good pass delivers what was waiting.
  Ghosts({{3001, "G", "k"}});
  ASSERT_TRUE(Drained());
  EXPECT_EQ(baseware.ReceivedCount(3001), 1u);

  // After a good pass the same error is news again.
  baseware.HoldMutex("SakuraFMO");
  Enqueue("G");
  ASSERT_TRUE(Serve([&] { return shown.size() == 3; }));
  EXPECT_EQ(shown[2], Sjis("Mutex同期タイムアウト"));
  baseware.FreeMutex("SakuraFMO");
  ASSERT_TRUE(Drained());
}

TEST_F(DirectSstpTest, TheFmoNamesAreCopiedBeforeEverySend) {
  Ghosts({{3009, "G", "k"}}, "Other");
  Start();
  EXPECT_EQ(namesCopied, 1);  // at construction
  Enqueue("G");
  Idle(40ms);
  EXPECT_EQ(baseware.ReceivedCount(3009), 0u);
  fmoNames = {"Other"};
  ASSERT_TRUE(Drained());
  EXPECT_TRUE(namesOnMainThread);
}

TEST_F(DirectSstpTest, AnIdleSenderReadsNothingAndEndsAtOnce) {
  Start({10s, 2s, 20ms});
  Idle(30ms);
  EXPECT_TRUE(baseware.Events().empty());
  const auto start = Clock::now();
  sender.reset();
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(DirectSstpTest, EndingAbandonsTheSendInFlightAndServesTheLoopMeanwhile) {
  Ghosts({{3001, "G", "k"}});
  baseware.HoldSends();
  // A ghost that never answers, with the full 50-second wait of a send.
  Start({5ms, 50s, 20ms});
  Enqueue("G");
  ASSERT_TRUE(Serve([&] { return baseware.SendWaiting(); }));
  const auto start = Clock::now();
  sender.reset();
  EXPECT_LT(Clock::now() - start, 2s);
  // The pass in flight was the last one.
  EXPECT_EQ(baseware.ReceivedCount(3001), 1u);
  baseware.FreeSends();

  // Nor can a baseware that holds its lock, with the full 3-second wait.
  const auto waits = [&] {
    const std::vector<std::string> events = baseware.Events();
    return std::count(events.begin(), events.end(), "wait SakuraFMO");
  };
  const auto waitsBefore = waits();
  baseware.HoldMutex("SakuraFMO");
  Start({5ms, 50s, TSakuraSeeker::kMutexWait});
  Enqueue("G");
  ASSERT_TRUE(Serve([&] { return waits() > waitsBefore; }));
  const auto locked = Clock::now();
  sender.reset();
  EXPECT_LT(Clock::now() - locked, 2s);
  EXPECT_TRUE(shown.empty()) << "the end is no error to show";
  baseware.FreeMutex("SakuraFMO");

  // The worker waiting for a main-thread step when the end comes: the wait
  // runs the step, so the worker gets through its pass and ends.
  Start({5ms, 50s, 20ms});
  const int copied = namesCopied;
  Enqueue("G");
  std::this_thread::sleep_for(50ms);  // the worker asks for the FMO names meanwhile
  sender.reset();
  EXPECT_GT(namesCopied, copied);
}

}  // namespace
}  // namespace hollowmere
