// Surface tags, cache file names and paths, making the files, and the img
// markup that points at them.
#include "surfaces/SurfaceFiles.h"

#include <gtest/gtest.h>

#include <optional>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "support/FakeUi.h"
#include "support/TestPaths.h"
#include "surfaces/PluginProbe.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using testing::PluginProbe;
using testing::TempDir;
using testing::TestPluginDir;
using text::Sjis;

TEST(SurfaceTagTest, SecondByteDecides) {
  EXPECT_TRUE(IsSurfaceTag("\\s"));
  EXPECT_TRUE(IsSurfaceTag("\\s[10]"));
  EXPECT_TRUE(IsSurfaceTag("\\s5"));
  EXPECT_FALSE(IsSurfaceTag("\\"));
  EXPECT_FALSE(IsSurfaceTag("s"));
  EXPECT_FALSE(IsSurfaceTag(""));
  EXPECT_FALSE(IsSurfaceTag("\\_s"));
  EXPECT_FALSE(IsSurfaceTag("\\S5"));
}

TEST(SurfaceTagTest, NumbersOfSurfaceTags) {
  EXPECT_EQ(SurfaceNumber("\\s[10]"), 10);
  EXPECT_EQ(SurfaceNumber("\\s5"), 5);
  EXPECT_EQ(SurfaceNumber("\\s[-1]"), -1);
  EXPECT_EQ(SurfaceNumber("\\s[+3]"), 3);
  EXPECT_EQ(SurfaceNumber("\\s[  7]"), 7);
  EXPECT_EQ(SurfaceNumber("\\s[$1F]"), 31);
  EXPECT_EQ(SurfaceNumber("\\s[0x10]"), 16);
  EXPECT_EQ(SurfaceNumber("\\s[X10]"), 16);
  EXPECT_EQ(SurfaceNumber("\\s[-$10]"), -16);
  EXPECT_EQ(SurfaceNumber("\\s[007]"), 7);
  EXPECT_EQ(SurfaceNumber("\\s[2147483647]"), 2147483647);
  EXPECT_EQ(SurfaceNumber("\\s[-2147483648]"), -2147483647 - 1);
  EXPECT_EQ(SurfaceNumber("\\s[$FFFFFFFF]"), -1);
  EXPECT_EQ(SurfaceNumber("\\s[5"), 5);       // every "\s[" and "]" removed
  EXPECT_EQ(SurfaceNumber("\\s[1]\\s[2]"), 12);
}

// The renderer's question: the same number, or none where a message would
// have failed, also for forms read in place and forms that are not.
TEST(SurfaceTagTest, TryingGivesTheSameNumberOrNone) {
  const std::string tags[] = {
      "\\s[10]", "\\s5", "\\s[-1]", "\\s[  7]", "\\s[$1F]", "\\s[X10]", "\\s[2147483647]",
      "\\s[-2147483648]", "\\s[2147483648]", "\\s[-2147483649]", "\\s[99999999999999999999]",
      "\\s[$FFFFFFFF]", "\\s[$100000000]", "\\s[5", "\\s[1]\\s[2]", "\\s[1]2]", "\\s[\\s[5]",
      "\\s5\\s6", "\\s[]", "\\s[", "\\s", "\\s[abc]", "\\s]", "\\s[1 ]", "\\s[+]",
      "\\s[" + std::string("\x81") + "]", "\\s[1" + std::string("\x81") + "]", "\\s1" + std::string("\x81"),
      "\\s[0x7FFFFFFF]", "\\s[-0x80000000]", "\\sx1F",
  };
  for (const std::string& tag : tags) {
    std::optional<int32_t> thrown;
    bool raised = false;
    try {
      thrown = SurfaceNumber(tag);
    } catch (const EConvertError&) {
      raised = true;
    }
    EXPECT_EQ(TrySurfaceNumber(tag), raised ? std::nullopt : thrown) << tag;
  }
}

