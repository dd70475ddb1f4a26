// Percent-decoding and file URL paths.
#include "text/Url.h"

#include <gtest/gtest.h>

#include "text/Encoding.h"

namespace hollowmere::text {
namespace {

TEST(UrlDecode, ConsumesThePercentAndUpToTwoCharacters) {
  EXPECT_EQ(UrlDecode("100%"), "100");
  EXPECT_EQ(UrlDecode("%00a"), "a");
  EXPECT_EQ(UrlDecode("%zz"), "");
  EXPECT_EQ(UrlDecode("%41%62c"), "Abc");
  EXPECT_EQ(UrlDecode("%4"), "\x04");
  EXPECT_EQ(UrlDecode("%4g!"), "!");
  EXPECT_EQ(UrlDecode("a+b"), "a+b");
  // A double-byte character counts as one of the two.
  EXPECT_EQ(UrlDecode("%" + Sjis("あ") + "1x"), "x");
  const std::string so = Sjis("ソ");
  EXPECT_EQ(UrlDecode(so + "%5C"), so + "\\");
}

TEST(FileUrlPath, EncodesOnlyWhatWouldEndOrEscapeThePath) {
  EXPECT_EQ(FileUrlPath("/a b/100%#1?.html"), "/a b/100%25%231%3F.html");
  // Every other byte, double-byte characters and a lone "\" included, stays.
  const std::string path = "/" + Sjis("表示") + "\\x&<\"";
  EXPECT_EQ(FileUrlPath(path), path);
}

}  // namespace
}  // namespace hollowmere::text
