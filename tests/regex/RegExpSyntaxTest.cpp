// Pattern language: error messages with their positions, classes, escapes,
// anchors, and the shape of the compiled automaton.
#include <gtest/gtest.h>

#include "regex/RegExpCompile.h"
#include "regex/RegExpTestSupport.h"
#include "text/Sjis.h"

namespace hollowmere::regex_test {
namespace {

using Err = std::pair<std::string, int>;

TEST(RegExpErrors, EachMalformedPatternGivesItsMessageAndPosition) {
  // Positions are 1-based: the byte after what the scanner had read.
  const std::string needPrimary = J("普通の文字、または左括弧\"(\"が必要です");
  EXPECT_EQ(ErrorOf("a**"), (Err{needPrimary, 4}));
  EXPECT_EQ(ErrorOf("a+?"), (Err{needPrimary, 4}));
  EXPECT_EQ(ErrorOf("*a"), (Err{needPrimary, 2}));
  EXPECT_EQ(ErrorOf("a]"), (Err{needPrimary, 3}));
  EXPECT_EQ(ErrorOf("(*)"), (Err{needPrimary, 3}));

  EXPECT_EQ(ErrorOf("a)"), (Err{J("正規表現に余分な文字があります"), 3}));
  EXPECT_EQ(ErrorOf("(a))b"), (Err{J("正規表現に余分な文字があります"), 5}));
  EXPECT_EQ(ErrorOf("(a"), (Err{J("右(閉じ)括弧が必要です"), 3}));
  EXPECT_EQ(ErrorOf("((a)|b"), (Err{J("右(閉じ)括弧が必要です"), 7}));

  const std::string needBracket = J("右ブラケット\"]\"が必要です");
  EXPECT_EQ(ErrorOf("["), (Err{needBracket, 2}));
  EXPECT_EQ(ErrorOf("[a"), (Err{needBracket, 3}));
  EXPECT_EQ(ErrorOf("[a-"), (Err{needBracket, 4}));
  EXPECT_EQ(ErrorOf("[^"), (Err{needBracket, 3}));
  EXPECT_EQ(ErrorOf("[ab"), (Err{needBracket, 4}));

  EXPECT_EQ(ErrorOf("[]"), (Err{J("不正なキャラクタクラス指定です。"), 3}));
  EXPECT_EQ(ErrorOf("[^]"), (Err{J("不正なキャラクタクラス指定です。"), 4}));
  EXPECT_EQ(ErrorOf("[b-a]"), (Err{J("不正なキャラクタ範囲です"), 5}));

  EXPECT_EQ(ErrorOf("ab\\"), (Err{J("\"\\\"の次には文字が必要です。"), 4}));
  EXPECT_EQ(ErrorOf("\\x"), (Err{J("不正な１６進数コード表記です。"), 3}));
  EXPECT_EQ(ErrorOf("a\\xg"), (Err{J("不正な１６進数コード表記です。"), 4}));
  EXPECT_EQ(ErrorOf("\\777777"), (Err{J("不正な８進数コード表記です。"), 8}));
  // A lone lead byte reports its own index.
  EXPECT_EQ(ErrorOf("ab\x82"), (Err{J("不正な２バイト文字コードです。"), 3}));
  EXPECT_EQ(ErrorOf("[\x82"), (Err{J("不正な２バイト文字コードです。"), 2}));
}

TEST(RegExpErrors, AreStdExceptionsCarryingTheBytes) {
  TAWKStr re;
  try {
    re.SetRegExp("(");
    FAIL() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), J("右(閉じ)括弧が必要です"));
  }
}

TEST(RegExpSyntax, EmptyPatternMatchesTheEmptyStringAtOnce) {
  EXPECT_EQ(FindIn("", "abc"), (TMatch{0, 0}));
  EXPECT_EQ(FindIn("", ""), (TMatch{0, 0}));
  EXPECT_EQ(FindIn("a|", "ba"), (TMatch{0, 0}));
  EXPECT_EQ(FindIn("()", "b"), (TMatch{0, 0}));
}

