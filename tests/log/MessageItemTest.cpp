// Log text parsing and header lookup.
#include <gtest/gtest.h>

#include "log/MessageItem.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

const std::string kHead = "Result: OK\r\nline two\r\nline three\r\n";

std::string Line(const std::string& stamp, const std::string& mid, const std::string& channel,
                 const std::string& ghost, const std::string& conn, const std::string& vote,
                 const std::string& agree, const std::string& script) {
  return stamp + "\t" + mid + "\t" + channel + "\t" + ghost + "\t" + conn + "\t" + vote + "\t" +
         agree + "\t" + script;
}

TEST(ParseLog, ReadsEveryFieldOfAMessageLine) {
  const std::string ghost = text::Sjis("さくら");
  const auto messages = ParseLog(
      kHead + Line("20040506070809", "m1", "ch", ghost, "3", "4", "12", "\\0\\s[0]hi\\e") + "\r\n");
  ASSERT_TRUE(messages);
  ASSERT_EQ(messages->size(), 1u);
  const TMessageItem& m = (*messages)[0];
  EXPECT_EQ(m.PostedAt, (TDateTime{2004, 5, 6, 7, 8, 9}));
  EXPECT_EQ(m.GhostName, ghost);
  EXPECT_EQ(m.Script, "\\0\\s[0]hi\\e");
  EXPECT_EQ(m.Headers, (std::vector<std::string>{"MID:m1", "Channel:ch", "Connection:3", "Vote:4",
                                                 "Agree:12"}));
  EXPECT_EQ(m.HeaderValue("Agree"), "12");
  EXPECT_EQ(m.HeaderValue("agree"), "");
}

TEST(ParseLog, KeepsEmptyFieldsIgnoresExtraFieldsAndStampTail) {
  const auto messages = ParseLog(kHead + Line("20040506070809XYZ", "", "", "", "", "", "", "") +
                                 "\tninth\n" + Line("20041231235959", "a", "b", "c", "d", "e", "f", "g"));
  ASSERT_TRUE(messages);
  ASSERT_EQ(messages->size(), 2u);
  const TMessageItem& first = (*messages)[0];
  EXPECT_EQ(first.PostedAt, (TDateTime{2004, 5, 6, 7, 8, 9}));
  EXPECT_EQ(first.Script, "");
  EXPECT_EQ(first.Headers[0], "MID:");
  EXPECT_EQ(first.HeaderValue("MID"), "");
  EXPECT_EQ((*messages)[1].Script, "g");
}

TEST(ParseLog, AScriptCutInsideACharacterKeepsTheNextMessage) {
  // The first script ends in the lead byte of a cut character.
  const auto messages = ParseLog(kHead + Line("20040506070809", "a", "b", "c", "d", "e", "f", "\\0\x82") + "\n" +
                                 Line("20041231235959", "a", "b", "c", "d", "e", "f", "g") + "\n");
  ASSERT_TRUE(messages);
  ASSERT_EQ(messages->size(), 2u);
  EXPECT_EQ((*messages)[0].Script, "\\0\x82");
  EXPECT_EQ((*messages)[1].Script, "g");
}

TEST(ParseLog, HeaderOnlyLogIsEmptyAndWrongFirstLineIsRejectedSilently) {
  const auto empty = ParseLog(kHead);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
  EXPECT_FALSE(ParseLog("Result: OK \r\na\r\nb\r\n"));
  EXPECT_FALSE(ParseLog("result: ok\r\na\r\nb\r\n"));
  EXPECT_FALSE(ParseLog("Result: Err\r\n"));
}

void ExpectLineError(const std::string& text, int lineNumber) {
  try {
    ParseLog(text);
    FAIL() << "accepted: " << text;
  } catch (const ELogFormatError& e) {
    const std::string needle = text::Sjis("ログの ") + std::to_string(lineNumber) + " ";
    EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
  }
}

TEST(ParseLog, MalformedLinesStopTheWholeParseNamingTheLine) {
  const std::string good = Line("20040506070809", "a", "b", "c", "d", "e", "f", "g");
  // Seven fields are one too few.
  ExpectLineError(kHead + good + "\r\n20040506070809\ta\tb\tc\td\te\tf", 5);
  ExpectLineError(kHead + Line("2004050607080", "a", "b", "c", "d", "e", "f", "g"), 4);
  for (const char* stamp : {"20041306070809", "20040506240000", "2004050607080x", "20040230000000",
                            "00000101000000", "20040506076009"}) {
    ExpectLineError(kHead + Line(stamp, "a", "b", "c", "d", "e", "f", "g"), 4);
  }
  // Two line breaks at the end leave an empty message line.
  ExpectLineError(kHead + good + "\r\n\r\n", 5);
  EXPECT_NO_THROW(ParseLog(kHead + good + "\r\n"));
  EXPECT_THROW(ParseLog(""), ELogFormatError);
  // Leap days exist only in leap years.
  EXPECT_NO_THROW(ParseLog(kHead + Line("20040229000000", "a", "b", "c", "d", "e", "f", "g")));
  ExpectLineError(kHead + Line("21000229000000", "a", "b", "c", "d", "e", "f", "g"), 4);
}

TEST(HeaderValue, SplitsAtTheFirstColonOnly) {
  TMessageItem m;
  m.Headers = {"Channel:a:b", "nocolon", "Vote:1", "Vote:2"};
  EXPECT_EQ(m.HeaderValue("Channel"), "a:b");
  EXPECT_EQ(m.HeaderValue("Vote"), "1");
  EXPECT_EQ(m.HeaderValue("Missing"), "");
}

}  // namespace
}  // namespace hollowmere
