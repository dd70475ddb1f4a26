// Ghost discovery over an in-memory baseware: how block lines become ghost
// entries, how several blocks merge, which blocks are refused, and how the
// mutex is taken around each copy.
#include "ghost/SakuraSeeker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/PollMainLoop.h"
#include "support/FakeBaseware.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using namespace std::chrono_literals;
using testing::FakeBaseware;
using text::Sjis;

struct Entry {
  std::string id;
  std::vector<std::string> values;
  bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
  os << "{" << e.id << ":";
  for (const auto& v : e.values) os << " [" << v << "]";
  return os << "}";
}

class SakuraSeekerTest : public ::testing::Test {
 protected:
  std::vector<Entry> Entries() {
    std::vector<Entry> out;
    for (int i = 0; i < seeker.Count(); ++i) {
      out.push_back({seeker.Processes(i).Id(), seeker.Processes(i).Values()});
    }
    return out;
  }
  std::string DetectError() {
    try {
      seeker.Detect();
    } catch (const ESakuraSeekerError& e) {
      return e.what();
    }
    return "no error";
  }

  TPollMainLoop loop;
  FakeBaseware fmo{loop};
  TSakuraSeeker seeker{fmo, 50ms};
};

TEST_F(SakuraSeekerTest, BlockLinesBecomeEntries) {
  const std::string tb = Sjis("表");  // its second byte is 0x5C
  const struct {
    const char* what;
    std::string text;
    std::vector<Entry> entries;
  } cases[] = {
      {"three lines, two ids",
       "id1.hwnd\x01" "1234\r\nid1.name\x01" "A\r\nid2.name\x01" "B\r\n",
       {{"id1", {"hwnd=1234", "name=A"}}, {"id2", {"name=B"}}}},
      {"a key holding a dot", "x.y.z\x01v", {{"x", {"y.z=v"}}}},
      {"an empty line is an entry with an empty id and no values",
       "a.k\x01v\r\n\r\nb.k\x01w", {{"a", {"k=v"}}, {"", {}}, {"b", {"k=w"}}}},
      {"lone CR and lone LF end lines too", "a.k\x01v\rb.k\x01w\nc.k\x01x",
       {{"a", {"k=v"}}, {"b", {"k=w"}}, {"c", {"k=x"}}}},
      {"an empty value removes the key", "a.k\x01v\r\na.j\x01w\r\na.k\x01", {{"a", {"j=w"}}}},
      {"a later value replaces, the key keeps its first spelling",
       "a.Name\x01X\r\na.NAME\x01Y", {{"a", {"Name=Y"}}}},
      {"the value runs to the line's end", "a.k\x01v.1\x01x", {{"a", {"k=v.1\x01x"}}}},
      {"no dot: empty id, the key up to 0x01", "abc\x01" "def", {{"", {"abc=def"}}}},
      {"no 0x01: empty key, the whole line as value", "id.key", {{"id", {"=id.key"}}}},
      {"0x01 before the dot: empty key", "a\x01" "b.c", {{"a\x01" "b", {"=b.c"}}}},
      {"double-byte text stays whole", Sjis("ゴ") + tb + ".name\x01" + tb + "\\",
       {{Sjis("ゴ") + tb, {"name=" + tb + "\\"}}}},
      {"ids are exact", "id.k\x01" "1\r\nID.k\x01" "2", {{"id", {"k=1"}}, {"ID", {"k=2"}}}},
  };
  for (const auto& c : cases) {
    fmo.SetBlock("Sakura", FakeBaseware::Block(c.text));
    seeker.Detect();
    EXPECT_EQ(Entries(), c.entries) << c.what;
    EXPECT_EQ(seeker.DetectionText(), c.text) << c.what;
    for (int i = 0; i < seeker.Count(); ++i) {
      EXPECT_EQ(seeker.Processes(i).FmoName(), "Sakura");
      EXPECT_EQ(seeker.Processes(i).Owner(), &seeker);
    }
  }
}

TEST_F(SakuraSeekerTest, TheThreeLineExampleAnswersTheSendersQuestions) {
  fmo.SetBlock("Sakura",
               FakeBaseware::Block("id1.hwnd\x01" "1234\r\nid1.name\x01" "A\r\nid2.name\x01" "B"));
  seeker.Detect();
  ASSERT_EQ(seeker.Count(), 2);
  EXPECT_EQ(seeker.Processes(0).HWnd(), 1234);
  EXPECT_EQ(seeker.Processes(0).Name(), "A");
  EXPECT_EQ(seeker.Processes(1).HWnd(), 0);
  EXPECT_EQ(seeker.FindById("id2"), &seeker.Processes(1));
  EXPECT_EQ(seeker.FindById("ID2"), nullptr);
  EXPECT_EQ(seeker.FindByName("B"), &seeker.Processes(1));
  EXPECT_EQ(seeker.FindByName("C"), nullptr);
  EXPECT_EQ(seeker.Processes(0).GhostNames(), "A,");
}

