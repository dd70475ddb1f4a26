// The plugin list: loading a folder (status window, failure boxes, what gets
// loaded and released), load order, and the picture cache in front of the
// plugins.
#include "surfaces/SppList.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "platform/FileSystem.h"
#include "support/FakeUi.h"
#include "support/TestPaths.h"
#include "surfaces/PluginProbe.h"
#include "text/Encoding.h"
#include "text/Error.h"

namespace hollowmere {
namespace {

using testing::FakeMessageBoxes;
using testing::FakeProgressWindows;
using testing::PluginProbe;
using testing::TempDir;
using testing::TestPluginDir;
using ::testing::ElementsAre;

std::string Status(const std::string& fileName) {
  return "status:" + text::Sjis("プラグイン") + fileName + text::Sjis("を読み込み中...");
}

std::string FailureBox(const std::string& message) {
  return text::Sjis("SPPプラグインロード失敗:") + "\r\n" + message;
}

class SppListTest : public ::testing::Test {
 protected:
  FakeProgressWindows windows;
  FakeMessageBoxes boxes;
  TSppList list{true, windows, boxes};
};

TEST_F(SppListTest, RefusesAListThatDoesNotOwnItsPlugins) {
  try {
    TSppList other(false, windows, boxes);
    FAIL() << "no exception";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "TSppList.OwnsObject must be set to true");
  }
}

TEST_F(SppListTest, FoldersWithoutPluginsLoadNothingQuietly) {
  TempDir empty;
  for (const std::string& folder : {empty.path(), empty.path() + "missing/", std::string()}) {
    windows.events.clear();
    list.LoadFolder(folder);
    EXPECT_EQ(list.Count(), 0u) << folder;
    EXPECT_THAT(windows.events, ElementsAre("create", "show", "close")) << folder;
  }
  EXPECT_TRUE(boxes.messages.empty());
}

struct FailingPlugin {
  std::string file;  // under the test plugin folder
  std::string message;
};

TEST_F(SppListTest, EachRejectedLibraryGetsOneBoxWithItsReason) {
  const std::string dir = TestPluginDir();
  const std::vector<FailingPlugin> cases = {
      {"broken/broken.so", "Error loading " + dir + "broken/broken.so"},
      {"no-getversion/no-getversion.so",
       dir + "no-getversion/no-getversion.so is not a valid SPP module"},
      {"version2/version2.so",
       "Module " + dir + "version2/version2.so returned unsupported version number(2)"},
      {"missing-export/missing-export.so", "Error Getting Procedure Address"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    windows.events.clear();
    boxes.messages.clear();
    list.LoadFolder(ExtractFilePath(dir + c.file));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_THAT(boxes.messages, ElementsAre(FailureBox(c.message)));
    EXPECT_THAT(windows.events,
                ElementsAre("create", "show", Status(ExtractFileName(c.file)), "close"));
    // Nothing of the rejected library stays loaded.
    EXPECT_FALSE(testing::LibraryIsLoaded(dir + c.file));
  }
}

// Files the loader would fault on (a cut copy: SIGBUS inside dlopen) or
// cannot use are reported like any library that does not load, the reason
// goes to the trace channel, and the next plugin loads.
TEST_F(SppListTest, CutAndForeignLibrariesAreReportedAndTheScanGoesOn) {
  TempDir folder;
  const std::string sample = testing::ReadFileBytes(testing::DistDir() + "/plugins/spp-sample.so");
  ASSERT_GT(sample.size(), 4000u);
  std::string foreign = sample;
  foreign[18] = static_cast<char>(foreign[18] == 62 ? 183 : 62);  // e_machine: x86-64 <-> AArch64
  foreign[19] = 0;
  const std::pair<std::string, std::string> rejected[] = {
      {"trunc.so", sample.substr(0, 4000)},
      {"cut.so", sample.substr(0, 13000)},  // inside the third loadable segment
      {"text.so", "not a library\n"},
      {"foreign.so", foreign},
  };
  for (const auto& [name, bytes] : rejected) testing::WriteFileBytes(folder.file(name), bytes);
  testing::WriteFileBytes(folder.file("whole.so"), sample);

  setenv("HOLLOWMERE_TRACE", "1", 1);
  ::testing::internal::CaptureStderr();
  list.LoadFolder(folder.path());
  const std::string trace = ::testing::internal::GetCapturedStderr();
  unsetenv("HOLLOWMERE_TRACE");

  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].FileName, folder.file("whole.so"));
  std::set<std::string> expected;
  for (const auto& [name, _] : rejected) {
    expected.insert(FailureBox("Error loading " + folder.file(name)));
    EXPECT_NE(trace.find("Error loading: " + folder.file(name) + ": "), std::string::npos) << trace;
  }
  EXPECT_EQ(std::set<std::string>(boxes.messages.begin(), boxes.messages.end()), expected);
  EXPECT_EQ(boxes.messages.size(), std::size(rejected));
  EXPECT_NE(trace.find("past the end of the file (4000 bytes)"), std::string::npos) << trace;
  EXPECT_NE(trace.find("built for machine"), std::string::npos) << trace;
}

