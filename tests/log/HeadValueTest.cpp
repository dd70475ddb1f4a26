// Reply lines parsed into ordered key/value pairs.
#include <gtest/gtest.h>

#include "log/HeadValue.h"

namespace hollowmere {
namespace {

TEST(THeadValue, TrimsOnlyLeadingSpacesOfTheValue) {
  const THeadValue h("Result: OK\r\nErr:   bad  input  \nExtraTip:\rExtraMessage:   \r\nA: b: c\r\nT:\tx");
  ASSERT_EQ(h.Count(), 6);
  EXPECT_EQ(h.KeyAt(0), "Result");
  EXPECT_EQ(h.ValueAt(0), "OK");
  EXPECT_EQ(h.ValueOf("Err"), "bad  input  ");
  EXPECT_EQ(h.ValueAt(2), "");
  EXPECT_EQ(h.ValueAt(3), "");
  EXPECT_EQ(h.ValueOf("A"), "b: c");
  EXPECT_EQ(h.ValueOf("T"), "\tx");
}

TEST(THeadValue, SkipsLinesWithoutKeyAndKeepsDuplicates) {
  const THeadValue h(":x\r\nno colon\r\nCommand :y\r\nResult: OK\r\nResult: Err\r\n");
  ASSERT_EQ(h.Count(), 3);
  EXPECT_EQ(h.KeyAt(0), "Command ");
  EXPECT_EQ(h.ValueOf("Command"), "");
  EXPECT_EQ(h.ValueOf("Result"), "OK");
  EXPECT_EQ(h.ValueOf("result"), "");
  EXPECT_THROW(h.KeyAt(3), EListError);
  EXPECT_THROW(h.ValueAt(-1), EListError);
}

TEST(THeadValue, ParseReplacesAndAssignCopies) {
  THeadValue h("A: 1\r\n");
  h.Parse("");
  EXPECT_EQ(h.Count(), 0);
  THeadValue other("B: 2\r\nC: 3");
  h.Assign(other);
  other.Parse("");
  EXPECT_EQ(h.Count(), 2);
  EXPECT_EQ(h.ValueOf("C"), "3");
}

}  // namespace
}  // namespace hollowmere
