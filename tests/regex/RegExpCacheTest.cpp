// The compiled-pattern cache: reuse, eviction order, and the state after a
// malformed pattern.
#include <gtest/gtest.h>

#include "regex/RegExpTestSupport.h"

namespace hollowmere::regex_test {
namespace {

TEST(RegExpCache, StartsWithTheEmptyPatternCompiledOnce) {
  TAWKStr re;
  EXPECT_EQ(re.RegExp(), "");
  EXPECT_EQ(re.CacheSize(), 1u);
  EXPECT_EQ(re.CompileCount(), 1u);
  EXPECT_FALSE(re.LineAware());
  EXPECT_EQ(re.Find("abc"), (TMatch{0, 0}));
  re.SetRegExp("");
  EXPECT_EQ(re.CompileCount(), 1u);
}

TEST(RegExpCache, AlternatingPatternsCompileOnceEach) {
  TAWKStr re;
  for (int round = 0; round < 5; ++round) {
    re.SetRegExp("(<br>)+");
    EXPECT_EQ(re.RegExp(), "(<br>)+");
    re.SetRegExp("<td width=\"100%\">((<br>)+)");
  }
  EXPECT_EQ(re.CompileCount(), 3u);
  EXPECT_EQ(re.CacheSize(), 3u);
  // A hit does not reorder the cache.
  EXPECT_EQ(re.CachePattern(1), "<td width=\"100%\">((<br>)+)");
  EXPECT_EQ(re.CachePattern(2), "(<br>)+");
  re.SetRegExp("(<br>)+");
  EXPECT_EQ(re.CurrentEntry(), 2u);
  std::string text = "a<br><br>b";
  EXPECT_EQ(re.ReplaceAll("<br>", text), 1);
  EXPECT_EQ(text, "a<br>b");
}

// Each render thread searches with a copy of the window's component.
TEST(RegExpCache, ACopyKeepsTheCompiledPatternsAndGoesItsOwnWay) {
  TAWKStr re;
  re.SetLineSeparator(mcls_LF);
  re.SetRegExp("(<br>)+");
  re.SetRegExp("^a+");
  TAWKStr copy(re);
  EXPECT_EQ(copy.RegExp(), "^a+");
  EXPECT_TRUE(copy.LineAware());
  EXPECT_EQ(copy.LineSeparator(), mcls_LF);
  EXPECT_EQ(copy.Find("baa\naa"), (TMatch{4, 6}));
  copy.SetRegExp("(<br>)+");
  EXPECT_EQ(copy.CacheSize(), 3u);
  EXPECT_EQ(copy.CompileCount(), 0u);
  std::string text = "a<br><br>b";
  EXPECT_EQ(copy.ReplaceAll("<br>", text), 1);
  EXPECT_EQ(text, "a<br>b");
  copy.SetRegExp("x");
  EXPECT_EQ(copy.CacheSize(), 4u);
  EXPECT_EQ(re.RegExp(), "^a+");
  EXPECT_EQ(re.CacheSize(), 3u);
  EXPECT_EQ(re.Find("baa\naa"), (TMatch{4, 6}));
}

TEST(RegExpCache, ThirtyFirstPatternDropsTheOldestInsertedNotTheEmptyOne) {
  TAWKStr re;
  auto name = [](int i) { return "p" + std::to_string(i); };
  for (int i = 1; i <= 29; ++i) re.SetRegExp(name(i));
  ASSERT_EQ(re.CacheSize(), TRegularExpression::kCacheCapacity);
  EXPECT_EQ(re.CachePattern(29), name(1));

  re.SetRegExp(name(30));
  EXPECT_EQ(re.CacheSize(), TRegularExpression::kCacheCapacity);
  EXPECT_EQ(re.CachePattern(0), "");
  EXPECT_EQ(re.CachePattern(1), name(30));
  EXPECT_EQ(re.CachePattern(29), name(2));
  const std::size_t compiled = re.CompileCount();
  re.SetRegExp(name(2));  // still cached
  EXPECT_EQ(re.CompileCount(), compiled);
  re.SetRegExp(name(1));  // dropped: compiled again
  EXPECT_EQ(re.CompileCount(), compiled + 1);
  EXPECT_EQ(re.Find("xp1"), (TMatch{1, 3}));
}

TEST(RegExpCache, MalformedPatternLeavesTheEmptyPatternCurrent) {
  TAWKStr re;
  re.SetRegExp("^a");
  ASSERT_TRUE(re.LineAware());
  EXPECT_THROW(re.SetRegExp("a(b"), ERegExpParser);
  EXPECT_EQ(re.RegExp(), "");
  EXPECT_EQ(re.CurrentEntry(), 0u);
  EXPECT_EQ(re.CacheSize(), 2u);  // the failed entry is gone, "^a" stays
  EXPECT_FALSE(re.LineAware());
  std::string text = "ab";
  EXPECT_EQ(re.ReplaceAll("-", text), 2);
  EXPECT_EQ(text, "-a-b");
  // The same bad pattern fails again rather than being served from the cache.
  EXPECT_THROW(re.SetRegExp("a(b"), ERegExpParser);
  re.SetRegExp("^a");
  EXPECT_EQ(re.Find("ba\na"), (TMatch{3, 4}));
}

}  // namespace
}  // namespace hollowmere::regex_test