TEST_F(SppListTest, RejectedLibrariesAreNeverStartedOrStopped) {
  for (const std::string file : {"version2/version2.so", "missing-export/missing-export.so"}) {
    PluginProbe probe(file);
    list.LoadFolder(ExtractFilePath(probe.path()));
    EXPECT_EQ(probe.loads(), 0) << file;
    EXPECT_EQ(probe.unloads(), 0) << file;
  }
}

TEST_F(SppListTest, ScanGoesOnPastFailuresAndSkipsWhatIsNoPlugin) {
  const std::string folder = TestPluginDir() + "mixed/";
  list.LoadFolder(folder);

  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].FileName, folder + "good.so");
  EXPECT_EQ(boxes.messages.size(), 4u);
  std::set<std::string> named;
  for (const auto& e : windows.events) named.insert(e);
  EXPECT_EQ(named, (std::set<std::string>{"create", "show", "close", Status("broken.so"),
                                          Status("good.so"), Status("missing-export.so"),
                                          Status("no-getversion.so"), Status("version2.so")}));
  EXPECT_EQ(windows.events.front(), "create");
  EXPECT_EQ(windows.events.back(), "close");
  // Status lines come in the order the folder lists its files.
  std::vector<std::string> expected = {"create", "show"};
  for (const auto& name : ListFiles(folder, ".so")) expected.push_back(Status(name));
  expected.push_back("close");
  EXPECT_EQ(windows.events, expected);
}

