// The pattern files that ship beside the program: every tag the renderer
// looks at must come out whole, surface tags must carry a plain number, and
// the files must be CP932 text with CR LF line ends.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/TestPaths.h"
#include "script/SsParser.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using text::Sjis;

std::string DataFile(const std::string& name) {
  return hollowmere::testing::SourceDir() + "/data/" + name;
}

class ShippedPatterns : public ::testing::Test {
 protected:
  ShippedPatterns() {
    p.SetTagPattern(LoadPatternFile(DataFile("tagpat.txt")));
    p.SetMetaPattern(LoadPatternFile(DataFile("metapat.txt")));
  }
  // Kind and text of the first token of `script`, with the token count.
  void ExpectWhole(const std::string& markup, TSsMarkUpType kind) {
    SCOPED_TRACE(markup);
    p.SetInputString(markup + "x");
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p.MarkUpType(0), kind);
    EXPECT_EQ(p.Str(0), markup);
    EXPECT_EQ(p.Str(1), "x");
  }
  TSsParser p;
};

TEST_F(ShippedPatterns, EveryLineIsWellFormed) {
  // A backslash nothing recognises makes the parser try, and check, every line.
  p.SetInputString("\\~");
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(p.MarkUpType(0), mtUndefinedTag);
}

TEST_F(ShippedPatterns, TagsTheRendererComparesComeOutWhole) {
  for (const char* tag : {"\\0", "\\1", "\\h", "\\u", "\\n", "\\n[half]", "\\_s", "\\c",
                          "\\s[10]", "\\s[0]", "\\s[-1]", "\\s5",
                          "\\URL[http://w.x.y/d/p.html]",
                          "\\URL[http://x.y][Top page]",
                          "\\URL[http://a/][A][http://b/]",
                          "\\URL[http://a/][A][http://b/][B]"}) {
    ExpectWhole(tag, mtTag);
  }
}

TEST_F(ShippedPatterns, CommonTagsAreRecognised) {
  for (const char* tag :
       {"\\p[2]", "\\p3", "\\i[12]", "\\i[3,wait]", "\\w9", "\\_w[1500]", "\\__w[clear]",
        "\\n[150]", "\\_q", "\\e", "\\t", "\\x", "\\x[noclear]", "\\b[2]", "\\q[Yes,OnYes]",
        "\\q0[#temp0][Yes]", "\\q1[OnNo]", "\\__q[OnA]", "\\__q", "\\![raise,OnTest,a\\]b]",
        "\\_a[OnLink]", "\\_a", "\\_l[0,10]", "\\_v[a.wav]", "\\_V", "\\_b[a.png,0,0]",
        "\\f[color,255,0,0]", "\\__c", "\\-", "\\*", "\\c[char,2]", "\\_s[0,1]", "\\8[a.wav]",
        "\\j[http://a/]", "\\&[amp]", "\\_u[0x3042]"}) {
    ExpectWhole(tag, mtTag);
  }
}

TEST_F(ShippedPatterns, LongerFormsBeatTheirPrefixes) {
  p.SetInputString("\\n[half]\\n\\_s[0,1]\\_s\\URL[a][b]\\URL[c]");
  ASSERT_EQ(p.Count(), 6);
  EXPECT_EQ(p.Str(0), "\\n[half]");
  EXPECT_EQ(p.Str(1), "\\n");
  EXPECT_EQ(p.Str(2), "\\_s[0,1]");
  EXPECT_EQ(p.Str(3), "\\_s");
  EXPECT_EQ(p.Str(4), "\\URL[a][b]");
  EXPECT_EQ(p.Str(5), "\\URL[c]");
}

TEST_F(ShippedPatterns, OnlyNumberedSurfaceTagsAreTags) {
  // The renderer takes any tag whose second byte is "s" as a surface and
  // reads a number from it, so nothing else may come out as such a tag.
  p.SetInputString("\\s[smile]\\s[1x]\\s[]\\s");
  for (int i = 0; i < p.Count(); ++i) {
    const std::string s = p.Str(i);
    if (s.size() >= 2 && s[1] == 's') {
      EXPECT_NE(p.MarkUpType(i), mtTag) << s;
    }
  }
  EXPECT_EQ(p.MarkUpType(0), mtUndefinedTag);
  EXPECT_EQ(p.Str(0), "\\s");
}

