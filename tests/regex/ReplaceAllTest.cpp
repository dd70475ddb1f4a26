// Replace-all: the page post-processing patterns, empty-match stepping under
// both line separators, anchors, replacement expansion and its errors.
#include <gtest/gtest.h>

#include "regex/RegExpTestSupport.h"

namespace hollowmere::regex_test {
namespace {

TEST(ReplaceAll, PagePostProcessingPatterns) {
  EXPECT_EQ(Replace("(<br>)+", "<br>", "a<br><br><br>b<br>c"), (Replaced{"a<br>b<br>c", 2}));
  EXPECT_EQ(Replace("(<br>)+", "<br>", "no breaks"), (Replaced{"no breaks", 0}));
  const std::string cell = "<td width=\"100%\">";
  EXPECT_EQ(Replace(cell + "((<br>)+)", cell, cell + "<br><br>a</td>\r\n<td><br>b</td>" + cell + "<br>c"),
            (Replaced{cell + "a</td>\r\n<td><br>b</td>" + cell + "c", 2}));
  // Japanese text beside the breaks is carried over byte for byte.
  const std::string jp = J("こんにちは、ソ表示");
  EXPECT_EQ(Replace("(<br>)+", "<br>", "<br><br>" + jp + "<br><br>"), (Replaced{"<br>" + jp + "<br>", 2}));
}

TEST(ReplaceAll, EmptyMatchesStepOverOneCharacter) {
  EXPECT_EQ(Replace("x*", "-", "ab"), (Replaced{"-a-b", 2}));
  // A non-empty match does not step, so an empty one follows it.
  EXPECT_EQ(Replace("x*", "-", "axb"), (Replaced{"-a--b", 3}));
  EXPECT_EQ(Replace("x*", "-", ""), (Replaced{"-", 1}));
  EXPECT_EQ(Replace("", "-", "ab"), (Replaced{"-a-b", 2}));
  // A double-byte character is never split.
  EXPECT_EQ(Replace("x*", "-", J("あい")), (Replaced{"-" + J("あ") + "-" + J("い"), 2}));
}

TEST(ReplaceAll, CrAndLfTravelTogetherUnderCrLf) {
  EXPECT_EQ(Replace("x*", "-", "a\r\nb", mcls_CRLF), (Replaced{"-a-\r\n-b", 3}));
  EXPECT_EQ(Replace("x*", "-", "a\r\nb", mcls_LF), (Replaced{"-a-\r-\n-b", 4}));
  // A CR before a double-byte character takes the whole character with it,
  // so nothing is inserted between its two bytes.
  EXPECT_EQ(Replace("x*", "-", "a\r" + J("あ"), mcls_CRLF), (Replaced{"-a-\r" + J("あ"), 2}));
}

TEST(ReplaceAll, LineAnchors) {
  EXPECT_EQ(Replace("^", ">", "a\nb"), (Replaced{">a\n>b", 2}));
  EXPECT_EQ(Replace("^", ">", "a\r\nb"), (Replaced{">a\r\n>b", 2}));
  EXPECT_EQ(Replace("^", ">", "a\n"), (Replaced{">a\n>", 2}));
  EXPECT_EQ(Replace("a$", "A", "xa\r\nya", mcls_CRLF), (Replaced{"xA\r\nyA", 2}));
  EXPECT_EQ(Replace("a$", "A", "xa\r\nya", mcls_LF), (Replaced{"xa\r\nyA", 1}));
  EXPECT_EQ(Replace("$", "<", "a\r\nb"), (Replaced{"a<\r\nb<", 2}));
  EXPECT_EQ(Replace("^a", "A", "aa\naa\r\na"), (Replaced{"Aa\nAa\r\nA", 3}));
  // After a match that does not end a line the rest is not a line start.
  EXPECT_EQ(Replace("^a", "A", "aaa"), (Replaced{"Aaa", 1}));
  EXPECT_EQ(Replace("^a|\n", "|", "a\na"), (Replaced{"|||", 3}));
}

TEST(ReplaceAll, ReplacementExpansion) {
  EXPECT_EQ(Replace("b+", "[&]", "abbc"), (Replaced{"a[bb]c", 1}));
  EXPECT_EQ(Replace("b", "&&", "abc"), (Replaced{"abbc", 1}));
  EXPECT_EQ(Replace("b", "\\&", "abc"), (Replaced{"a&c", 1}));
  EXPECT_EQ(TAWKStr::ExpandReplacement("<\\n\\t\\x41\\102>", "m"), "<\n\tAB>");
  EXPECT_EQ(TAWKStr::ExpandReplacement("\\x82A0", "m"), J("あ"));
  EXPECT_EQ(TAWKStr::ExpandReplacement("\\x1234", "m"), "\x34");
  EXPECT_EQ(TAWKStr::ExpandReplacement("\\q\\\\", "m"), "q\\");
  // A decoded ampersand is substituted like a written one.
  EXPECT_EQ(TAWKStr::ExpandReplacement("\\x26", "m"), "m");
  // The trail byte 5C of "ソ" does not escape the "&" after it.
  EXPECT_EQ(TAWKStr::ExpandReplacement(J("ソ") + "&", "m"), J("ソ") + "m");
  EXPECT_EQ(TAWKStr::ExpandReplacement(J("表示"), "m"), J("表示"));
}

TEST(ReplaceAll, ReplacementErrorsLeaveTheTextAsItWas) {
  TAWKStr re;
  re.SetRegExp("b");
  struct Case {
    const char* replacement;
    std::string message;
    int position;
  };
  for (const Case& c : {Case{"x\\", J("\"\\\"の次には文字が必要です。"), 3},
                        Case{"\\&\\x", J("不正な１６進数コード表記です。"), 5},
                        Case{"\\7777777", J("不正な８進数コード表記です。"), 8},
                        Case{"ab\x82", J("不正な２バイト文字コードです。"), 3}}) {
    std::string text = "abc";
    try {
      re.ReplaceAll(c.replacement, text);
      ADD_FAILURE() << "no error for " << c.replacement;
    } catch (const ERegExpParser& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.replacement;
      EXPECT_EQ(e.ErrorPosition, c.position) << c.replacement;
    }
    EXPECT_EQ(text, "abc");
  }
  // Without a match the replacement is never read.
  std::string text = "xyz";
  EXPECT_EQ(re.ReplaceAll("\\", text), 0);
  EXPECT_EQ(text, "xyz");
}

TEST(ReplaceAll, BytesAfterANulAreKept) {
  const std::string text("a<br><br>\0<br><br>", 18);
  EXPECT_EQ(Replace("(<br>)+", "<br>", text), (Replaced{std::string("a<br>\0<br><br>", 14), 1}));
  EXPECT_EQ(Replace("x*", "-", std::string("a\0b", 3)), (Replaced{std::string("-a\0b", 4), 1}));
  EXPECT_EQ(Replace("$", "<", std::string("a\0b", 3)), (Replaced{std::string("a<\0b", 4), 1}));
  EXPECT_EQ(Replace("x*", "-", std::string("\0b", 2)), (Replaced{std::string("-\0b", 3), 1}));
  // A NUL as the trail byte of a character whose lead could start a match,
  // with one byte or several that can start a match.
  for (const char* pattern : {"(亜|哀)", "(a|亜)"}) {
    const std::string cut = std::string("\x88\0", 2) + J("亜") + "a";
    EXPECT_EQ(Replace(J(pattern), "-", cut), (Replaced{cut, 0})) << pattern;
    EXPECT_EQ(Replace(J(pattern), "-", J("亜") + cut), (Replaced{"-" + cut, 1})) << pattern;
    EXPECT_EQ(Replace(J(pattern), "-", std::string(1, '\0') + J("亜")), (Replaced{std::string(1, '\0') + J("亜"), 0}));
  }
}

// Replacements are written over the text while they are no longer than
// their matches; a longer one, first or after shorter ones, and one that
// inserts the match, leave the same text. From an offset, the rest is a text
// of its own (its start a line start) and the bytes before it stay.
TEST(ReplaceAll, InPlaceAndFromAnOffset) {
  struct Case {
    const char* pattern;
    const char* replacement;
    std::string text;
    std::size_t from;
    std::string expected;
    int count;
  };
  const std::string cell = "<td width=\"100%\">";
  const Case cases[] = {
      {"b+", "X", "abbbcbd", 0, "aXcXd", 2},
      {"b+", "XX", "abbbcbd", 0, "aXXcXXd", 2},
      {"b+", "XX", "abcbbbd", 0, "aXXcXXd", 2},
      {"b+", "XXXX", "bbbbbbbbcb", 0, "XXXXcXXXX", 2},
      {"b+", "&&", "abbc", 0, "abbbbc", 1},
      {"(<br>)+", "<br>", "<br><br>|<br><br><br>x<br><br>", 9, "<br><br>|<br>x<br>", 2},
      {"(<br>)+", "<br>", std::string("x<br><br>\0<br><br>", 18), 1, std::string("x<br>\0<br><br>", 14), 1},
      {"(<br>)+", "<br>", "<br><br>", 8, "<br><br>", 0},
      {"(<br>)+", "<br>", "<br><br>", 20, "<br><br>", 0},
      {"x*", "-", "ab", 1, "a-b", 1},
      {"^", ">", "a\nb", 2, "a\n>b", 1},
      {"^b", ">", "ab\nb", 1, "a>\n>", 2},
      {"(<br>)+", "<br>", J("ソ表") + "<br><br>" + J("ソ"), 2, J("ソ表") + "<br>" + J("ソ"), 1},
  };
  for (const Case& c : cases) {
    TAWKStr re;
    re.SetRegExp(c.pattern);
    std::string text = c.text;
    EXPECT_EQ(re.ReplaceAll(c.replacement, text, c.from), c.count) << c.pattern << " on " << c.text;
    EXPECT_EQ(text, c.expected) << c.pattern << " on " << c.text;
  }
  // The page's two tidying steps over a page whose head is left alone.
  TAWKStr re;
  std::string page = cell + "<br><br>head" + cell + "<br>" + J("ソ") + "<br><br>" + cell + "<br><br>";
  const std::size_t from = cell.size() + 12;
  re.SetRegExp(cell + "((<br>)+)");
  EXPECT_EQ(re.ReplaceAll(cell, page, from), 2);
  re.SetRegExp("(<br>)+");
  EXPECT_EQ(re.ReplaceAll("<br>", page, from), 1);
  EXPECT_EQ(page, cell + "<br><br>head" + cell + J("ソ") + "<br>" + cell);
}

TEST(ReplaceAll, ReusedComponentAlternatesBetweenPatterns) {
  TAWKStr re;
  const std::string cell = "<td width=\"100%\">";
  std::string page = cell + "<br><br>a<br><br>b</td>";
  re.SetRegExp(cell + "((<br>)+)");
  EXPECT_EQ(re.ReplaceAll(cell, page), 1);
  re.SetRegExp("(<br>)+");
  EXPECT_EQ(re.ReplaceAll("<br>", page), 1);
  EXPECT_EQ(page, cell + "a<br>b</td>");
}

}  // namespace
}  // namespace hollowmere::regex_test