TEST(RegExpSyntax, PostfixOperatorsAndGroups) {
  EXPECT_EQ(FindIn("(<br>)+", "a<br><br>b"), (TMatch{1, 9}));
  EXPECT_EQ(FindIn("(<br>)+", "a<br<br>"), (TMatch{4, 8}));
  EXPECT_EQ(FindIn("ab?c", "xacx"), (TMatch{1, 3}));
  EXPECT_EQ(FindIn("ab*c", "abbbc"), (TMatch{0, 5}));
  EXPECT_EQ(FindIn("a(b|cd)*e", "zacdbcde"), (TMatch{1, 8}));
  EXPECT_EQ(FindIn("ab|abc", "abcd"), (TMatch{0, 3}));
  // The cell pattern: "%", "=", quotes, "<" and ">" are plain characters.
  const std::string cell = "<td width=\"100%\">((<br>)+)";
  EXPECT_EQ(FindIn(cell, "x<td width=\"100%\"><br><br>a"), (TMatch{1, 26}));
  EXPECT_EQ(FindIn(cell, "<td width=\"100%\">a<br>"), std::nullopt);
}

TEST(RegExpSyntax, ClassesTakeDashAndBracketLiterallyWhereTheyCannotBeOperators) {
  for (const char* p : {"[a-]", "[-a]"}) {
    EXPECT_EQ(FindIn(p, "x-"), (TMatch{1, 2})) << p;
    EXPECT_EQ(FindIn(p, "xa"), (TMatch{1, 2})) << p;
    EXPECT_EQ(FindIn(p, "b"), std::nullopt) << p;
  }
  EXPECT_EQ(FindIn("[\\]]", "a]"), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("[a\\-c]", "b-"), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("[.*(^]+", "x.*(^y"), (TMatch{1, 5}));
  EXPECT_EQ(FindIn("[0-9a-f]+", "xx3fz"), (TMatch{2, 4}));
  EXPECT_EQ(FindIn("[\\x41-\\x43]+", "ABCD"), (TMatch{0, 3}));
}

TEST(RegExpSyntax, NegatedClassAndDotNeverMatchLineBreaks) {
  EXPECT_EQ(FindIn("[^a]", "a\r\na"), std::nullopt);
  EXPECT_EQ(FindIn("[^a]", "a\nb"), (TMatch{2, 3}));
  EXPECT_EQ(FindIn("[^a-c]+", "abcdeb"), (TMatch{3, 5}));
  EXPECT_EQ(FindIn(".", "\r\n"), std::nullopt);
  EXPECT_EQ(FindIn(".+", "\nab\r"), (TMatch{1, 3}));
  // A negated class that leaves nothing compiles and never matches.
  EXPECT_EQ(FindIn("[^\\x01-\\xFFFF]", "a\r\n" + J("あ")), std::nullopt);
}

TEST(RegExpSyntax, EscapesGiveTheirCodes) {
  EXPECT_EQ(FindIn("\\x41", "zA"), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("\\x82A0", "z" + J("あ")), (TMatch{1, 3}));
  EXPECT_EQ(FindIn("\\x4142", "AB"), std::nullopt);  // one code, 0x4142, no such character
  EXPECT_EQ(FindIn("\\x41B", "AB"), std::nullopt);   // 0x41B: three digits read
  EXPECT_EQ(FindIn("\\x00041", "A"), std::nullopt);  // four digits: code 0x0004, then "1"
  EXPECT_EQ(FindIn("\\101\\t\\n\\r\\b", "A\t\n\r\b"), (TMatch{0, 5}));
  EXPECT_EQ(FindIn("\\.", "a."), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("\\d", "1d"), (TMatch{1, 2}));
  EXPECT_EQ(FindIn("\\\\", "a\\"), (TMatch{1, 2}));
  // Escapes of the reserved anchor codes compile and match nothing.
  EXPECT_EQ(FindIn("\\xFFFD|b", "ab"), (TMatch{1, 2}));
}

