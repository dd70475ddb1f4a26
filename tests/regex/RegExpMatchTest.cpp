// Searching: Shift_JIS characters as single characters, starts only on
// character boundaries, leftmost-longest results, and the line rules.
#include <gtest/gtest.h>

#include "regex/RegExpTestSupport.h"

namespace hollowmere::regex_test {
namespace {

TEST(RegExpShiftJis, DoubleByteCharactersAreOneCharacter) {
  const std::string a = J("あ");
  EXPECT_EQ(FindIn(".", a), (TMatch{0, 2}));
  EXPECT_EQ(FindIn("x.y", "x" + a + "y"), (TMatch{0, 4}));
  EXPECT_EQ(FindIn("x..y", "x" + a + "y"), std::nullopt);
  EXPECT_EQ(FindIn(J("[ぁ-ん]+"), J("カナひらがなカナ")), (TMatch{4, 12}));
  EXPECT_EQ(FindIn(J("[^ぁ-ん]+"), J("ひらカナ")), (TMatch{4, 8}));
  EXPECT_EQ(FindIn(J("(こん)+"), J("ここんこんに")), (TMatch{2, 10}));
  // A lead byte that ends the text is a one-byte character.
  EXPECT_EQ(FindIn("\\x82", "a\x82"), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("\\x82", "\x82\xA0"), std::nullopt);
}

TEST(RegExpShiftJis, TrailByte5CInPatternIsNoBackslash) {
  const std::string so = J("ソ");
  ASSERT_EQ(so, "\x83\x5C");
  EXPECT_EQ(FindIn(so + "n", "a" + so + "n"), (TMatch{1, 4}));
  EXPECT_EQ(FindIn(so + "n", so + "\n"), std::nullopt);
  EXPECT_EQ(FindIn(so + "+", so + so + "x"), (TMatch{0, 4}));
  EXPECT_EQ(FindIn("[" + so + "]n", so + "n"), (TMatch{0, 3}));
  EXPECT_EQ(FindIn("[a" + so + "]+", "a" + so + "\\"), (TMatch{0, 3}));
}

TEST(RegExpShiftJis, MatchesNeverStartOnATrailByte) {
  const std::string so = J("ソ");                    // 83 5C
  const std::string ideographicSpace = J("　");     // 81 40
  // One possible first byte (memchr path).
  EXPECT_EQ(FindIn("\\\\", so + "\\"), (TMatch{2, 3}));
  EXPECT_EQ(FindIn("@", ideographicSpace + "@"), (TMatch{2, 3}));
  // A literal prefix (substring search path).
  EXPECT_EQ(FindIn("@b", ideographicSpace + "b@b"), (TMatch{3, 5}));
  // Several first bytes (table path).
  EXPECT_EQ(FindIn("[@\\\\]", ideographicSpace + so + "\\"), (TMatch{4, 5}));
  // A double-byte literal seen misaligned after a run of lead-valued bytes:
  // 88 9F | 40 | 9F 40 holds "9F 40" at bytes 1 and 3; only 3 is a character.
  EXPECT_EQ(FindIn("\x9F\x40", "\x88\x9F\x40\x9F\x40"), (TMatch{3, 5}));
  // 88 9F 88 9F | 9F 40: an even run of lead values before the candidate.
  EXPECT_EQ(FindIn("\x9F\x40", "\x88\x9F\x88\x9F\x9F\x40"), (TMatch{4, 6}));
  EXPECT_EQ(FindIn("\x9F\x40", "\x88\x9F\x88\x9F\x9F\x9F"), std::nullopt);
}

TEST(RegExpMatch, LeftmostThenLongest) {
  EXPECT_EQ(FindIn("ab|abc", "abcd"), (TMatch{0, 3}));
  EXPECT_EQ(FindIn("b|abc", "abc"), (TMatch{0, 3}));
  EXPECT_EQ(FindIn("a*", "baa"), (TMatch{0, 0}));
  EXPECT_EQ(FindIn("a+", "baa"), (TMatch{1, 3}));
  EXPECT_EQ(FindIn("(a|ab)(c|bcd)", "abcd"), (TMatch{0, 4}));
  EXPECT_EQ(FindIn("x", ""), std::nullopt);
}

TEST(RegExpMatch, TextEndsAtItsFirstNul) {
  const std::string text("ab\0cd", 5);
  EXPECT_EQ(FindIn("c", text), std::nullopt);
  EXPECT_EQ(FindIn("b$", text), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("\\0", text), std::nullopt);
  EXPECT_EQ(FindIn("b\\0*", text), (TMatch{1, 2}));
}

TEST(RegExpMatch, LineTailMatchesBeforeTheSeparatorOrAtTheEnd) {
  TAWKStr re;
  re.SetRegExp("a$");
  EXPECT_EQ(re.Find("xa\r\nya"), (TMatch{1, 2}));
  EXPECT_EQ(re.Find("xa\nya"), (TMatch{4, 5}));  // CR LF: "$" stands before CR only
  re.SetLineSeparator(mcls_LF);
  EXPECT_EQ(re.Find("xa\r\nya"), (TMatch{5, 6}));
  EXPECT_EQ(re.Find("xa\nya"), (TMatch{1, 2}));

  re.SetRegExp("$");
  EXPECT_EQ(re.Find("ab"), (TMatch{2, 2}));
  EXPECT_EQ(re.Find(""), (TMatch{0, 0}));
}

TEST(RegExpMatch, LineHeadMatchesAtTextStartAndAfterLf) {
  TAWKStr re;
  re.SetRegExp("^b");
  EXPECT_EQ(re.Find("b"), (TMatch{0, 1}));
  EXPECT_EQ(re.Find("ab\rb\nb"), (TMatch{5, 6}));  // a lone CR starts no line
  re.SetRegExp("^");
  EXPECT_EQ(re.Find(""), (TMatch{0, 0}));
  re.SetRegExp("^a|abc");
  EXPECT_EQ(re.Find("abc"), (TMatch{0, 3}));  // the longer unanchored branch wins
  re.SetRegExp("^abc|a");
  EXPECT_EQ(re.Find("abc"), (TMatch{0, 3}));
  EXPECT_EQ(re.Find("xabc"), (TMatch{1, 2}));
  re.SetRegExp("^.*$");
  EXPECT_EQ(re.Find("ab\r\ncd"), (TMatch{0, 2}));
}

TEST(RegExpMatch, InnerStepsFollowTheAutomaton) {
  TAWKStr re;
  re.SetRegExp("^ab");
  // Without the line-head branch the start state cannot move.
  EXPECT_EQ(re.MatchLongest("ab", 0, re.StartState()), std::nullopt);
  EXPECT_EQ(re.MatchWithHead("ab", 0, re.StartState()), 2u);
  EXPECT_EQ(re.FindInLine("ab\nab", 0), (TMatch{3, 5}));
  EXPECT_EQ(re.FindAtLineStart("ab\nab", 0), (TMatch{0, 2}));
  EXPECT_EQ(re.FindAtLineStart("ab\nab", 3), (TMatch{3, 5}));
  re.SetRegExp("b+");
  EXPECT_EQ(re.FindPlain("abba", 0), (TMatch{1, 3}));
  EXPECT_EQ(re.FindPlain("abba", 2), (TMatch{2, 3}));
  EXPECT_EQ(re.FindPlain("abba", 3), std::nullopt);
}

}  // namespace
}  // namespace hollowmere::regex_test
