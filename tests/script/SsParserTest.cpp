// The tokenizer under small hand-made pattern lists: escapes, the pattern
// directives, the OnParse hook, lazy pattern checks, text-run positions,
// state after errors and index errors. Scripts are CP932 bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <utility>
#include <vector>

#include "support/TestPaths.h"
#include "script/SsParser.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

using text::Sjis;
using Tok = std::pair<TSsMarkUpType, std::string>;
using Toks = std::vector<Tok>;

Toks Tokens(const TSsParser& p) {
  Toks out;
  for (int i = 0; i < p.Count(); ++i) out.emplace_back(p.MarkUpType(i), p.Str(i));
  return out;
}

Toks Parse(TSsParser& p, std::string_view script) {
  p.SetInputString(script);
  return Tokens(p);
}

// Bytes a line takes at the start of `script` (which is NUL-terminated by
// std::string, as the matcher requires).
std::size_t Match(std::string_view line, const std::string& script) {
  return MatchPatternLine(line, script.c_str());
}

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESsParserError& e) {
    return e.what();
  }
  return "(no ESsParserError)";
}

class SsParserTest : public ::testing::Test {
 protected:
  SsParserTest() {
    p.SetTagPattern({"\\0", "\\n", "\\w%d", "\\q%b"});
    p.SetMetaPattern({"username", "selfname"});
  }
  TSsParser p;
};

TEST_F(SsParserTest, EmptyAndPlainScripts) {
  EXPECT_EQ(Parse(p, ""), Toks{});
  const std::string plain = Sjis("こんにちは world");
  EXPECT_EQ(Parse(p, plain), (Toks{{mtText, plain}}));
  EXPECT_EQ(p.MarkUp(0).Position, 0);
  EXPECT_EQ(p.Extra(0), "");
  // A second script replaces the tokens of the first.
  EXPECT_EQ(Parse(p, "\\0"), (Toks{{mtTag, "\\0"}}));
}

TEST_F(SsParserTest, MixedScriptSplitsIntoTokensWithOffsets) {
  EXPECT_EQ(Parse(p, "ab\\0cd%usernameef\\w5"),
            (Toks{{mtText, "ab"},
                  {mtTag, "\\0"},
                  {mtText, "cd"},
                  {mtMeta, "%username"},
                  {mtText, "ef"},
                  {mtTag, "\\w5"}}));
  const std::vector<int32_t> positions{0, 2, 4, 6, 15, 17};
  for (int i = 0; i < p.Count(); ++i) EXPECT_EQ(p.MarkUp(i).Position, positions[i]) << i;
}

TEST_F(SsParserTest, EscapesStayInTextAccordingToLeaveEscape) {
  EXPECT_EQ(Parse(p, "a\\\\b\\%c"), (Toks{{mtText, "a\\\\b\\%c"}}));
  // "\\0" is an escaped backslash then "0", never the tag "\0"; "\%username"
  // is no meta.
  EXPECT_EQ(Parse(p, "\\\\0\\%username"), (Toks{{mtText, "\\\\0\\%username"}}));
  p.LeaveEscape = false;
  EXPECT_EQ(Parse(p, "a\\\\b\\%c"), (Toks{{mtText, "a\\b%c"}}));
  EXPECT_EQ(Parse(p, "\\\\0\\%username"), (Toks{{mtText, "\\0%username"}}));
}

TEST_F(SsParserTest, TextRunPositionIsItsEndMinusItsLength) {
  // With escapes removed the run is shorter than the bytes it came from, and
  // its position is counted back from the tag that ends it.
  p.LeaveEscape = false;
  Parse(p, "a\\\\b\\0");
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(p.Str(0), "a\\b");
  EXPECT_EQ(p.MarkUp(0).Position, 1);
  EXPECT_EQ(p.MarkUp(1).Position, 4);
  // A run that ends the script counts back from the end.
  Parse(p, "\\0\\%\\%");
  EXPECT_EQ(p.Str(1), "%%");
  EXPECT_EQ(p.MarkUp(1).Position, 4);
}

