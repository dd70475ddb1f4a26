// Loading a shared library by path, finding its exports, releasing it.
#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include "support/TestPaths.h"

namespace hollowmere {
namespace {

using testing::TestPluginDir;

TEST(DynamicLibraryTest, LoadsFindsAndReleases) {
  DynamicLibrary lib;
  EXPECT_FALSE(lib.IsLoaded());
  ASSERT_TRUE(lib.Open(TestPluginDir() + "counting/counting.so")) << lib.LastError();
  EXPECT_TRUE(lib.IsLoaded());
  EXPECT_NE(lib.Symbol("GetVersion"), nullptr);
  EXPECT_EQ(lib.Symbol("NoSuchExport"), nullptr);
  EXPECT_TRUE(lib.Release());
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_EQ(lib.Symbol("GetVersion"), nullptr);
  EXPECT_TRUE(lib.Release());  // nothing held: nothing to refuse
}

TEST(DynamicLibraryTest, RefusedLoadsSayWhy) {
  DynamicLibrary lib;
  EXPECT_FALSE(lib.Open(TestPluginDir() + "no-such-folder/none.so"));
  EXPECT_FALSE(lib.LastError().empty());
  EXPECT_FALSE(lib.Open(TestPluginDir() + "broken/broken.so"));
  EXPECT_FALSE(lib.IsLoaded());
}

TEST(DynamicLibraryTest, MovingHandsTheLibraryOver) {
  DynamicLibrary a;
  ASSERT_TRUE(a.Open(TestPluginDir() + "counting/counting.so"));
  DynamicLibrary b(std::move(a));
  EXPECT_FALSE(a.IsLoaded());
  EXPECT_NE(b.Symbol("GetImage"), nullptr);
  DynamicLibrary c;
  c = std::move(b);
  EXPECT_FALSE(b.IsLoaded());
  EXPECT_NE(c.Symbol("GetImage"), nullptr);
}

TEST(DynamicLibraryTest, EachLibraryKeepsItsOwnExports) {
  DynamicLibrary first, second;
  ASSERT_TRUE(first.Open(TestPluginDir() + "pair/first.so"));
  ASSERT_TRUE(second.Open(TestPluginDir() + "pair/second.so"));
  EXPECT_NE(first.Symbol("GetImage"), second.Symbol("GetImage"));
}

}  // namespace
}  // namespace hollowmere