TEST_F(ShippedPatterns, TrailByte5CNeverStartsATag) {
  const std::string text = Sjis("ソ") + "0" + Sjis("表") + "n" + Sjis("ソ") + "h";
  p.SetInputString(text);
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(p.MarkUpType(0), mtText);
  EXPECT_EQ(p.Str(0), text);
}

TEST_F(ShippedPatterns, RealScriptTokenizes) {
  const std::string script = "\\h\\s[0]" + Sjis("こんにちは") + "\\w9\\n\\u\\s[10]" +
                             Sjis("よう、%username") + "\\e";
  p.SetInputString(script);
  std::vector<std::string> strs;
  std::vector<TSsMarkUpType> kinds;
  for (int i = 0; i < p.Count(); ++i) {
    strs.push_back(p.Str(i));
    kinds.push_back(p.MarkUpType(i));
  }
  EXPECT_EQ(strs, (std::vector<std::string>{"\\h", "\\s[0]", Sjis("こんにちは"), "\\w9", "\\n",
                                            "\\u", "\\s[10]", Sjis("よう、"), "%username",
                                            "\\e"}));
  EXPECT_EQ(kinds, (std::vector<TSsMarkUpType>{mtTag, mtTag, mtText, mtTag, mtTag, mtTag, mtTag,
                                               mtText, mtMeta, mtTag}));
}

TEST_F(ShippedPatterns, TokensGiveTheScriptBackAtTheirOwnOffsets) {
  // With escapes kept and no percent rewritten, nothing is lost or moved: the
  // renderer relies on this when it re-tokenizes its own output.
  const std::string so = Sjis("ソ");
  for (const std::string& script :
       {"\\h" + so + "\\\\n%%usernam%%username\\q[x\\]" + so + "]\\", "\\s[-1\\%%\\" + so,
        "\\URL[a][b" + so + "\\_w[\\]", Sjis("表") + "\\!" + "\x82"}) {
    SCOPED_TRACE(script);
    p.SetInputString(script);
    std::string joined;
    for (int i = 0; i < p.Count(); ++i) {
      EXPECT_EQ(p.MarkUp(i).Position, static_cast<int32_t>(joined.size())) << i;
      joined += p.Str(i);
    }
    EXPECT_EQ(joined, script);
  }
}

TEST_F(ShippedPatterns, MetaVariablesComeOutWhole) {
  for (const char* meta : {"%username", "%selfname", "%selfname2", "%keroname", "%friendname",
                           "%month", "%day", "%hour", "%minute", "%second", "%screenwidth",
                           "%screenheight", "%exh", "%et", "%wronghour", "%ms", "%mz", "%ml",
                           "%mc", "%mh", "%mt", "%me", "%mp", "%m?", "%dms", "%lastghostname",
                           "%lastobjectname", "%charname(1)", "%property[system.year]"}) {
    ExpectWhole(meta, mtMeta);
  }
  // An unknown variable stays text, percent sign included.
  p.SetInputString("50%off");
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(p.Str(0), "50%off");
}

TEST(ShippedPatternFiles, AreCp932WithCrLfLineEnds) {
  for (const char* name : {"tagpat.txt", "metapat.txt"}) {
    SCOPED_TRACE(name);
    std::ifstream f(DataFile(name), std::ios::binary);
    ASSERT_TRUE(f) << "missing";
    const std::string bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(bytes.empty());
    EXPECT_NO_THROW(text::Cp932ToUtf8(bytes));
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n') {
        ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
      }
      if (bytes[i] == '\r') {
        ASSERT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << "bare CR at " << i;
      }
    }
  }
}

}  // namespace
}  // namespace hollowmere