TEST_F(SsParserTest, UnmatchedPercentSignStaysInTheRun) {
  EXPECT_EQ(Parse(p, "100% user%usern"), (Toks{{mtText, "100% user%usern"}}));
  p.EscapeInvalidMeta = true;
  EXPECT_EQ(Parse(p, "100% x%username"),
            (Toks{{mtText, "100\\% x"}, {mtMeta, "%username"}}));
  // The first meta line that matches wins, even when a longer one follows.
  EXPECT_EQ(Parse(p, "%usernames"), (Toks{{mtMeta, "%username"}, {mtText, "s"}}));
}

TEST_F(SsParserTest, UnrecognisedBackslashSequences) {
  const std::string a = Sjis("あ");
  EXPECT_EQ(Parse(p, "\\zq"), (Toks{{mtUndefinedTag, "\\z"}, {mtText, "q"}}));
  EXPECT_EQ(Parse(p, "\\" + a + "b"), (Toks{{mtUndefinedTag, "\\" + a}, {mtText, "b"}}));
  EXPECT_EQ(p.Extra(0), "");
  // A backslash ending the script stands alone; a lead byte ending it stays
  // one byte: no token ever picks up the terminating NUL.
  EXPECT_EQ(Parse(p, "x\\"), (Toks{{mtText, "x"}, {mtUndefinedTag, "\\"}}));
  EXPECT_EQ(Parse(p, "\\\x82"), (Toks{{mtUndefinedTag, "\\\x82"}}));
  EXPECT_EQ(Parse(p, "x\x82"), (Toks{{mtText, "x\x82"}}));
}

TEST_F(SsParserTest, TrailByte5CNeverStartsATag) {
  const std::string so = Sjis("ソ");
  const std::string hyo = Sjis("表");
  ASSERT_EQ(so, "\x83\x5C");
  ASSERT_EQ(hyo, "\x95\x5C");
  EXPECT_EQ(Parse(p, so + "n" + hyo + "0"), (Toks{{mtText, so + "n" + hyo + "0"}}));
  EXPECT_EQ(Parse(p, hyo + "\\n" + so + "\\0"),
            (Toks{{mtText, hyo}, {mtTag, "\\n"}, {mtText, so}, {mtTag, "\\0"}}));
  // Inside an unrecognised tag too: "\ソ" is one 3-byte token.
  EXPECT_EQ(Parse(p, "\\" + so + "n"), (Toks{{mtUndefinedTag, "\\" + so}, {mtText, "n"}}));
  // Far into a long run, after single bytes or after characters made of
  // two lead-byte values ("＝", 81 81).
  for (const std::string& unit : {std::string("a"), std::string("\x81\x81")}) {
    std::string before;
    for (int k = 0; k < 40; ++k, before += unit) {
      const std::string text = before + hyo + hyo + "n" + so;
      EXPECT_EQ(Parse(p, text + "\\0"), (Toks{{mtText, text}, {mtTag, "\\0"}})) << k;
    }
  }
}

TEST_F(SsParserTest, NulEndsTheScript) {
  EXPECT_EQ(Parse(p, std::string("ab\0\\0", 5)), (Toks{{mtText, "ab"}}));
}

TEST(SsParserOrder, FirstMatchingLineWinsNotTheLongest) {
  TSsParser p;
  p.SetTagPattern({"\\n", "\\n[half]"});
  EXPECT_EQ(Parse(p, "\\n[half]"), (Toks{{mtTag, "\\n"}, {mtText, "[half]"}}));
  p.SetTagPattern({"\\n[half]", "\\n"});
  EXPECT_EQ(Parse(p, "\\n[half]\\n"), (Toks{{mtTag, "\\n[half]"}, {mtTag, "\\n"}}));
  // Pattern bytes compare exactly, case included.
  EXPECT_EQ(Parse(p, "\\N"), (Toks{{mtUndefinedTag, "\\N"}}));
}

