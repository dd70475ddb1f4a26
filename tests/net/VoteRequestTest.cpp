// The vote and agree body encoding and the recovery of a message id whose
// capitals the web engine lowered. (The boxes a reply calls for are tested
// through the main window, tests/app/ServiceControllerTest.cpp.)
#include "net/VoteRequest.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "text/Encoding.h"
#include "text/Sjis.h"

namespace hollowmere {
namespace {

using text::Sjis;

TEST(VoteRequestTest, PercentEncodeEscapesExactlyTheListedBytes) {
  std::string escaped;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string out = PercentEncode(one);
    if (out != one) {
      ASSERT_EQ(out.size(), 3u) << b;
      ASSERT_EQ(out[0], '%');
      ASSERT_EQ(std::stoi(out.substr(1), nullptr, 16), b);
      ASSERT_EQ(out.substr(1), text::ReplaceAll(out.substr(1), "a", "A"));  // upper case
      escaped += one;
    }
  }
  std::string expected;
  for (int b = 0; b <= 0x20; ++b) expected += static_cast<char>(b);
  expected += "#%*+<>[]";
  for (int b = 0x81; b <= 0xFF; ++b) expected += static_cast<char>(b);
  std::string sortedExpected = expected;
  std::sort(sortedExpected.begin(), sortedExpected.end());
  std::sort(escaped.begin(), escaped.end());
  EXPECT_EQ(escaped, sortedExpected);
  EXPECT_EQ(PercentEncode(":/=&?a-Z~\"'!"), ":/=&?a-Z~\"'!");
  // Bytes, not characters: a trail byte in the printable range stays.
  EXPECT_EQ(PercentEncode(Sjis("ソあ")), "%83\\%82%A0");
  EXPECT_EQ(PercentEncode("MID: a1\r\n"), "MID:%20a1%0D%0A");
}

TEST(VoteRequestTest, TheCommandBodyOfAVoteAndAnAgree) {
  EXPECT_EQ(PercentEncode(text::JoinCrlf(VoteCommandLines("a1", "Vote", Sjis("ルイド#1")))),
            "Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20%83%8B%83C%83h%231%0D%0A"
            "MID:%20a1%0D%0A");
  EXPECT_EQ(PercentEncode(text::JoinCrlf(VoteCommandLines("AbC1", "Agree", "L"))),
            "Command:%20voteMessage%0D%0AVoteType:%20Agree%0D%0ALUID:%20L%0D%0AMID:%20AbC1%0D%0A");
}

TEST(VoteRequestTest, ShownIdsGiveBackTheCapitalsTheEngineLowered) {
  TShownMessageIds ids;
  for (const char* mid : {"AbC1", "abc1x", "XYZ", "xyz", "Q" /* and a lowered twin below */, "q9Z"}) ids.Add(mid);
  ids.Add("aBc1");  // same letters as AbC1: the first shown wins
  // A trail byte that is a letter is not a letter to fold.
  ids.Add(Sjis("ソA"));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc1", "AbC1"}, {"ABC1", "AbC1"}, {"aBc1", "aBc1"}, {"abc1x", "abc1x"},
      {"xyz", "xyz"},   {"XYZ", "XYZ"},   {"xYz", "XYZ"},   {"q9z", "q9Z"},
      {"nothing", "nothing"}, {"", ""}, {Sjis("ソa"), Sjis("ソA")},
      {std::string("\x83") + "a", std::string("\x83") + "a"},
  };
  for (const auto& [arrived, sent] : cases) EXPECT_EQ(ids.Recover(arrived), sent) << arrived;

  TShownMessageIds later;
  later.Add("NEW");
  ids.Merge(later);
  EXPECT_EQ(ids.Recover("new"), "NEW");
  EXPECT_EQ(ids.Recover("abc1"), "AbC1");
  ids.Clear();
  EXPECT_EQ(ids.Recover("abc1"), "abc1");
  EXPECT_EQ(ids.Size(), 0u);
}

}  // namespace
}  // namespace hollowmere
