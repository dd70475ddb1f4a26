// The two markup escapings of outside text, and where their scan finds
// characters.
#include "text/Html.h"

#include <gtest/gtest.h>

#include "text/Encoding.h"

namespace hollowmere::text {
namespace {

TEST(HtmlEscape, EachEscapingReplacesItsOwnCharactersOnly) {
  // Double-byte characters whose second byte is "\" or "|" stay whole.
  const std::string wide = Sjis("表　ソ能さくら");
  const struct {
    std::string text;
    std::string markup;       // HtmlEscape
    std::string typographic;  // EntityEscape
  } cases[] = {
      {"a&b<c>\"d'e f", "a&amp;b&lt;c&gt;&quot;d'e f",
       "a&b&lsaquo;c&rsaquo;&rdquo;d&rsquo;e&ensp;f"},
      {"", "", ""},
      {"plain", "plain", "plain"},
      {wide, wide, wide},
      {wide + "<" + wide, wide + "&lt;" + wide, wide + "&lsaquo;" + wide},
      // A lead byte whose next byte cannot end its character stands alone,
      // as a browser reads it: the markup after it is still found.
      {"\x81<b>", "\x81&lt;b&gt;", "\x81&lsaquo;b&rsaquo;"},
      {"\x81\"x\xE0'", "\x81&quot;x\xE0'", "\x81&rdquo;x\xE0&rsquo;"},
      {"\x9F&\xFC ", "\x9F&amp;\xFC ", "\x9F&\xFC&ensp;"},
      // A lead byte at the very end, and a lead byte as a second byte.
      {"<\x81", "&lt;\x81", "&lsaquo;\x81"},
      {"\x81\x81<", "\x81\x81&lt;", "\x81\x81&lsaquo;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HtmlEscape(c.text), c.markup) << c.text;
    EXPECT_EQ(EntityEscape(c.text), c.typographic) << c.text;
    std::string out = "x";
    AppendHtmlEscaped(out, c.text);
    EXPECT_EQ(out, "x" + c.markup);
    out = "y";
    AppendEntityEscaped(out, c.text);
    EXPECT_EQ(out, "y" + c.typographic);
  }
}

}  // namespace
}  // namespace hollowmere::text