TEST(SsParserOrder, BangLinesClassTagsAsUndefined) {
  TSsParser p;
  p.SetTagPattern({"!x%b", "\\y%b"});
  EXPECT_EQ(Parse(p, "\\x[1]\\y[2]"), (Toks{{mtUndefinedTag, "\\x[1]"}, {mtTag, "\\y[2]"}}));
  EXPECT_EQ(p.Extra(0), "");
}

TEST(SsParserOrder, PatternListsAreCopiedAndEmptyLinesSkipped) {
  TSsParser p;
  std::vector<std::string> lines{"", "\\a", ""};
  p.SetTagPattern(lines);
  lines[1] = "\\b";
  EXPECT_EQ(p.TagPattern(), (std::vector<std::string>{"", "\\a", ""}));
  EXPECT_EQ(Parse(p, "\\a\\b"), (Toks{{mtTag, "\\a"}, {mtUndefinedTag, "\\b"}}));
  // A lone backslash line matches any backslash as a one-byte tag.
  p.SetTagPattern({"\\"});
  EXPECT_EQ(Parse(p, "\\zz"), (Toks{{mtTag, "\\"}, {mtText, "zz"}}));
}

TEST(PatternDirectives, BracketArgument) {
  EXPECT_EQ(Match("q%b", "q[a\\]b]x"), 7u);           // escaped "]" stays inside
  EXPECT_EQ(Match("q%b", "q[a\\\\]b]"), 6u);          // escaped backslash, then "]" closes
  EXPECT_EQ(Match("q%b", "q[\x83]]"), 5u);            // trail byte 0x5D ("ゾ") never closes
  EXPECT_EQ(Match("q%b", "q[\\\x83]]"), 6u);          // escaped double-byte character
  EXPECT_EQ(Match("q%b", "q[abc"), 0u);               // no closing bracket
  EXPECT_EQ(Match("q%b", "q[a\\"), 0u);               // escape cut off by the end
  EXPECT_EQ(Match("q%b", "qa]"), 0u);                 // must stand on "["
  EXPECT_EQ(Match("q%b%b", "q[1][2]"), 7u);
  EXPECT_EQ(Match("q%b%b", "q[1]x"), 0u);

  TSsParser p;
  p.SetTagPattern({"\\q%b"});
  EXPECT_EQ(Parse(p, "\\q[a\\]b]"), (Toks{{mtTag, "\\q[a\\]b]"}}));
  EXPECT_EQ(Parse(p, "\\q[ab"), (Toks{{mtUndefinedTag, "\\q"}, {mtText, "[ab"}}));
}

TEST(PatternDirectives, BracketContents) {
  EXPECT_EQ(Match("[%c]", "[abc]"), 5u);
  EXPECT_EQ(Match("[%c", "[abc"), 4u);                // runs to the end of the script
  EXPECT_EQ(Match("[%c", "[a\\]b]c"), 5u);            // stops before the unescaped "]"
  EXPECT_EQ(Match("[%c]", "[\x83]]"), 4u);            // trail byte "]" is no bracket
  EXPECT_EQ(Match("[%c", "[ab\\"), 4u);               // a final backslash is taken as it is
  EXPECT_EQ(Match("[%c]", "[]"), 0u);                 // takes at least one character
  EXPECT_EQ(Match("[%c", "["), 0u);
}

TEST(PatternDirectives, DigitsAndCharacters) {
  EXPECT_EQ(Match("w%d", "w12"), 2u);
  EXPECT_EQ(Match("w%d", "wx"), 0u);
  EXPECT_EQ(Match("s%D", "s1234x"), 5u);
  EXPECT_EQ(Match("s%D", "s"), 0u);
  EXPECT_EQ(Match("%D%d", "123"), 0u);  // %D never gives digits back
  EXPECT_EQ(Match("%D]", "12]"), 3u);
  const std::string a = Sjis("あ");
  EXPECT_EQ(Match("%.", a), 2u);
  EXPECT_EQ(Match("%.", "a"), 1u);
  EXPECT_EQ(Match("%.x", a + "x"), 3u);
  EXPECT_EQ(Match("%m", "a"), 1u);
  EXPECT_EQ(Match("%m", a), 0u);
  EXPECT_EQ(Match("%M", a), 2u);
  EXPECT_EQ(Match("%M", "ab"), 0u);
  EXPECT_EQ(Match("%M", "\x82"), 0u);  // a lead byte cut off by the end
}

