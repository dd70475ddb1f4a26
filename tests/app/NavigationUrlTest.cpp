// The engine's reported link URLs back to the CP932 text a page wrote. The
// encoded inputs are what the web engine reported for links of a Shift_JIS
// page; the window test drives the same through the real view.
#include "app/NavigationUrl.h"

#include <gtest/gtest.h>

#include "text/Encoding.h"

namespace hollowmere {
namespace {

using text::Sjis;

TEST(NavigationUrl, PathJapaneseAndEscapedSymbolsComeBack) {
  EXPECT_EQ(NavigationUrlToPageText("http://messageofhlwmrplay/%E8%83%BD%E5%8A%9B,ch,/0%E4%BA%88"
                                    "%E5%AE%9A%20%22%3C%3E%60%7B%7D%7C%5E[]~%20end+x/e,"),
            Sjis("http://messageofhlwmrplay/能力,ch,/0予定 \"<>`{}|^[]~ end+x/e,"));
  // 0x5C trail bytes (ソ, 表) arrive as UTF-8 and go back as whole characters.
  EXPECT_EQ(NavigationUrlToPageText("file:///home/%E3%82%BD%E8%A1%A8/long0.html"),
            Sjis("file:///home/ソ表/long0.html"));
}

TEST(NavigationUrl, QueryHoldsShiftJisBytesFragmentUtf8) {
  // After "?" the engine escapes the page's own bytes, trail 0x5C included;
  // after "#" it is UTF-8 again, and a backslash is escaped, not turned.
  EXPECT_EQ(NavigationUrlToPageText(
                "http://messageofhlwmrplay/G,C,/0what?%83%5C%95%5C%20x#y%20%E3%82%BD%5Ce,"),
            Sjis("http://messageofhlwmrplay/G,C,/0what?ソ表 x#y ソ\\e,"));
  // A lead byte whose trail stayed a plain character.
  EXPECT_EQ(NavigationUrlToPageText("http://e.com/?q=%83A"), Sjis("http://e.com/?q=ア"));
}

TEST(NavigationUrl, PercentSignsThatStartNoEscapeSurviveTheDoubleEscaping) {
  // A stray "%" makes the URL class escape every "%" once more.
  EXPECT_EQ(NavigationUrlToPageText(
                "http://messageofhlwmrplay/%25E3%2582%25B4%25E3%2583%25BC%25E3%2582%25B9%25E3%2583"
                "%2588,ch,/0/s[0]%25E3%2582%25BD%2520100%25%2520A%2520/e,"),
            Sjis("http://messageofhlwmrplay/ゴースト,ch,/0/s[0]ソ 100% A /e,"));
  EXPECT_EQ(NavigationUrlToPageText(
                "http://messageofhlwmrplay/G,C,/0%2520%25zz%252541%2525%2520%25E8%25A1%25A8/e,"),
            Sjis("http://messageofhlwmrplay/G,C,/0 %zz%2541%25 表/e,"));
}

TEST(NavigationUrl, EscapesThePageWroteItselfAreKept) {
  // Decoded once here and once more by a later rule would lose a level.
  EXPECT_EQ(NavigationUrlToPageText("http://x/%2541%41%2F"), "http://x/%2541%41%2F");
  // Not CP932 text: the page could not have written it, so it stays escaped.
  EXPECT_EQ(NavigationUrlToPageText("http://x/%F0%9F%98%80a"), "http://x/%F0%9F%98%80a");
  // Broken UTF-8 likewise.
  EXPECT_EQ(NavigationUrlToPageText("http://x/%E3%82"), "http://x/%E3%82");
  EXPECT_EQ(NavigationUrlToPageText("mailto:someone@example.com"), "mailto:someone@example.com");
  EXPECT_EQ(NavigationUrlToPageText(""), "");
}

}  // namespace
}  // namespace hollowmere
