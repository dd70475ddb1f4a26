// Which requests a cached picture answers: ghost name and surface key.
#include <gtest/gtest.h>

#include "surfaces/Plugins.h"

namespace hollowmere {
namespace {

TSppImage Entry(const std::string& key, const std::string& ghost = "Sakura") {
  return TSppImage(Bitmap(), key, ghost);
}

std::vector<int> IdsMatched(const std::string& key, uint8_t selector = 0) {
  std::vector<int> ids;
  const TSppImage e = Entry(key);
  for (int id = -3; id <= 12; ++id) {
    if (e.SurfaceKeyMatches(id, selector)) ids.push_back(id);
  }
  return ids;
}

TEST(SurfaceKeyTest, IdPartsSelectTheirIds) {
  EXPECT_EQ(IdsMatched("3-7,*"), (std::vector<int>{3, 4, 5, 6, 7}));
  EXPECT_EQ(IdsMatched("1&4,0"), (std::vector<int>{1, 4}));
  EXPECT_EQ(IdsMatched("5,*"), (std::vector<int>{5}));
  EXPECT_EQ(IdsMatched("1&9-10&0,*"), (std::vector<int>{0, 1, 9, 10}));
  EXPECT_EQ(IdsMatched("1 & 4,*"), (std::vector<int>{1, 4}));  // blanks around "&"
  EXPECT_EQ(IdsMatched("1 4,*"), (std::vector<int>{1, 4}));    // blanks alone separate
  EXPECT_EQ(IdsMatched("$A,*"), (std::vector<int>{10}));
  EXPECT_EQ(IdsMatched("7-3,*"), (std::vector<int>{}));  // empty range
  EXPECT_EQ(IdsMatched("*,*").size(), 16u);
}

TEST(SurfaceKeyTest, NegativeIdsReadAsNumbersNotRanges) {
  EXPECT_EQ(IdsMatched("-1,*"), (std::vector<int>{-1}));
  EXPECT_EQ(IdsMatched("-3--2,*"), (std::vector<int>{-3, -2}));
  EXPECT_EQ(IdsMatched("-1-1,*"), (std::vector<int>{-1, 0, 1}));
}

TEST(SurfaceKeyTest, SelectorPartMustEqualTheSelector) {
  EXPECT_TRUE(Entry("1&4,0").SurfaceKeyMatches(4, 0));
  EXPECT_FALSE(Entry("1&4,0").SurfaceKeyMatches(4, 1));
  EXPECT_TRUE(Entry("*,*").SurfaceKeyMatches(123456, 255));
  EXPECT_TRUE(Entry("*,7").SurfaceKeyMatches(2, 7));
  EXPECT_FALSE(Entry("*,07").SurfaceKeyMatches(2, 7));
}

TEST(SurfaceKeyTest, MalformedKeysRaiseWithTheKey) {
  const struct {
    const char* key;
    int id;
  } cases[] = {
      {"5", 5},     {"", 0},      {"x,*", 1},  {"3-,*", 4},   {"a-3,*", 1},
      {"1&&2,*", 2}, {"1&,*", 2}, {"3-7x,*", 9}, {"99999999999,*", 1},
  };
  for (const auto& c : cases) {
    try {
      Entry(c.key).SurfaceKeyMatches(c.id, 0);
      ADD_FAILURE() << "no exception for " << c.key;
    } catch (const ESppException& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("Syntax error found in SurfaceKey \"") + c.key + "\"");
    }
  }
}

TEST(SurfaceKeyTest, ItemsAreTriedInOrderUntilOneMatches) {
  // A bad item after a matching one is never read; before it, it raises.
  EXPECT_TRUE(Entry("1&x,*").SurfaceKeyMatches(1, 0));
  EXPECT_THROW(Entry("x&1,*").SurfaceKeyMatches(1, 0), ESppException);
  // A selector that does not match decides before the id part is read.
  EXPECT_FALSE(Entry("x,1").SurfaceKeyMatches(1, 0));
}

TEST(SurfaceKeyTest, MatchesNeedsTheExactGhostName) {
  const TSppImage e = Entry("*,*", "Sakura");
  EXPECT_TRUE(e.Matches("Sakura", 3, 0));
  EXPECT_FALSE(e.Matches("sakura", 3, 0));
  EXPECT_FALSE(e.Matches("Sakura ", 3, 0));
  // Another ghost's malformed key is never read.
  EXPECT_FALSE(Entry("x,*", "Other").Matches("Sakura", 1, 0));
  EXPECT_THROW(Entry("x,*", "Sakura").Matches("Sakura", 1, 0), ESppException);
}

}  // namespace
}  // namespace hollowmere