TEST(PatternDirectives, PercentSigns) {
  EXPECT_EQ(Match("a%%b", "a%b"), 3u);
  EXPECT_EQ(Match("a%%b", "a%%b"), 0u);
  // "%" before an ordinary character: a percent sign, then that character.
  EXPECT_EQ(Match("a%xb", "a%xb"), 4u);
  EXPECT_EQ(Match("a%xb", "axb"), 0u);
  // "%" ending the line matches one percent sign.
  EXPECT_EQ(Match("a%", "a%z"), 2u);
  EXPECT_EQ(Match("a%", "az"), 0u);
  // Any directive at the end of the script fails.
  EXPECT_EQ(Match("a%d", "a"), 0u);
  EXPECT_EQ(Match("a%", "a"), 0u);
  EXPECT_EQ(Match("a%.", "a"), 0u);
  EXPECT_EQ(Match("ab", "a"), 0u);
}

TEST(SsParserHook, RecognisesTagsBeforeThePatterns) {
  TSsParser p;
  p.SetTagPattern({"\\a%d"});
  std::vector<std::string> seen;
  p.OnParse = [&](TSsParser& sender, std::string_view script, int& len, TSsMarkUpType& type,
                  std::string& extra) {
    EXPECT_EQ(&sender, &p);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(extra, "");
    seen.emplace_back(script);
    if (script.substr(0, 3) == "\\ab") {
      len = 3;
      type = mtTag;
      extra = "X";
    } else if (script.substr(0, 2) == "\\u") {
      len = 2;
      type = mtUndefinedTag;
    }
  };
  EXPECT_EQ(Parse(p, "\\ab\\a1\\u\\\\\\%"),
            (Toks{{mtTag, "\\ab"}, {mtTag, "\\a1"}, {mtUndefinedTag, "\\u"}, {mtText, "\\\\\\%"}}));
  EXPECT_EQ(p.Extra(0), "X");
  EXPECT_EQ(p.Extra(1), "");
  // Offered the rest of the script from each markup; never the escapes.
  EXPECT_EQ(seen, (std::vector<std::string>{"\\ab\\a1\\u\\\\\\%", "\\a1\\u\\\\\\%", "\\u\\\\\\%"}));
}

TEST(SsParserHook, MetaLengthIncludesThePercentSign) {
  TSsParser p;
  p.SetMetaPattern({"x"});
  p.OnParse = [](TSsParser&, std::string_view script, int& len, TSsMarkUpType& type,
                 std::string& extra) {
    extra = "E";
    type = mtMeta;
    if (script.substr(0, 4) == "%abc") len = 4;
    if (script.substr(0, 2) == "%x") len = 1;  // nothing after the sign: patterns decide
  };
  EXPECT_EQ(Parse(p, "%abcd%x%y"),
            (Toks{{mtMeta, "%abc"}, {mtText, "d"}, {mtMeta, "%x"}, {mtText, "%y"}}));
  EXPECT_EQ(p.Extra(0), "E");
  // The hook's extra output stays with a token the patterns recognised.
  EXPECT_EQ(p.Extra(2), "E");
}

TEST(SsParserHook, WrongKindIsAnError) {
  const std::string wrongType = Sjis("正しいエレメントタイプを返してください");
  TSsParser p;
  TSsMarkUpType answer = mtMeta;
  p.OnParse = [&](TSsParser&, std::string_view, int& len, TSsMarkUpType& type, std::string&) {
    len = 2;
    type = answer;
  };
  EXPECT_EQ(ErrorText([&] { p.SetInputString("\\a"); }), wrongType);
  answer = mtText;
  EXPECT_EQ(ErrorText([&] { p.SetInputString("%a"); }), wrongType);
  answer = mtTag;
  EXPECT_EQ(ErrorText([&] { p.SetInputString("%a"); }), wrongType);
  // A kind that does not fit is ignored when nothing is recognised.
  p.OnParse = [](TSsParser&, std::string_view, int& len, TSsMarkUpType& type, std::string&) {
    len = 0;
    type = mtText;
  };
  EXPECT_EQ(Parse(p, "\\a%a"), (Toks{{mtUndefinedTag, "\\a"}, {mtText, "%a"}}));
}