TEST(RegExpSyntax, AnchorsOnlyAtThePatternsEnds) {
  EXPECT_EQ(FindIn("a^", "xa^"), (TMatch{1, 3}));
  EXPECT_EQ(FindIn("a$b", "a$b"), (TMatch{0, 3}));
  EXPECT_EQ(FindIn("^a", "ba"), std::nullopt);
  EXPECT_EQ(FindIn("^a", "b\na"), (TMatch{2, 3}));
  // Under a star "^" is a plain character.
  EXPECT_EQ(FindIn("(^a)*x", "^a^ax"), (TMatch{0, 5}));
  // "+" anchors its first copy only.
  EXPECT_EQ(FindIn("(^a)+", "a^a^ab"), (TMatch{0, 5}));
  EXPECT_EQ(FindIn("(^a)+", "ba^a"), std::nullopt);
  // A top-level alternative may be anchored on its own.
  EXPECT_EQ(FindIn("x|^a", "ba\na"), (TMatch{3, 4}));
  EXPECT_EQ(FindIn("x|^a", "bax"), (TMatch{2, 3}));
}

TEST(RegExpCompile, AutomatonFlagsAndSortedDisjointTransitions) {
  struct Case {
    const char* pattern;
    bool head;
    bool tail;
  };
  for (const Case& c : {Case{"^a", true, false}, Case{"a$", false, true}, Case{"(^a)*", false, false},
                        Case{"a^|b$", false, true}, Case{"(^a|b)c", true, false}, Case{"^$", true, true}}) {
    TAWKStr re;
    re.SetRegExp(c.pattern);
    EXPECT_EQ(re.CurrentDFA().BeginsWithLineHead(), c.head) << c.pattern;
    EXPECT_EQ(re.CurrentDFA().EndsWithLineTail(), c.tail) << c.pattern;
    EXPECT_EQ(re.LineAware(), c.head || c.tail) << c.pattern;
  }

  TAWKStr re;
  re.SetRegExp("[a-z]x|[m-q]y|.z|[^k]w");
  for (const auto& state : re.CurrentDFA().States()) {
    for (std::size_t i = 1; i < state.transitions.size(); ++i) {
      EXPECT_GT(state.transitions[i].low, state.transitions[i - 1].high);
    }
  }
}

// The byte and double-byte lookup tables must agree with the sorted
// transition lists for every code a text can produce.
TEST(RegExpCompile, FastLookupAgreesWithTransitionLists) {
  for (const std::string& pattern :
       {std::string("[a-z]x|[m-q]y|.z|[^k]w"), J("[ぁ-ん]+|[^ア-ン]ソ|亜|\\x82A0-"), std::string("^a|\\x9F@|b$")}) {
    TAWKStr re;
    re.SetRegExp(pattern);
    const regex::TRE_DFA& dfa = re.CurrentDFA();
    for (int32_t s = 0; s < static_cast<int32_t>(dfa.StateCount()); ++s) {
      for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(dfa.NextOnByte(s, static_cast<unsigned char>(b)), dfa.Lookup(s, b)) << pattern << " " << b;
      }
      for (int32_t code = 0x8100; code <= 0xFCFF; ++code) {
        if (!text::IsLeadByte(static_cast<unsigned char>(code >> 8))) continue;
        ASSERT_EQ(dfa.NextOnDoubleByte(s, code), dfa.Lookup(s, code)) << pattern << " " << code;
      }
      EXPECT_EQ(dfa.NextOnLineHead(s), dfa.Lookup(s, 0xFFFD));
      EXPECT_EQ(dfa.HasLineTail(s), dfa.Lookup(s, 0xFFFE) >= 0);
    }
  }
}

}  // namespace
}  // namespace hollowmere::regex_test
