// Surface tags, cache file names and paths, making the files, and the img
// markup that points at them.
#include "surfaces/SurfaceFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <fstream>
#include <iterator>

#include "platform/FileSystem.h"
#include "support/FakeUi.h"
#include "support/TestPaths.h"
#include "surfaces/PluginProbe.h"
#include "surfaces/Sha256.h"
#include "surfaces/SppList.h"
#include "text/Encoding.h"
#include "text/Error.h"
#include "text/Sjis.h"

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

// Every name made of whole characters keeps the name the table gave it
// before, replacement after replacement, character-aware.
TEST(SurfaceFileNameTest, WellFormedNamesKeepTheirEarlierEscaping) {
  const auto before = [](std::string name) {
    static const char* const kTable[][2] = {
        {"\\", "_yen_"},     {"/", "_slash_"},    {":", "_colon_"},
        {"*", "_asterisk_"}, {"?", "_question_"}, {"\"", "_double-c_"},
        {"<", "_litler_"},   {">", "_larger_"},   {"|", "_bar_"},
    };
    for (const auto& [from, to] : kTable) name = text::ReplaceAll(name, from, to);
    return name;
  };
  std::mt19937 rng(31);
  const std::string ascii = "\\/:*?\"<>|aZ09 _-.~";
  for (int round = 0; round < 3000; ++round) {
    std::string name;
    const int chars = static_cast<int>(rng() % 12);
    for (int i = 0; i < chars; ++i) {
      switch (rng() % 3) {
        case 0: name += ascii[rng() % ascii.size()]; break;
        case 1: name += static_cast<char>(0xA1 + rng() % (0xDF - 0xA1 + 1)); break;  // half-width kana
        default: {
          const int lead = static_cast<int>(rng() % 60);
          name += static_cast<char>(lead < 31 ? 0x81 + lead : 0xE0 + (lead - 31));
          const int trail = static_cast<int>(rng() % 188);  // 0x40-0x7E, 0x80-0xFC
          name += static_cast<char>(trail < 63 ? 0x40 + trail : 0x80 + (trail - 63));
        }
      }
    }
    ASSERT_EQ(EscapeFileName(name), before(name)) << ::testing::PrintToString(name);
  }
}

TEST(SurfaceFileNameTest, LoneLeadBytesAndNulAreSpelledOutToo) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xE0/x", "\xE0_slash_x"},
      {"\x81:\x9F*", "\x81_colon_\x9F_asterisk_"},
      {"\x81\x7F/", "\x81\x7F_slash_"},      // 0x7F follows no lead byte
      {"\xFC\xFD?", "\xFC\xFD_question_"},  // nor does 0xFD
      {"\x81\x81/", "\x81\x81_slash_"},      // a whole character, then "/"
      {"a\x81", "a\x81"},                    // a lead byte that ends the name
      {std::string("Ghost0.bmp\0anything", 19), "Ghost0.bmp_nul_anything"},
      {std::string(2, '\0'), "_nul__nul_"},
  };
  for (const auto& [name, escaped] : cases) EXPECT_EQ(EscapeFileName(name), escaped) << name;
}

TEST(SurfaceFileNameTest, NamesThatFitKeepTheirFileNames) {
  EXPECT_EQ(SurfaceFileName(std::string(250, 'a'), 0), std::string(250, 'a') + "0.bmp");  // 255 bytes
  EXPECT_EQ(SurfaceFileName(std::string(240, 'a'), -2147483647 - 1), std::string(240, 'a') + "-2147483648.bmp");
  std::string kana;  // 83 characters, 249 bytes on disk
  for (int i = 0; i < 83; ++i) kana += Sjis("あ");
  EXPECT_EQ(SurfaceFileName(kana, 1), kana + "1.bmp");
  EXPECT_EQ(SurfaceFileName("A/B", 10), "A_slash_B10.bmp");
}