TEST(SsParserHook, OverlongLengthIsHeldToTheScript) {
  TSsParser p;
  p.OnParse = [](TSsParser&, std::string_view script, int& len, TSsMarkUpType& type,
                 std::string&) {
    len = 1000;
    type = script[0] == '%' ? mtMeta : mtTag;
  };
  EXPECT_EQ(Parse(p, "a\\bc"), (Toks{{mtText, "a"}, {mtTag, "\\bc"}}));
  EXPECT_EQ(Parse(p, "a%bc"), (Toks{{mtText, "a"}, {mtMeta, "%bc"}}));
}

TEST(SsParserErrors, FaultyTagLineIsReportedOnlyWhenReached) {
  const std::string third = Sjis("TagPattern表記ミス 3 行目");
  TSsParser p;
  p.SetTagPattern({"\\a", "\\b", "x"});
  EXPECT_NO_THROW(p.SetInputString("no tags %here"));
  EXPECT_NO_THROW(p.SetInputString("\\a\\b"));
  EXPECT_EQ(ErrorText([&] { p.SetInputString("\\c"); }), third);
  // Empty lines keep their place in the count.
  p.SetTagPattern({"", "\\a", "", "!b", "y"});
  EXPECT_EQ(ErrorText([&] { p.SetInputString("\\b\\c"); }), Sjis("TagPattern表記ミス 5 行目"));
}

TEST(SsParserErrors, TokensBeforeTheFaultStayAndTheNextScriptStartsAfresh) {
  TSsParser p;
  p.SetTagPattern({"\\0", "x"});
  EXPECT_THROW(p.SetInputString("\\0ab\\1cd"), ESsParserError);
  EXPECT_EQ(p.InputString(), "\\0ab\\1cd");
  // "ab" was still pending when the fault came, and is gone.
  EXPECT_EQ(Tokens(p), (Toks{{mtTag, "\\0"}}));
  EXPECT_EQ(Parse(p, "ef\\0"), (Toks{{mtText, "ef"}, {mtTag, "\\0"}}));
  EXPECT_EQ(p.MarkUp(0).Position, 0);
}

TEST(SsParserErrors, IndexOutOfRange) {
  const std::string outOfRange = Sjis("インデックスが範囲をこえています");
  TSsParser p;
  p.SetTagPattern({"\\0"});
  p.SetInputString("\\0a");
  ASSERT_EQ(p.Count(), 2);
  p.SetExtra(1, "<b>");
  EXPECT_EQ(p.Extra(1), "<b>");
  EXPECT_EQ(p.Str(2), "");
  EXPECT_EQ(p.Str(-1), "");
  EXPECT_EQ(p.Extra(2), "");
  EXPECT_EQ(ErrorText([&] { p.MarkUpType(2); }), outOfRange);
  EXPECT_EQ(ErrorText([&] { p.MarkUpType(-1); }), outOfRange);
  EXPECT_EQ(ErrorText([&] { p.SetExtra(2, "x"); }), outOfRange);
  EXPECT_EQ(ErrorText([&] { p.MarkUp(-1); }), outOfRange);
  p.ClearMarkUps();
  EXPECT_EQ(p.Count(), 0);
  EXPECT_EQ(ErrorText([&] { p.MarkUpType(0); }), outOfRange);
}

// Every token of a scan, with its position and extra text.
struct Seen {
  TSsMarkUpType type;
  std::string str;
  int32_t position;
  std::string extra;
  bool operator==(const Seen&) const = default;
};

