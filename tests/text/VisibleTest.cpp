// Outside texts on their way to the user: control bytes shown in caret
// notation and never obeyed, Japanese characters whole, long texts cut at a
// character.
#include "text/Visible.h"

#include <gtest/gtest.h>

#include "text/Encoding.h"

namespace hollowmere::text {
namespace {

TEST(VisibleTest, ControlBytesShowAndCharactersStayWhole) {
  const std::string so = Sjis("ソ");  // its second byte is 0x5C
  struct Case {
    const char* name;
    std::string in;
    std::string status;  // one-line places
    std::string box;     // places that keep line breaks
  };
  const std::vector<Case> cases = {
      {"plain", "HTTP/1.1 500 Oops", "HTTP/1.1 500 Oops", "HTTP/1.1 500 Oops"},
      {"terminal commands", "500 \x1b[2J\x1b]0;owned\x07", "500 ^[[2J^[]0;owned^G", "500 ^[[2J^[]0;owned^G"},
      {"NUL, tab, DEL, unit separator", std::string("a\0b\tc\x7f\x1f", 7), "a^@b^Ic^?^_", "a^@b^Ic^?^_"},
      {"line breaks", "one\r\ntwo\rthree\n", "one^M^Jtwo^Mthree^J", "one\r\ntwo\rthree\n"},
      {"double-byte characters pass whole", so + Sjis("メンテナンス中です"), so + Sjis("メンテナンス中です"),
       so + Sjis("メンテナンス中です")},
      {"a lead byte without its trail hides no ESC", "\x81\x1b[2J", "\x81^[[2J", "\x81^[[2J"},
      {"a lead byte at the end", "x\x81", "x\x81", "x\x81"},
      {"single bytes above 0x7F are no controls here", "\x80\xa0\xfd\xff", "\x80\xa0\xfd\xff", "\x80\xa0\xfd\xff"},
      {"empty", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VisibleControls(c.in, LineBreaks::Show), c.status);
    EXPECT_EQ(VisibleControls(c.in, LineBreaks::Keep), c.box);
  }
}

TEST(VisibleTest, CutCountsCharactersNotBytes) {
  const std::string ellipsis = Sjis("…");
  struct Case {
    std::string in;
    std::size_t limit;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"abcdef", 6, "abcdef"},
      {"abcdefg", 6, "abcdef" + ellipsis},
      {Sjis("メンテナンス中です"), 9, Sjis("メンテナンス中です")},
      {Sjis("メンテナンス中です"), 3, Sjis("メンテ") + ellipsis},
      {"a" + Sjis("ソ") + "b", 2, "a" + Sjis("ソ") + ellipsis},
      {std::string(100000, 'x'), 200, std::string(200, 'x') + ellipsis},
      {"", 0, ""},
      {"x", 0, ellipsis},
  };
  for (const Case& c : cases) EXPECT_EQ(CutChars(c.in, c.limit), c.out) << c.in.substr(0, 20) << " " << c.limit;
}

}  // namespace
}  // namespace hollowmere::text