// A name too long for the file system is cut in whole characters and ends
// in a digest of the whole ghost name, so it is one bounded name still
// apart from every other.
TEST(SurfaceFileNameTest, LongNamesAreCutAndKeptApartByADigest) {
  std::string kana, kanaNext;
  for (int i = 0; i < 120; ++i) kana += Sjis("あ");
  kanaNext = kana + Sjis("い");
  const std::string names[] = {
      std::string(251, 'a'), std::string(1000, 'a'), std::string(1000, 'a') + "b", kana, kanaNext,
      std::string(200, '\xB1'), std::string(300, '\x80'), std::string(90, '/') + "x",
      Sjis("ソ") + std::string(300, '|'),
  };
  std::vector<std::string> seen;
  for (const std::string& ghost : names) {
    for (const int32_t number : {0, 7, -1, 2147483647, -2147483647 - 1}) {
      const std::string file = SurfaceFileName(ghost, number);
      SCOPED_TRACE(file);
      EXPECT_LE(NativePath(file).size(), 255u);
      EXPECT_EQ(file.find('/'), std::string::npos);
      EXPECT_EQ(file.find('\0'), std::string::npos);
      const std::string tail = std::to_string(number) + ".bmp";
      ASSERT_GT(file.size(), 33 + tail.size());
      const std::size_t tilde = file.size() - tail.size() - 33;
      EXPECT_EQ(file.substr(tilde), "~" + Sha256Hex(ghost, 16) + tail);
      EXPECT_EQ(EscapeFileName(ghost).compare(0, tilde, file, 0, tilde), 0);
      EXPECT_EQ(std::count(seen.begin(), seen.end(), file), 0);
      seen.push_back(file);
    }
  }
  // The cut never splits a double-byte character.
  const std::string cut = SurfaceFileName(kana, 0);
  EXPECT_EQ(cut.find('~') % 2, 0u);
}

TEST(Sha256Test, KnownDigests) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [input, hex] : cases) EXPECT_EQ(Sha256Hex(input), hex) << input.size();
  EXPECT_EQ(Sha256Hex("abc", 4), "ba7816bf");
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

TEST_F(MakeSurfaceFileTest, APictureThatCannotBeSavedIsNoPicture) {
  list.LoadFolder(TestPluginDir() + "counting/");
  const std::string missing = cache.path() + "missing/";
  const std::string path = SurfaceFilePath(missing, "Sakura", 1);
  setenv("HOLLOWMERE_TRACE", "1", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(MakeSurfaceFile(list, missing, "Sakura", 1));
  const std::string trace = ::testing::internal::GetCapturedStderr();
  unsetenv("HOLLOWMERE_TRACE");
  EXPECT_NE(trace.find("ファイル " + path + " を作成できません"), std::string::npos) << trace;
  EXPECT_FALSE(FileExists(missing));
}

// Names that once broke picture files: each gives one file of its own,
// directly in the cache folder, and no other ghost's picture is touched.
TEST_F(MakeSurfaceFileTest, HostileGhostNamesGiveOneFileEach) {
  list.LoadFolder(TestPluginDir() + "counting/");
  const std::string names[] = {
      "Ghost",
      std::string("Ghost0.bmp\0anything", 19),  // once cut short at the NUL onto Ghost's picture
      "\xE0/x",                                  // a lead byte that once hid the "/"
      std::string(251, 'a'),                     // once too long for the file system
      std::string(300, 'a') + "1",
      std::string(300, 'a') + "2",               // apart from the one before only after the cut
      [] { std::string s; for (int i = 0; i < 120; ++i) s += Sjis("あ"); return s; }(),
      std::string(200, '\xB1'),                  // half-width kana: three bytes each on disk
      std::string(100, '/') + std::string(100, '\0'),
  };
  for (const std::string& ghost : names) MakeSurfaceFile(list, cache.path(), ghost, 0);
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(cache.path())) {
    EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    EXPECT_LE(entry.path().filename().string().size(), 255u);
    ++files;
  }
  EXPECT_EQ(files, std::size(names));
  for (const std::string& ghost : names) EXPECT_TRUE(FileExists(SurfaceFilePath(cache.path(), ghost, 0)));
  // The counting plugin paints 1 + the ghost name's length rows: "Ghost"
  // keeps its own picture of 6 rows.
  EXPECT_EQ(Le32(ReadAll(cache.path() + "Ghost0.bmp"), 22), 6u);
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
  // A lead byte cut from its character hides no quote from the escaping.
  EXPECT_EQ(SurfaceImageTag("/h/\x81\"/", -1, "x\x81\" onerror=\x81\"y"),
            "<img src=\"file:///h/\x81&quot;/General-1.bmp\" alt=\"x\x81&quot; onerror=\x81&quot;y-1\">");
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
