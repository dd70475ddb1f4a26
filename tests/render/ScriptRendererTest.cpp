// One message's script as balloon HTML, in both layouts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "platform/Errors.h"
#include "render/RenderFixture.h"
#include "render/ScriptRenderer.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using namespace hollowmere::testing;
using text::Sjis;

class ScriptRendererTest : public ::testing::Test, public RenderFixture {
 protected:
  std::string Render(const std::string& script, bool emulation = true, const std::string& ghost = "G") {
    TScriptRenderer renderer(parser, awk, plugins, cache.path(), emulation);
    TMessageItem m;
    m.GhostName = ghost;
    m.Script = script;
    return renderer.RenderScript(m);
  }
};

TEST_F(ScriptRendererTest, PlainTextIsOneMainCharacterBalloon) {
  EXPECT_EQ(Render("hello"), Speaker0Emulation("hello", Img(0)));
  EXPECT_EQ(Render("hello", false), Speaker0Left("hello", Img(0)));
  // Text whose second character is "s" is not a surface tag.
  EXPECT_EQ(Render("Is it"), Speaker0Emulation("Is&ensp;it", Img(0)));
  EXPECT_EQ(Render(""), "");
}

TEST_F(ScriptRendererTest, WorkedExampleInBothLayouts) {
  const std::string script = "\\h\\s[0]" + Sjis("こんにちは") + "\\n\\u\\s[10]" + Sjis("よう") + "\\e";
  const std::string hello = Sjis("こんにちは") + "<br>";
  EXPECT_EQ(Render(script), Speaker0Emulation(hello, Img(0)) + Speaker1(Sjis("よう"), Img(10)));
  EXPECT_EQ(Render(script, false), Speaker0Left(hello, Img(0)) + Speaker1(Sjis("よう"), Img(10)));
}

TEST_F(ScriptRendererTest, SurfacesFollowTheSpeaker) {
  EXPECT_EQ(Render("\\h\\s[5]Hi\\u\\s[11]Yo"), Speaker0Emulation("Hi", Img(5)) + Speaker1("Yo", Img(11)));
  EXPECT_EQ(Render("\\u\\s[12]a\\h\\s3b\\ux"),
            Speaker1("a", Img(12)) + Speaker0Emulation("b", Img(3)) + Speaker1("x", Img(12)));
  EXPECT_EQ(Render("\\0\\s[-1]a", true, "H"),
            Speaker0Emulation("a", "<img src=\"file://" + cache.path() + "General-1.bmp\" alt=\"H-1\">"));
}

TEST_F(ScriptRendererTest, BreaksAreTidied) {
  EXPECT_EQ(Render("\\0\\s[0]a\\n\\nb"), Speaker0Emulation("a<br>b", Img(0)));
  EXPECT_EQ(Render("\\0\\n\\nb"), Speaker0Emulation("b", Img(0)));
  EXPECT_EQ(Render("\\0\\n\\nb", false), Speaker0Left("b", Img(0)));
  EXPECT_EQ(Render("\\0a\\n[half]b\\n"), Speaker0Emulation("a<br>b<br>", Img(0)));
  // Only the two break forms break; any other argument gives none.
  EXPECT_EQ(Render("\\0a\\n[100]b"), Speaker0Emulation("ab", Img(0)));
  // A segment of breaks alone draws nothing.
  EXPECT_EQ(Render("\\0a\\1\\n\\n\\0b"), Speaker0Emulation("a", Img(0)) + Speaker0Emulation("b", Img(0)));
}

TEST_F(ScriptRendererTest, ClearAndOtherTagsOnlySplitWhereTheyShould) {
  EXPECT_EQ(Render("\\0a\\cb"), Speaker0Emulation("a", Img(0)) + Speaker0Emulation("b", Img(0)));
  EXPECT_EQ(Render("\\0a\\w5b\\eb"), Speaker0Emulation("abb", Img(0)));
  // Unknown backslash sequences and undefined tags are shown as text.
  EXPECT_EQ(Render("\\0a\\zb"), Speaker0Emulation("a\\zb", Img(0)));
  EXPECT_EQ(Render("\\0\\x[1]"), Speaker0Emulation("\\x[1]", Img(0)));
}

