// The sample plugin shipped in the program folder paints a real figure
// whose look follows the surface number and the ghost.
#include <gtest/gtest.h>

#include <set>

#include "platform/FileSystem.h"
#include "support/FakeUi.h"
#include "support/TestPaths.h"
#include "surfaces/SppList.h"
#include "surfaces/SurfaceFiles.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

class SamplePluginTest : public ::testing::Test {
 protected:
  void SetUp() override { list.LoadFolder(testing::TestPluginDir() + "sample/"); }

  Bitmap Surface(const std::string& ghost, int id) {
    Bitmap b;
    EXPECT_TRUE(list.GetSurface(ghost, id, b));
    return b;
  }

  static int Differences(const Bitmap& a, const Bitmap& b) {
    int n = 0;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x) n += a.Pixel(x, y) != b.Pixel(x, y);
    return n;
  }

  testing::FakeProgressWindows windows;
  testing::FakeMessageBoxes boxes;
  TSppList list{true, windows, boxes};
};

TEST_F(SamplePluginTest, ShipsInTheProgramFolder) {
  EXPECT_TRUE(FileExists(testing::DistDir() + "/plugins/spp-sample.so"));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(SamplePluginTest, PaintsAnOpaqueFigureWithManyColours) {
  const Bitmap b = Surface(text::Sjis("さくら"), 0);
  ASSERT_EQ(b.Width(), 96);
  ASSERT_EQ(b.Height(), 128);
  std::set<uint32_t> colours;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      colours.insert(b.Pixel(x, y));
      ASSERT_EQ(b.Pixel(x, y) >> 24, 0xFFu) << x << "," << y;
    }
  }
  EXPECT_GE(colours.size(), 8u);
}

TEST_F(SamplePluginTest, ExpressionCharacterAndGhostChangeThePicture) {
  const Bitmap smile = Surface("Sakura", 0);
  // Every expression differs from the smile around the eyes and mouth.
  for (int id = 1; id <= 9; ++id) EXPECT_GT(Differences(smile, Surface("Sakura", id)), 20) << id;
  // The partner (10 and up) has other hair, so a large area changes.
  EXPECT_GT(Differences(smile, Surface("Sakura", 10)), 1000);
  // Another ghost tints the background.
  EXPECT_NE(smile.Pixel(2, 2), Surface("Kero", 0).Pixel(2, 2));
}

TEST_F(SamplePluginTest, PictureSurvivesTheTripThroughTheCacheFolder) {
  testing::TempDir cache;
  MakeSurfaceFile(list, cache.path(), "Sakura", 10);
  EXPECT_TRUE(FileExists(cache.path() + "Sakura10.bmp"));
}

}  // namespace
}  // namespace hollowmere