TEST(SurfaceTagTest, WhatIsLeftMustBeAnInteger) {
  const std::pair<const char*, const char*> cases[] = {
      {"\\s[abc]", "abc"},   {"\\s[]", ""},          {"\\s[1 ]", "1 "},
      {"\\s[1]x", "1x"},     {"\\S5", "\\S5"},       {"\\s5]", "5]"},
      {"\\s[2147483648]", "2147483648"}, {"\\s[$100000000]", "$100000000"},
      {"\\s[0x]", "0x"},     {"\\s[-]", "-"},        {"\\s[1.5]", "1.5"},
  };
  for (const auto& [tag, left] : cases) {
    try {
      SurfaceNumber(tag);
      ADD_FAILURE() << "no exception for " << tag;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + left + "' is not a valid integer value");
    }
  }
}

TEST(SurfaceFileNameTest, EveryReservedCharacterIsSpelledOut) {
  EXPECT_EQ(EscapeFileName("a\\b/c:d*e?f\"g<h>i|j"),
            "a_yen_b_slash_c_colon_d_asterisk_e_question_f_double-c_g_litler_h_larger_i_bar_j");
  EXPECT_EQ(EscapeFileName("A\\B"), "A_yen_B");
  EXPECT_EQ(EscapeFileName("Sakura 2.0 & co."), "Sakura 2.0 & co.");
}

TEST(SurfaceFileNameTest, SecondBytesOfDoubleByteCharactersStay) {
  const std::string so = Sjis("ソ");   // 83 5C
  const std::string hyo = Sjis("表");  // 95 5C
  const std::string po = Sjis("ポ");   // 83 7C
  ASSERT_EQ(so, "\x83\x5C");
  ASSERT_EQ(po, "\x83\x7C");
  EXPECT_EQ(EscapeFileName(so), so);
  EXPECT_EQ(EscapeFileName(hyo + po), hyo + po);
  EXPECT_EQ(EscapeFileName(so + "\\" + po + "|"), so + "_yen_" + po + "_bar_");
}

TEST(SurfaceFileNameTest, PathJoinsFolderNameAndNumber) {
  EXPECT_EQ(SurfaceFilePath("/c/", "A/B", 10), "/c/A_slash_B10.bmp");
  EXPECT_EQ(SurfaceFilePath("/c/", "X1", 0), SurfaceFilePath("/c/", "X", 10));
  EXPECT_EQ(SurfaceFilePath("/c/", "X", -2), "/c/X-2.bmp");
}