TEST_F(ScriptRendererTest, SynchronizedSessionsShowBothCharacters) {
  const std::string sync = Sjis("シンクロナイズドセッション");
  const std::string script = "\\0\\s[3]\\_s\\s[7]both\\_s\\1x";
  EXPECT_EQ(Render(script),
            "<div align=\"center\"><table border=\"0\" summary=\"" + sync +
                "\"><tr bgcolor=\"#7FFFD4\"><td>" + Img(7) + "</td><td>both</td><td>" + Img(7) +
                "</td></tr></table></div>\r\n" + Speaker1("x", Img(7)));
  EXPECT_EQ(Render(script, false),
            "<div align=\"left\"><table border=\"0\" summary=\"" + sync +
                "\"><tr bgcolor=\"#7FFFD4\"><td>" + Img(7) + Img(7) + "</td><td width=\"100%\">both</td>"
                "</tr></table></div>\r\n" + Speaker1("x", Img(7)));
  // The centred cell has no width, so its leading break stays in emulation.
  const std::string kept = Render("\\0\\s[2]\\1\\s[11]\\_s\\nx\\_s");
  EXPECT_EQ(kept, "<div align=\"center\"><table border=\"0\" summary=\"" + sync +
                      "\"><tr bgcolor=\"#7FFFD4\"><td>" + Img(11) + "</td><td><br>x</td><td>" + Img(2) +
                      "</td></tr></table></div>\r\n");
}

// The markup around a text follows the state of its own balloon, however
// many states a message goes through and returns to.
TEST_F(ScriptRendererTest, EveryBalloonShowsTheStateItWasMadeIn) {
  std::string script = "\\0";
  std::string expected;
  const int surfaces[] = {1, 2, 3, 4, 5, 6, 1, 3, 6, 2};
  for (const int n : surfaces) {
    script += "\\s[" + std::to_string(n) + "]t" + std::to_string(n) + "\\1u\\0";
    expected += Speaker0Emulation("t" + std::to_string(n), Img(n)) + Speaker1("u", Img(10));
  }
  EXPECT_EQ(Render(script), expected);
  // Both characters, synchronized and not, in turn.
  EXPECT_EQ(Render("\\0\\s[1]a\\1\\s[11]b\\0c\\1d\\0\\s[2]e\\1f\\0\\s[1]g", false),
            Speaker0Left("a", Img(1)) + Speaker1("b", Img(11)) + Speaker0Left("c", Img(1)) + Speaker1("d", Img(11)) +
                Speaker0Left("e", Img(2)) + Speaker1("f", Img(11)) + Speaker0Left("g", Img(1)));
}

TEST_F(ScriptRendererTest, TextIsEscapedAndBackslashEscapesUndone) {
  EXPECT_EQ(Render("a b<c>'d\""), Speaker0Emulation("a&ensp;b&lsaquo;c&rsaquo;&rsquo;d&rdquo;", Img(0)));
  EXPECT_EQ(Render("a&b"), Speaker0Emulation("a&b", Img(0)));
  EXPECT_EQ(Render("\\0a\\\\b"), Speaker0Emulation("a\\b", Img(0)));
  EXPECT_EQ(Render("\\0100\\%"), Speaker0Emulation("100\\%", Img(0)));
  // Metas are shown as their text.
  EXPECT_EQ(Render("\\0%username!"), Speaker0Emulation("%username!", Img(0)));
}

TEST_F(ScriptRendererTest, TrailBytesNeverStartTags) {
  const std::string text = Sjis("ソ表能");  // 83 5C, 95 5C, 94 5C
  EXPECT_EQ(Render("\\1" + text + "\\n" + text), Speaker1(text + "<br>" + text, Img(10)));
  const std::string ghost = Sjis("ソフィア");
  EXPECT_EQ(Render("\\0\\s[4]x", true, ghost), Speaker0Emulation("x", Img(4, ghost)));
}

TEST_F(ScriptRendererTest, UrlTagsBecomeLinksInsideTheBalloon) {
  EXPECT_EQ(Render("\\0see\\URL[http://w.x.y/d/p.html][Top page]"),
            Speaker0Emulation("see<a href=\"http://w.x.y/d/p.html\">p.html[x.y]</a><br>[Top page]<br>", Img(0)));
  EXPECT_EQ(Render("\\0\\URL[http://x.y/\"><script>]"),
            Speaker0Emulation("<a href=\"http://x.y/&quot;&gt;&lt;script&gt;\">&quot;&gt;&lt;script&gt;[x.y]</a><br>",
                              Img(0)));
  // A backslash in a link would be read as a tag when the balloon text is
  // tokenized again, cutting the element inside its attribute.
  for (const char* tag : {"\\q[", "\\0", "\\n", "\\_s"}) {
    EXPECT_EQ(Render(std::string("\\0\\URL[http://x.y/") + tag + "z][T]"),
              Speaker0Emulation(std::string("<a href=\"http://x.y/&#92;") + (tag + 1) + "z\">&#92;" + (tag + 1) +
                                    "z[x.y]</a><br>[T]<br>",
                                Img(0)))
        << tag;
  }
}