TEST_F(SppListTest, PluginIsStartedWithItsFolderAndStoppedOnReloadAndAtTheEnd) {
  PluginProbe probe("counting/counting.so");
  {
    TSppList own(true, windows, boxes);
    own.LoadFolder(TestPluginDir() + "counting");  // no trailing "/"
    ASSERT_EQ(own.Count(), 1u);
    EXPECT_EQ(own[0].FileName, probe.path());
    EXPECT_EQ(own[0].PluginName, "test plugin");
    EXPECT_TRUE(own[0].VersionFlag);
    EXPECT_EQ(probe.loads(), 1);
    EXPECT_EQ(probe.loadFolder(), TestPluginDir() + "counting/");

    own.LoadFolder(TestPluginDir() + "counting/");
    EXPECT_EQ(probe.unloads(), 1);
    EXPECT_EQ(probe.loads(), 2);
    EXPECT_EQ(own[0].FileName, probe.path());
  }
  EXPECT_EQ(probe.unloads(), 2);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(SppListTest, FirstLoadedPluginWins) {
  PluginProbe first("pair/first.so");
  PluginProbe second("pair/second.so");
  list.LoadFolder(TestPluginDir() + "pair/");
  ASSERT_EQ(list.Count(), 2u);
  // Load order is the folder's listing order.
  const auto names = ListFiles(TestPluginDir() + "pair/", ".so");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(list[0].FileName, TestPluginDir() + "pair/" + names[0]);
  EXPECT_EQ(list[1].FileName, TestPluginDir() + "pair/" + names[1]);

  Bitmap picture;
  ASSERT_TRUE(list.GetSurface("Sakura", 2, picture));
  const bool firstIsFirst = names[0] == "first.so";
  EXPECT_EQ(picture.Pixel(1, 1), firstIsFirst ? 0xFFFF0000u : 0xFF0000FFu);
  EXPECT_EQ((firstIsFirst ? second : first).sizeCalls(), 0);
}

TEST_F(SppListTest, LaterPluginAnswersWhenEarlierOnesHaveNothing) {
  PluginProbe fallback("counting/counting.so");
  for (const std::string file : {"no-picture/no-picture.so", "paint-fails/paint-fails.so",
                                 "zero-size/zero-size.so", "absurd-size/absurd-size.so"}) {
    SCOPED_TRACE(file);
    list.Clear();
    list.ClearCache();
    list.Add(std::make_unique<TSppPlugin>(TestPluginDir() + file));
    list.Add(std::make_unique<TSppPlugin>(fallback.path()));
    Bitmap picture;
    ASSERT_TRUE(list.GetSurface("too-wide", 4, picture));  // absurd-size: 16385 wide
    EXPECT_EQ(picture.Width(), 5);
    EXPECT_EQ(picture.Pixel(1, 0), 0xFF00C000u);  // the fallback's colour
  }
}

TEST_F(SppListTest, AbsurdPictureSizesCountAsNoPicture) {
  PluginProbe probe("absurd-size/absurd-size.so");
  list.LoadFolder(TestPluginDir() + "absurd-size/");
  ASSERT_EQ(list.Count(), 1u);
  for (const std::string ghost :
       {"negative", "zero-width", "zero-height", "too-wide", "too-tall", "enormous"}) {
    Bitmap picture(2, 2);
    EXPECT_FALSE(list.GetSurface(ghost, 1, picture)) << ghost;
    EXPECT_EQ(picture.Width(), 2) << ghost;  // target untouched
  }
  EXPECT_EQ(probe.imageCalls(), 0);  // never asked to paint
  Bitmap widest;
  ASSERT_TRUE(list.GetSurface("widest", 1, widest));
  EXPECT_EQ(widest.Width(), 16384);
  EXPECT_EQ(widest.Height(), 8);
}

TEST_F(SppListTest, ZeroByZeroPictureIsNoPictureAndIsRemembered) {
  PluginProbe probe("zero-size/zero-size.so");
  list.LoadFolder(TestPluginDir() + "zero-size/");
  Bitmap picture;
  EXPECT_FALSE(list.GetSurface("Sakura", 0, picture));
  EXPECT_TRUE(list.GetSurface("Sakura", 0, picture));
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(probe.sizeCalls(), 1);
  EXPECT_EQ(probe.imageCalls(), 0);
}

class CountingListTest : public SppListTest {
 protected:
  void SetUp() override { list.LoadFolder(TestPluginDir() + "counting/"); }
  PluginProbe probe{"counting/counting.so"};
};

TEST_F(CountingListTest, SecondRequestComesFromTheCacheAndMovesToTheFront) {
  Bitmap a;
  ASSERT_TRUE(list.GetSurface("Sakura", 3, a));
  EXPECT_EQ(a.Width(), 4);
  EXPECT_EQ(a.Height(), 7);
  EXPECT_EQ(a.Pixel(0, 0), 0xFF000003u);
  Bitmap other;
  ASSERT_TRUE(list.GetSurface("Sakura", 8, other));
  EXPECT_EQ(list.ImageCache().front()->SurfaceKey, "8,*");

  setenv("HOLLOWMERE_TRACE", "1", 1);
  ::testing::internal::CaptureStderr();
  Bitmap again;
  const bool hit = list.GetSurface("Sakura", 3, again);
  const std::string trace = ::testing::internal::GetCapturedStderr();
  unsetenv("HOLLOWMERE_TRACE");

  EXPECT_TRUE(hit);
  EXPECT_EQ(probe.sizeCalls(), 2);
  EXPECT_EQ(probe.imageCalls(), 2);
  EXPECT_EQ(again.Width(), 4);
  EXPECT_EQ(again.Pixel(0, 0), 0xFF000003u);
  EXPECT_EQ(trace, "Cache Used: Sakura3\n");
  ASSERT_EQ(list.ImageCache().size(), 2u);
  EXPECT_EQ(list.ImageCache().front()->SurfaceKey, "3,*");

  // The target is a copy: changing it leaves the cached picture alone.
  again.SetPixel(0, 0, 0);
  Bitmap third;
  list.GetSurface("Sakura", 3, third);
  EXPECT_EQ(third.Pixel(0, 0), 0xFF000003u);
}

TEST_F(CountingListTest, LeastRecentlyUsedPictureIsEvictedAtOneHundred) {
  Bitmap picture;
  for (int id = 0; id < 100; ++id) ASSERT_TRUE(list.GetSurface("Sakura", id, picture));
  EXPECT_EQ(list.ImageCache().size(), 100u);
  list.GetSurface("Sakura", 0, picture);  // 0 is now the most recent, 1 the least
  ASSERT_EQ(probe.sizeCalls(), 100);

  list.GetSurface("Sakura", 100, picture);
  EXPECT_EQ(list.ImageCache().size(), 100u);
  EXPECT_EQ(list.ImageCache().back()->SurfaceKey, "2,*");
  EXPECT_EQ(probe.sizeCalls(), 101);

  list.GetSurface("Sakura", 0, picture);
  EXPECT_EQ(probe.sizeCalls(), 101);  // still cached
  list.GetSurface("Sakura", 1, picture);
  EXPECT_EQ(probe.sizeCalls(), 102);  // was evicted
}

TEST_F(CountingListTest, GhostNamesAreCaseSensitive) {
  Bitmap upper, lower;
  ASSERT_TRUE(list.GetSurface("Sakura", 0, upper));
  ASSERT_TRUE(list.GetSurface("sakura", 0, lower));
  EXPECT_EQ(probe.sizeCalls(), 2);
  EXPECT_EQ(probe.lastGhost(), "sakura");
}

TEST_F(CountingListTest, NegativeIdNeverReachesAPluginAndLeavesAReadableEntry) {
  Bitmap picture(3, 3);
  EXPECT_FALSE(list.GetSurface("Sakura", -1, picture));
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(probe.sizeCalls(), 0);
  EXPECT_EQ(list.ImageCache().front()->SurfaceKey, "-1,*");

  // The "-1,*" entry must not break later requests for the same ghost.
  Bitmap five;
  EXPECT_TRUE(list.GetSurface("Sakura", 5, five));
  EXPECT_EQ(five.Width(), 6);
  Bitmap again(3, 3);
  EXPECT_TRUE(list.GetSurface("Sakura", -1, again));  // the remembered miss
  EXPECT_TRUE(again.Empty());
  EXPECT_EQ(probe.negativeIds(), 0);
}

TEST_F(CountingListTest, MissIsRememberedUntilTheNextLoad) {
  Bitmap picture(3, 3);
  EXPECT_FALSE(list.GetSurface("nobody", 1, picture));
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_TRUE(list.GetSurface("nobody", 1, picture));
  EXPECT_TRUE(picture.Empty());
  EXPECT_EQ(probe.sizeCalls(), 1);

  list.LoadFolder(TestPluginDir() + "counting/");
  EXPECT_TRUE(list.ImageCache().empty());
  Bitmap fresh;
  EXPECT_FALSE(list.GetSurface("nobody", 1, fresh));
  EXPECT_EQ(probe.sizeCalls(), 2);
}

}  // namespace
}  // namespace hollowmere