TEST_F(SakuraSeekerTest, KeysIgnoreCaseNamesDoNot) {
  const std::string a = Sjis("ア");    // 0x83 0x41
  const std::string sya = Sjis("ャ");  // 0x83 0x61: the same bytes but for an ASCII-letter's case
  fmo.SetBlock("Sakura", FakeBaseware::Block("g.HWND\x01" "77\r\ng.Name\x01" "a\r\ng.KeroName\x01"
                                             "k\r\ng." + a + "\x01" "1"));
  seeker.Detect();
  TSakuraProcess& g = seeker.Processes(0);
  EXPECT_EQ(g.HWnd(), 77);
  EXPECT_EQ(g.GetValue("hwnd"), "77");
  EXPECT_EQ(g.GhostNames(), "a,k");
  EXPECT_EQ(seeker.FindByName("A"), nullptr);
  EXPECT_EQ(seeker.FindByName("a"), &g);
  EXPECT_EQ(g.GetValue(a), "1");
  EXPECT_EQ(g.GetValue(sya), "");
}

TEST_F(SakuraSeekerTest, HwndIsADecimalNumberOrZero) {
  const struct {
    const char* value;
    int32_t hwnd;
  } cases[] = {{"1234", 1234}, {"0", 0},         {"-5", -5},  {"12ab", 0},       {"", 0},
               {"99999999999", 0}, {" 42", 0}, {"$10", 0}, {"0x10", 0}, {"010", 10},
               {"2147483647", 2147483647}};
  for (const auto& c : cases) {
    fmo.SetBlock("Sakura", FakeBaseware::Block(std::string("g.hwnd\x01") + c.value));
    seeker.Detect();
    EXPECT_EQ(seeker.Processes(0).HWnd(), c.hwnd) << c.value;
  }
}

TEST_F(SakuraSeekerTest, NoBlockMeansNoGhostsAndIsNoError) {
  seeker.Detect();
  EXPECT_EQ(seeker.Count(), 0);
  // The mutex was still taken and given back around looking.
  EXPECT_EQ(fmo.Events(), (std::vector<std::string>{"open-mutex SakuraFMO", "wait SakuraFMO",
                                                    "read Sakura", "release SakuraFMO"}));
  // A block too short to hold its size field holds no ghosts either.
  fmo.SetBlock("Sakura", std::string("\x05\x00", 2));
  seeker.Detect();
  EXPECT_EQ(seeker.Count(), 0);
}

TEST_F(SakuraSeekerTest, BlocksMergeByIdInTargetOrder) {
  EXPECT_EQ(seeker.FileMappingTarget(), std::vector<std::string>{"Sakura"});
  fmo.SetBlock("Sakura", FakeBaseware::Block("id1.name\x01" "A\r\nid2.name\x01" "B"));
  fmo.SetBlock("Other", FakeBaseware::Block("id3.name\x01" "C\r\nid1.hwnd\x01" "9"));
  seeker.SetFileMappingTarget({"Other", "Missing", "Sakura"});
  seeker.Detect();
  EXPECT_EQ(Entries(), (std::vector<Entry>{{"id3", {"name=C"}},
                                           {"id1", {"hwnd=9", "name=A"}},
                                           {"id2", {"name=B"}}}));
  EXPECT_EQ(seeker.Processes(1).FmoName(), "Other");
  EXPECT_EQ(seeker.Processes(2).FmoName(), "Sakura");
  // Every Detect starts afresh.
  fmo.RemoveBlock("Other");
  seeker.Detect();
  EXPECT_EQ(Entries(), (std::vector<Entry>{{"id1", {"name=A"}}, {"id2", {"name=B"}}}));
}