TEST_F(ScriptRendererTest, NothingCarriesOverBetweenMessages) {
  TScriptRenderer renderer(parser, awk, plugins, cache.path(), true);
  TMessageItem first;
  first.GhostName = "G";
  first.Script = "\\1\\s[15]\\_sx";
  TMessageItem second;
  second.GhostName = "G";
  second.Script = "y";
  renderer.RenderScript(first);
  EXPECT_EQ(renderer.RenderScript(second), Speaker0Emulation("y", Img(0)));
}

// Segments go into their balloons from the tokens of the whole rebuilt
// script; a hook that takes nothing has each scanned again alone instead,
// which must give the same bytes: under the test lines and under lines whose
// brackets and digits read up to a segment's end, for fixed scripts and for
// scripts strung from pieces that end segments in every way.
TEST_F(ScriptRendererTest, SegmentsRenderAsIfScannedAgainAlone) {
  std::vector<std::string> scripts = {
      "plain", "\\s[\\s[\\s[", "\\_s[\\_s[\\_s[", "\\_s[a\\_s[b\\_s[a", "a\\nb\\nb\\n\\nc",
      "\\h\\s[0]x\\u\\s[10]y\\h\\s[0]x\\e", "\\URL[http://a/b][t]\\URL[http://a/b][t]", "x\\\\y\\%z",
      "\\![\\![", "x\\c\\cx\\c", "\\xab\\0c]", "\\y12\\0\\y3", "\\z[a\\0]b\\0\\z[", "\\v\\0]\\1",
  };
  const char* pieces[] = {"\\0", "\\1", "\\c", "\\_s", "\\s[2]", "\\n", "\\x", "\\y", "\\z[", "\\v", "]", "[",
                          "7", "\\\\", "\\", "%", "a", "\x83\x5c", "\x81", " ", "<br>"};
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    std::string script;
    for (int k = std::uniform_int_distribution<int>(0, 12)(rng); k > 0; --k) {
      script += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(rng)];
    }
    scripts.push_back(script);
  }
  std::vector<std::string> lines = parser.TagPattern();
  const std::vector<std::string> testLines = lines;
  lines.insert(lines.end(), {"\\x%c", "\\y%D", "\\z%b", "\\v%c]"});
  for (const std::vector<std::string>* tagLines : {&testLines, static_cast<const std::vector<std::string>*>(&lines)}) {
    parser.SetTagPattern(*tagLines);
    TScriptRenderer direct(parser, awk, plugins, cache.path(), true);
    TSsParser hooked = parser;
    hooked.OnParse = [](TSsParser&, std::string_view, int&, TSsMarkUpType&, std::string&) {};
    TScriptRenderer again(hooked, awk, plugins, cache.path(), true);
    for (const std::string& script : scripts) {
      TMessageItem m;
      m.GhostName = "G";
      m.Script = script;
      EXPECT_EQ(direct.RenderScript(m), again.RenderScript(m)) << ::testing::PrintToString(script);
    }
  }
}

// Pairs of backslashes in a balloon's text become one, whole characters
// only, whichever tokens the backslashes came from; a trail byte 0x5C pairs
// with nothing.
TEST_F(ScriptRendererTest, BackslashPairsHalveAcrossTokens) {
  const std::pair<std::string, std::string> cases[] = {
      {"\\0a\\\\\\\\b", "a\\\\b"},
      {"\\0a\\\\\\zb", "a\\\\zb"},
      {"\\0\\\\\\\\\\", "\\\\\\"},
      {"\\0" + Sjis("ソ") + "\\\\", Sjis("ソ") + "\\"},
      {"\\0" + Sjis("ソ") + "\\\\\\\\", Sjis("ソ") + "\\\\"},
      {"\\0\\\\%username", "\\%username"},
  };
  for (const auto& [script, text] : cases) EXPECT_EQ(Render(script), Speaker0Emulation(text, Img(0))) << script;
  // Without kept escapes the tokens are not the rebuilt text's own bytes;
  // the segments are scanned from a copy to the same effect.
  parser.LeaveEscape = false;
  EXPECT_EQ(Render("\\0a\\\\\\\\b\\1c\\\\%d"), Speaker0Emulation("a\\b", Img(0)) + Speaker1("c%d", Img(10)));
}

// The balloons are appended to a page whose earlier text the break tidying
// leaves as it is.
TEST_F(ScriptRendererTest, TidyingLeavesTheEarlierPageAlone) {
  TScriptRenderer renderer(parser, awk, plugins, cache.path(), true);
  TMessageItem m;
  m.GhostName = "G";
  m.Script = "\\0\\n\\na\\n\\nb";
  const std::string head = "<td width=\"100%\"><br><br>x<br><br>";
  std::string page = head;
  renderer.AppendRenderedScript(m, page);
  EXPECT_EQ(page, head + Speaker0Emulation("a<br>b", Img(0)));
}