class Collect : public ISsTokenSink {
 public:
  void Take(const TSsToken& t) override {
    seen.push_back({t.MarkUpType, std::string(t.Str), t.Position, std::string(t.Extra)});
    pieces.push_back(t.Str);
  }
  std::vector<Seen> seen;
  std::vector<std::string_view> pieces;
};

// A scan hands over the very tokens a parse keeps, under every escape
// setting and with a hook, from a copy or where the text lies, and leaves
// the parser's own script and tokens alone.
TEST(SsParserScan, HandsOverTheTokensAParseKeeps) {
  const std::string scripts[] = {"", "plain", "a\\0b\\n%username c", "\\\\\\%%x%", "\\q[a\\]b]\\q[", Sjis("ソ\\0表"),
                                 "\\", "a\\", "100%", "\\w5\\w\\zz", std::string("a\0\\0", 4), "\\ab\\\\%ab"};
  struct Setting {
    bool leaveEscape, escapeInvalidMeta, hook;
  };
  for (const Setting setting : {Setting{true, false, false}, Setting{false, false, false}, Setting{true, true, false},
                                Setting{false, true, true}}) {
    TSsParser p;
    p.SetTagPattern({"\\0", "\\n", "\\w%d", "\\q%b"});
    p.SetMetaPattern({"username"});
    p.LeaveEscape = setting.leaveEscape;
    p.EscapeInvalidMeta = setting.escapeInvalidMeta;
    if (setting.hook) {
      p.OnParse = [](TSsParser&, std::string_view script, int& len, TSsMarkUpType& type, std::string& extra) {
        if (script.substr(1, 1) == "a") {
          len = 2;
          type = script[0] == '%' ? mtMeta : mtTag;
          extra = "X";
        }
      };
    }
    for (const std::string& script : scripts) {
      const std::string what = ::testing::PrintToString(script) + " leave " + std::to_string(setting.leaveEscape);
      p.SetInputString(script);
      std::vector<Seen> parsed;
      for (int i = 0; i < p.Count(); ++i) {
        parsed.push_back({p.MarkUpType(i), p.Str(i), p.MarkUp(i).Position, p.Extra(i)});
      }
      p.SetInputString("\\0kept");
      TSsScanBuffers buffers;
      Collect copied;
      p.Scan(script, buffers, copied);
      EXPECT_EQ(copied.seen, parsed) << what;
      const std::string terminated = script + std::string(2, '\0');
      Collect inPlace;
      p.ScanTerminated(terminated.c_str(), buffers, inPlace);
      EXPECT_EQ(inPlace.seen, parsed) << what;
      EXPECT_EQ(p.InputString(), "\\0kept") << what;
      EXPECT_EQ(Tokens(p), (Toks{{mtTag, "\\0"}, {mtText, "kept"}})) << what;
      // Keeping the escapes, the tokens are the scanned text itself, one
      // stretch after another: nothing of it is copied.
      if (setting.leaveEscape && !setting.escapeInvalidMeta) {
        const char* at = terminated.c_str();
        for (const std::string_view piece : inPlace.pieces) {
          EXPECT_EQ(piece.data(), at) << what;
          at += piece.size();
        }
        EXPECT_EQ(*at, '\0') << what;
      }
    }
  }
}

TEST(LoadPatternFile, KeepsEmptyLinesUnderEveryLineEnd) {
  testing::TempDir dir;
  {
    std::ofstream f(dir.file("p.txt"), std::ios::binary);
    f << "\\a\r\n\r\n\\b\n \\c \r\\d\r\n";
  }
  EXPECT_EQ(LoadPatternFile(dir.file("p.txt")),
            (std::vector<std::string>{"\\a", "", "\\b", " \\c ", "\\d"}));
}

TEST(LoadPatternFile, UnreadableFileRaisesFileOpenError) {
  testing::TempDir dir;
  const std::string missing = dir.file("none.txt");
  try {
    LoadPatternFile(missing);
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.what(), Sjis("ファイル ") + missing + Sjis(" は開けません"));
  }
  EXPECT_THROW(LoadPatternFile(dir.path()), EFOpenError);
}

}  // namespace
}  // namespace hollowmere
