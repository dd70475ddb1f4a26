// \URL links and line-break tidying.
#include <gtest/gtest.h>

#include "regex/bmRegExp.h"
#include "render/PostProcess.h"
#include "text/Encoding.h"
#include "text/Sjis.h"


namespace hollowmere {
namespace {

using text::Sjis;

TEST(UrlTagToHtml, MakesALinkWithShortDisplayText) {
  EXPECT_EQ(UrlTagToHtml("\\URL[http://w.x.y/d/p.html]"),
            "<a href=\"http://w.x.y/d/p.html\">p.html[x.y]</a><br>");
  EXPECT_EQ(UrlTagToHtml("\\URL[http://x.y][Top page]"),
            "<a href=\"http://x.y\">x.y</a><br>[Top page]<br>");
}

TEST(UrlTagToHtml, KeepsTitlesAndEveryLinkInOrder) {
  EXPECT_EQ(UrlTagToHtml("\\URL[http://a.b/c][T1][http://d.e][T2]"),
            "<a href=\"http://a.b/c\">c[a.b]</a><br>[T1]<br><a href=\"http://d.e\">d.e</a><br>[T2]<br>");
  // "ゾ" is 83 5D: its trail byte is not a closing bracket.
  const std::string title = Sjis("[ゾ]");
  EXPECT_EQ(UrlTagToHtml("\\URL[http://x.y]" + title), "<a href=\"http://x.y\">x.y</a><br>" + title + "<br>");
}

TEST(UrlTagToHtml, EscapesWhatTheLogCouldUseToBreakOutOfAnAttribute) {
  EXPECT_EQ(UrlTagToHtml("\\URL[http://x.y/a\"onclick=\"b]"),
            "<a href=\"http://x.y/a&quot;onclick=&quot;b\">a&quot;onclick=&quot;b[x.y]</a><br>");
  EXPECT_EQ(UrlTagToHtml("\\URL[http://x.y/?a=1&b=2][<i>]"),
            "<a href=\"http://x.y/?a=1&amp;b=2\">?a=1&amp;b=2[x.y]</a><br>[&lt;i&gt;]<br>");
  // Percent-decoded display text is escaped after decoding.
  EXPECT_EQ(UrlTagToHtml("\\URL[http://x.y/%3Cb%3E]"),
            "<a href=\"http://x.y/%3Cb%3E\">&lt;b&gt;[x.y]</a><br>");
}

TEST(UrlDisplayText, ShortensTheHostByItsLabelCount) {
  EXPECT_EQ(UrlDisplayText("http://v.w.x.y.z/q"), "q[x.y.z]");
  EXPECT_EQ(UrlDisplayText("http://w.x.y/q"), "q[x.y]");
  EXPECT_EQ(UrlDisplayText("http://x.y/q"), "q[x.y]");
  EXPECT_EQ(UrlDisplayText("http://x/q"), "q[x]");
  EXPECT_EQ(UrlDisplayText("http://x.y/"), "x.y");
  EXPECT_EQ(UrlDisplayText("http://x.y"), "x.y");
  EXPECT_EQ(UrlDisplayText("http://x.y/d/"), "d[x.y]");
  EXPECT_EQ(UrlDisplayText("http://x.y/%E3%81%82"), "\xE3\x81\x82[x.y]");
  // No host at all: shown as written.
  EXPECT_EQ(UrlDisplayText("http://"), "http://");
}

class BreakTidy : public ::testing::Test {
 protected:
  BreakTidy() { awk.SetLineSeparator(mcls_CRLF); }
  TAWKStr awk;
};

TEST_F(BreakTidy, LeadingBreakStripEmptiesOnlyFullWidthCells) {
  EXPECT_EQ(LeadingBreakStrip(awk, "<td width=\"100%\"><br><br>a</td>"), "<td width=\"100%\">a</td>");
  EXPECT_EQ(LeadingBreakStrip(awk, "<td><br>a</td>"), "<td><br>a</td>");
  EXPECT_EQ(LeadingBreakStrip(awk, "<td width=\"100%\">a<br></td>\r\n<td width=\"100%\"><br>b</td>\r\n"),
            "<td width=\"100%\">a<br></td>\r\n<td width=\"100%\">b</td>\r\n");
}

TEST_F(BreakTidy, BreakCollapseLeavesOneBreakOfEveryRun) {
  EXPECT_EQ(BreakCollapse(awk, "a<br><br><br>b<br>c"), "a<br>b<br>c");
  EXPECT_EQ(BreakCollapse(awk, "a<br>b"), "a<br>b");
  EXPECT_EQ(BreakCollapse(awk, "x<br><br>\r\n<br><br>y"), "x<br>\r\n<br>y");
}

TEST_F(BreakTidy, TheComponentCanBeSharedWithOtherPatterns) {
  // The two steps set their own pattern whatever the component held before.
  awk.SetRegExp("a");
  EXPECT_EQ(BreakCollapse(awk, "a<br><br>a"), "a<br>a");
  EXPECT_EQ(LeadingBreakStrip(awk, "<td width=\"100%\"><br>a"), "<td width=\"100%\">a");
  EXPECT_EQ(BreakCollapse(awk, "<br><br>"), "<br>");
}

}  // namespace
}  // namespace hollowmere
