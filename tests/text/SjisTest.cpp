// Shift_JIS scanning and CP932 conversion.
#include <gtest/gtest.h>

#include <random>

#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere::text {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, BreaksAtEveryLineEndAndNotAfterTheLast) {
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("a"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitLines("\r\n"), Lines{""});
  // LF CR is two breaks, CR LF only one.
  EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));
}

TEST(SplitLines, KeepsTrailBytesThatLookLikeAsciiAndBreaksAfterACutCharacter) {
  // "ソ" is 83 5C; its second byte is not a backslash and nothing breaks there.
  EXPECT_EQ(SplitLines("\x83\x5C\r\n\x95\x5C"), (Lines{"\x83\x5C", "\x95\x5C"}));
  // A lead byte cut from its character does not take the break after it.
  EXPECT_EQ(SplitLines("a\x83\nb\x95\r\nc\x81\rd\x81"), (Lines{"a\x83", "b\x95", "c\x81", "d\x81"}));
}

// Long runs of every kind of break, mixed, against the rule read byte by
// byte: lines ended by lone CRs, LFs far apart, CR LF pairs cut by a lead byte.
TEST(SplitLines, AgreesWithAByteByByteReadingOfMixedBreaks) {
  const auto byHand = [](const std::string& t) {
    Lines lines;
    std::string line;
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i] != '\r' && t[i] != '\n') {
        line += t[i];
        continue;
      }
      lines.push_back(line);
      line.clear();
      if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
  };
  const std::vector<std::string> pieces = {"a", "\r", "\n", "\r\n", "\x83", "\x83\x5C", "\r\r", "bcd"};
  std::mt19937 rng(5);
  for (int round = 0; round < 500; ++round) {
    std::string t;
    for (int k = static_cast<int>(rng() % 200); k > 0; --k) t += pieces[rng() % pieces.size()];
    ASSERT_EQ(SplitLines(t), byHand(t)) << testing::PrintToString(t);
  }
}

TEST(Find, MatchesOnlyOnCharacterBoundaries) {
  const std::string so_backslash = "\x83\x5C\\n";  // "ソ" then a real "\n"
  EXPECT_EQ(Find(so_backslash, "\\"), 2u);
  EXPECT_EQ(Find("\x83\x5C", "\\"), std::string::npos);
  EXPECT_EQ(Find("abcabc", "c", 3), 5u);
  EXPECT_FALSE(Contains("\x95\x7C", "|"));  // 0x7C as a trail byte
  EXPECT_TRUE(Contains("x|", "|"));
}

// Reference: walk character starts one at a time.
std::size_t FindByWalking(std::string_view text, std::string_view needle) {
  for (std::size_t i = 0; i < text.size(); i += CharLength(text, i)) {
    if (text.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string::npos;
}

TEST(Find, AgreesWithACharacterWalkOnEveryAlignment) {
  EXPECT_FALSE(Contains("\x81<br><br>", "<br><br>"));
  EXPECT_TRUE(Contains("\x81\x81<br><br>", "<br><br>"));
  EXPECT_FALSE(Contains(Sjis("ソ") + "\\", "\\\\"));
  // Random texts over bytes that are leads, trails and needle pieces alike.
  std::mt19937 rng(7);
  const std::string alphabet = "\x81\xE0\x5C\x40<br>a";
  for (int round = 0; round < 20000; ++round) {
    std::string s(rng() % 14, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    for (const char* needle : {"<br><br>", "\\\\", "<br>", "\x81<"}) {
      ASSERT_EQ(Find(s, needle), FindByWalking(s, needle)) << ::testing::PrintToString(s);
    }
  }
}

TEST(ReplaceAll, ReplacesWholeCharactersLeftToRightWithoutRescanning) {
  EXPECT_EQ(ReplaceAll("\x83\x5C\\", "\\", "_yen_"), "\x83\x5C_yen_");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("\\\\\\", "\\\\", "\\"), "\\\\");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceFirst("a]b]", "]", ""), "ab]");
  EXPECT_EQ(ReplaceFirst("abc", "z", ""), "abc");
}

TEST(Encoding, OwnTextsBecomeExactCp932Bytes) {
  EXPECT_EQ(Sjis("ゴースト:"), "\x83\x53\x81\x5B\x83\x58\x83\x67\x3A");
  EXPECT_EQ(Sjis("ＭＳ 明朝"), "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9");
  EXPECT_EQ(Cp932ToUtf8("\x83\x5C\x95\x5C"), "ソ表");
  EXPECT_EQ(Utf8ToCp932("ascii only"), "ascii only");
}

TEST(Encoding, RejectsWhatDoesNotConvertUnlessLossy) {
  EXPECT_THROW(Cp932ToUtf8("\x81"), EEncodingError);        // lone lead byte
  EXPECT_THROW(Utf8ToCp932("\xF0\x9F\x98\x80"), EEncodingError);  // emoji has no CP932 form
  EXPECT_EQ(Cp932ToUtf8Lossy("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

}  // namespace
}  // namespace hollowmere::text