uint32_t Le32(const std::string& bytes, std::size_t at) {
  return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
         static_cast<uint8_t>(bytes[at + 2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

std::string ReadAll(const std::string& nativePath) {
  std::ifstream in(nativePath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class MakeSurfaceFileTest : public ::testing::Test {
 protected:
  testing::FakeProgressWindows windows;
  testing::FakeMessageBoxes boxes;
  TSppList list{true, windows, boxes};
  TempDir cache;
};

TEST_F(MakeSurfaceFileTest, WritesABmpOfThePicture) {
  PluginProbe probe("counting/counting.so");
  list.LoadFolder(TestPluginDir() + "counting/");
  MakeSurfaceFile(list, cache.path(), "Sakura", 3);

  const std::string path = SurfaceFilePath(cache.path(), "Sakura", 3);
  ASSERT_TRUE(FileExists(path));
  const std::string bmp = ReadAll(path);
  // The counting plugin paints 4 x 7: rows of 12 bytes after a 54-byte header.
  ASSERT_EQ(bmp.size(), 54u + 12u * 7u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(Le32(bmp, 18), 4u);  // width
  EXPECT_EQ(Le32(bmp, 22), 7u);  // height (bottom-up)
  EXPECT_EQ(bmp[28], 24);        // bits per pixel
  const std::size_t topRow = 54 + 12 * 6;
  EXPECT_EQ(bmp.substr(topRow, 6), std::string("\x03\x00\x00\x00\xC0\x00", 6));  // id, green
  EXPECT_EQ(probe.sizeCalls(), 1);
}

TEST_F(MakeSurfaceFileTest, JapaneseGhostNamesGiveReadableFileNames) {
  list.LoadFolder(TestPluginDir() + "counting/");
  const std::string ghost = Sjis("さくら");
  MakeSurfaceFile(list, cache.path(), ghost, 0);
  EXPECT_TRUE(FileExists(SurfaceFilePath(cache.path(), ghost, 0)));
  // On disk the name is the system's own (UTF-8) spelling.
  EXPECT_TRUE(std::filesystem::exists(cache.path() + "さくら0.bmp"));
}

TEST_F(MakeSurfaceFileTest, SurfaceMinusOneIsNeverMade) {
  PluginProbe probe("counting/counting.so");
  list.LoadFolder(TestPluginDir() + "counting/");
  MakeSurfaceFile(list, cache.path(), "Sakura", -1);
  EXPECT_TRUE(std::filesystem::is_empty(cache.path()));
  EXPECT_EQ(probe.sizeCalls(), 0);
  EXPECT_TRUE(list.ImageCache().empty());
}

TEST_F(MakeSurfaceFileTest, NoPictureNoFile) {
  PluginProbe probe("zero-size/zero-size.so");
  list.LoadFolder(TestPluginDir() + "zero-size/");
  MakeSurfaceFile(list, cache.path(), "Sakura", 2);
  MakeSurfaceFile(list, cache.path(), "Sakura", 2);  // a later message, same tag
  EXPECT_TRUE(std::filesystem::is_empty(cache.path()));
  EXPECT_EQ(probe.sizeCalls(), 1);

  TSppList none(true, windows, boxes);
  MakeSurfaceFile(none, cache.path(), "Sakura", 2);
  EXPECT_TRUE(std::filesystem::is_empty(cache.path()));
}

TEST_F(MakeSurfaceFileTest, UnwritableCacheFolderRaisesWithThePath) {
  list.LoadFolder(TestPluginDir() + "counting/");
  const std::string missing = cache.path() + "missing/";
  const std::string path = SurfaceFilePath(missing, "Sakura", 1);
  try {
    MakeSurfaceFile(list, missing, "Sakura", 1);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), Sjis("ファイル ") + path + Sjis(" を作成できません"));
  }
}

TEST(SurfaceImageTagTest, OrdinaryNamesStayByteForByte) {
  const std::string ghost = Sjis("さくら");
  EXPECT_EQ(SurfaceImageTag("/h/cache/", 3, ghost),
            "<img src=\"file:///h/cache/" + ghost + "3.bmp\" alt=\"" + ghost + "3\">");
  EXPECT_EQ(SurfaceImageTag("/h/cache/", 10, "A/B"),
            "<img src=\"file:///h/cache/A_slash_B10.bmp\" alt=\"A/B10\">");
  const std::string so = Sjis("ソ");
  EXPECT_EQ(SurfaceImageTag("/h/cache/", 0, so),
            "<img src=\"file:///h/cache/" + so + "0.bmp\" alt=\"" + so + "0\">");
}

TEST(SurfaceImageTagTest, SurfaceMinusOnePointsAtTheGeneralPicture) {
  EXPECT_EQ(SurfaceImageTag("/h/cache/", -1, "Sakura"),
            "<img src=\"file:///h/cache/General-1.bmp\" alt=\"Sakura-1\">");
}

TEST(SurfaceImageTagTest, HostileNamesCannotBreakTheMarkup) {
  EXPECT_EQ(SurfaceImageTag("/h/cache/", 1, "a\"b<c>&d"),
            "<img src=\"file:///h/cache/a_double-c_b_litler_c_larger_&amp;d1.bmp\""
            " alt=\"a&quot;b&lt;c&gt;&amp;d1\">");
  EXPECT_EQ(SurfaceImageTag("/h/c&\"<>/", -1, "x\" onerror=\"y"),
            "<img src=\"file:///h/c&amp;&quot;&lt;&gt;/General-1.bmp\""
            " alt=\"x&quot; onerror=&quot;y-1\">");
}

TEST(SurfaceImageTagTest, UrlSignificantCharactersInThePathAreEncoded) {
  EXPECT_EQ(SurfaceImageTag("/h/50%/", 2, "A#B"),
            "<img src=\"file:///h/50%25/A%23B2.bmp\" alt=\"A#B2\">");
}

TEST(SurfaceImageTagTest, RelativeCacheFolderBecomesAbsolute) {
  const std::string tag = SurfaceImageTag("cache/", 1, "S");
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(tag, "<img src=\"file://" + cwd + (cwd == "/" ? "" : "/") +
                     "cache/S1.bmp\" alt=\"S1\">");
}

}  // namespace
}  // namespace hollowmere