// A surface tag whose number is no 32-bit integer is text, as "\s[smile]"
// (which no tag line takes) is; the message renders on.
TEST_F(ScriptRendererTest, ASurfaceNumberBeyondAnIntegerIsShownAsText) {
  const std::pair<std::string, std::string> cases[] = {
      {"\\0a\\s[2147483648]b", Speaker0Emulation("a\\s[2147483648]b", Img(0))},
      {"\\0a\\s[smile]b", Speaker0Emulation("a\\s[smile]b", Img(0))},
      {"\\0\\s[5]a\\s[-2147483649]b", Speaker0Emulation("a\\s[-2147483649]b", Img(5))},
      {"\\s[99999999999]x\\s[2]y", Speaker0Emulation("\\s[99999999999]x", Img(0)) + Speaker0Emulation("y", Img(2))},
      {"\\1\\s[4294967296]\\s[11]y", Speaker1("\\s[4294967296]", Img(10)) + Speaker1("y", Img(11))},
      {"\\0\\s[2147483647]a\\s[-2147483648]b",
       Speaker0Emulation("a", Img(2147483647)) + Speaker0Emulation("b", Img(-2147483647 - 1))},
  };
  for (const auto& [script, html] : cases) EXPECT_EQ(Render(script), html) << script;
  // Tag lines that take any bracket: whatever is no number is text.
  parser.SetTagPattern({"\\0", "\\s%b"});
  EXPECT_EQ(Render("\\0\\s[x]a\\s[]b\\s[3]c"), Speaker0Emulation("\\s[x]a\\s[]b", Img(0)) + Speaker0Emulation("c", Img(3)));
}

TEST_F(ScriptRendererTest, WithoutPluginsNoSurfaceFileIsMadeButTheMarkupStays) {
  EXPECT_EQ(Render("\\0\\s[5]a"), Speaker0Emulation("a", Img(5)));
  EXPECT_FALSE(std::filesystem::exists(cache.path() + "G5.bmp"));
}

// With a plugin that counts what it is asked.
class ScriptRendererWithPlugin : public ScriptRendererTest {
 protected:
  void SetUp() override {
    plugins.LoadFolder(TestPluginDir() + "counting/");
    ASSERT_EQ(plugins.Count(), 1u);
  }
  int Asked() {
    using Probe = int32_t (*)(const char*);
    const auto probe = reinterpret_cast<Probe>(plugins[0].Handle().Symbol("SppProbeCount"));
    return probe("image");
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(ScriptRendererWithPlugin, ASurfaceNumberBeyondAnIntegerAsksNoPlugin) {
  EXPECT_EQ(Render("\\0\\s[2147483648]a\\s[-9999999999]"), Speaker0Emulation("\\s[2147483648]a\\s[-9999999999]", Img(0)));
  EXPECT_EQ(Asked(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(cache.path()));
}

TEST_F(ScriptRendererWithPlugin, MissingSurfacePicturesAreMadeOnce) {
  EXPECT_EQ(Render("\\0\\s[3]a\\s[3]b\\1\\s[12]c"),
            Speaker0Emulation("a", Img(3)) + Speaker0Emulation("b", Img(3)) + Speaker1("c", Img(12)));
  EXPECT_EQ(Read(cache.path() + "G3.bmp").substr(0, 2), "BM");
  EXPECT_EQ(Read(cache.path() + "G12.bmp").substr(0, 2), "BM");
  // The starting surfaces are not fetched for their own sake.
  EXPECT_FALSE(std::filesystem::exists(cache.path() + "G0.bmp"));
  EXPECT_FALSE(std::filesystem::exists(cache.path() + "G10.bmp"));
  const int asked = Asked();
  EXPECT_EQ(asked, 2);
  Render("\\0\\s[3]again");
  EXPECT_EQ(Asked(), asked);
}

TEST_F(ScriptRendererWithPlugin, AnExistingFileIsNeverRefreshed) {
  { std::ofstream(cache.path() + "G4.bmp", std::ios::binary) << "mine"; }
  Render("\\0\\s[4]a");
  EXPECT_EQ(Read(cache.path() + "G4.bmp"), "mine");
  EXPECT_EQ(Asked(), 0);
  // Surface -1 points to the shared picture and is never made.
  Render("\\0\\s[-1]a");
  EXPECT_EQ(Asked(), 0);
  EXPECT_FALSE(std::filesystem::exists(cache.path() + "G-1.bmp"));
  EXPECT_FALSE(std::filesystem::exists(cache.path() + "General-1.bmp"));
}

}  // namespace
}  // namespace hollowmere