TEST_F(SakuraSeekerTest, SizeFieldLimitsTheText) {
  const struct {
    const char* what;
    std::string bytes;
    bool refused;
    int count;
  } cases[] = {
      {"size equal to the text", FakeBaseware::Block("a.k\x01v"), false, 1},
      {"size larger than the text", FakeBaseware::Block("a.k\x01v", 1000), false, 1},
      {"size one short", FakeBaseware::Block("a.k\x01v", 4), true, 0},
      {"negative size", FakeBaseware::Block("", -1), true, 0},
      {"text ends at the first NUL", FakeBaseware::Block(std::string("a.k\x01v\0b.k\x01w", 11), 5),
       false, 1},
      {"no NUL: the text ends with the block", std::string("\x05\0\0\0a.k\x01v", 9), false, 1},
  };
  for (const auto& c : cases) {
    fmo.SetBlock("Other", FakeBaseware::Block("o.name\x01O"));
    fmo.SetBlock("Sakura", c.bytes);
    seeker.SetFileMappingTarget({"Other", "Sakura"});
    const std::string error = DetectError();
    EXPECT_EQ(error, c.refused ? Sjis("FMOを取得できませんでした") : "no error") << c.what;
    // The earlier block's entries stay either way.
    ASSERT_GE(seeker.Count(), 1) << c.what;
    EXPECT_EQ(seeker.Processes(0).Name(), "O") << c.what;
    EXPECT_EQ(seeker.Count(), 1 + c.count) << c.what;
    EXPECT_EQ(fmo.Events().back(), "release SakuraFMO") << c.what;
  }
}

TEST_F(SakuraSeekerTest, AHugeBlockIsReadOnlyAsFarAsItsSizeField) {
  const std::string text = "a.k\x01v\r\n" + std::string(8 << 20, 'x');
  fmo.SetBlock("Sakura", FakeBaseware::Block(text, 100));
  EXPECT_EQ(DetectError(), Sjis("FMOを取得できませんでした"));
  EXPECT_LE(fmo.BytesRead(), 4u + 101u);
}

TEST_F(SakuraSeekerTest, MutexFailures) {
  fmo.SetBlock("Sakura", FakeBaseware::Block("a.name\x01" "A"));
  fmo.RefuseMutex("SakuraFMO");
  EXPECT_EQ(DetectError(), Sjis("Mutexハンドルを取得できませんでした"));
  EXPECT_EQ(seeker.Count(), 0);

  TSakuraSeeker other(fmo, 30ms);
  other.SetFileMappingTarget({"Busy"});
  fmo.HoldMutex("BusyFMO");
  const auto start = std::chrono::steady_clock::now();
  try {
    other.Detect();
    ADD_FAILURE() << "no time-out";
  } catch (const ESakuraSeekerError& e) {
    EXPECT_EQ(e.what(), Sjis("Mutex同期タイムアウト"));
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  // The holder lets go (or dies) while the reader waits: the reader owns it.
  std::thread holder([&] {
    std::this_thread::sleep_for(10ms);
    fmo.FreeMutex("BusyFMO");
  });
  TSakuraSeeker patient(fmo, 5s);
  patient.SetFileMappingTarget({"Busy"});
  fmo.SetBlock("Busy", FakeBaseware::Block("b.name\x01" "B"));
  patient.Detect();
  holder.join();
  EXPECT_EQ(patient.Count(), 1);
}

TEST_F(SakuraSeekerTest, OneMutexHandlePerNameNamedByTheEvent) {
  seeker.SetFileMappingTarget({"Sakura", "Sakura"});
  seeker.Detect();
  seeker.Detect();
  int opened = 0;
  for (const std::string& e : fmo.Events()) opened += e == "open-mutex SakuraFMO";
  EXPECT_EQ(opened, 1);

  std::vector<std::string> asked;
  seeker.OnGetMutexName = [&](TSakuraSeeker& sender, std::string& name) {
    EXPECT_EQ(&sender, &seeker);
    asked.push_back(name);
    name += "-lock";
  };
  seeker.SetFileMappingTarget({"Sakura"});
  seeker.Detect();
  EXPECT_EQ(asked, std::vector<std::string>{"Sakura"});
  const std::vector<std::string> events = fmo.Events();
  EXPECT_EQ(std::vector<std::string>(events.end() - 4, events.end()),
            (std::vector<std::string>{"open-mutex Sakura-lock", "wait Sakura-lock", "read Sakura",
                                      "release Sakura-lock"}));
}

TEST_F(SakuraSeekerTest, NotificationsFollowTheDetectedText) {
  int changed = 0, after = 0;
  seeker.OnDetectResultChanged = [&](TSakuraSeeker&) { ++changed; };
  seeker.OnAfterDetection = [&](TSakuraSeeker&) { ++after; };
  seeker.Detect();  // "" as before: no change
  fmo.SetBlock("Sakura", FakeBaseware::Block("a.name\x01" "A"));
  seeker.Detect();
  seeker.Detect();
  fmo.SetBlock("Sakura", FakeBaseware::Block("a.name\x01" "A", 0));
  EXPECT_THROW(seeker.Detect(), ESakuraSeekerError);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(after, 3);
}

}  // namespace
}  // namespace hollowmere
