// Play links: writing one for a message and reading it back.
#include <gtest/gtest.h>

#include "ghost/PlayLink.h"
#include "text/Encoding.h"

namespace hollowmere {
namespace {

TMessageItem Message(std::string ghost, std::string channel, std::string script) {
  TMessageItem m;
  m.GhostName = std::move(ghost);
  m.Headers = {"MID:1", "Channel:" + channel, "Connection:2", "Vote:", "Agree:"};
  m.Script = std::move(script);
  return m;
}

TEST(PlayLink, RoundTripDropsTheFinalEndTag) {
  const TMessageItem m = Message("G", "C", "\\0\\s[0]Hello\\e");
  const std::string link = MakePlayLink(m);
  EXPECT_EQ(link, "http://messageofhlwmrplay/G,C,\\0\\s[0]Hello\\e,");

  const auto back = ParsePlayLink(link);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->GhostName, "G");
  EXPECT_EQ(back->Headers, std::vector<std::string>{"Channel:C"});
  EXPECT_EQ(back->HeaderValue("Channel"), "C");
  EXPECT_EQ(back->Script, "\\0\\s[0]Hello");

  // A view that reports the backslashes as slashes gives the same record.
  std::string slashed = link;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  const auto again = ParsePlayLink(slashed);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->GhostName, back->GhostName);
  EXPECT_EQ(again->Headers, back->Headers);
  EXPECT_EQ(again->Script, back->Script);
}

TEST(PlayLink, JapaneseFieldsSurviveWithTheirTrailBytes) {
  const std::string ghost = text::Sjis("ソフィア表");
  const std::string channel = text::Sjis("能楽堂");
  const std::string script = "\\h" + text::Sjis("表示できるソ") + "\\e";
  const auto back = ParsePlayLink(MakePlayLink(Message(ghost, channel, script)));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->GhostName, ghost);
  EXPECT_EQ(back->HeaderValue("Channel"), channel);
  EXPECT_EQ(back->Script, "\\h" + text::Sjis("表示できるソ"));
  // "ソ" followed by "e." is not an end tag and its dot.
  const std::string soE = text::Sjis("ソ") + "e";
  EXPECT_EQ(ParsePlayLink(MakePlayLink(Message(ghost, channel, soE)))->Script, soE + ".");
}

TEST(PlayLink, CommasBecomeDotsAndAScriptWithoutEndTagGainsOne) {
  EXPECT_EQ(ParsePlayLink(MakePlayLink(Message("G", "C", "\\0a,b\\e")))->Script, "\\0a.b");
  EXPECT_EQ(ParsePlayLink(MakePlayLink(Message("G", "C", "\\0hi")))->Script, "\\0hi.");
  EXPECT_EQ(ParsePlayLink("http://messageofhlwmrplay/G,C,")->Script, "");
}

TEST(PlayLink, PercentSequencesAreDecoded) {
  const auto m = ParsePlayLink("http://messageofhlwmrplay/%41x%zzy%00z,C,s");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->GhostName, "Axyz");
  EXPECT_EQ(m->Script, "s.");
}

TEST(PlayLink, ADecodedLineBreakNeverReachesTheScript) {
  // Decoded behind a lead byte cut from its character, a break still
  // separates, as a comma does; it never ends up inside the request.
  const auto m = ParsePlayLink("http://messageofhlwmrplay/G,C,\\0a%81%0Ab%81%0Dc,");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->Script, "\\0a\x81.b\x81.c.");
}

TEST(PlayLink, EmptyChannelAndEmptyScriptKeepTheirPlaces) {
  TMessageItem m;
  m.GhostName = "G";
  const std::string link = MakePlayLink(m);
  EXPECT_EQ(link, "http://messageofhlwmrplay/G,,,");
  const auto back = ParsePlayLink(link);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->GhostName, "G");
  EXPECT_EQ(back->HeaderValue("Channel"), "");
  EXPECT_EQ(back->Script, ".");
}

TEST(PlayLink, ALinkWithoutAChannelFieldMakesNoRecord) {
  EXPECT_FALSE(ParsePlayLink("http://messageofhlwmrplay/").has_value());
  EXPECT_FALSE(ParsePlayLink("http://messageofhlwmrplay/G").has_value());
  EXPECT_FALSE(ParsePlayLink("http://messageofhlwmrplay/G,").has_value());
}

}  // namespace
}  // namespace hollowmere
