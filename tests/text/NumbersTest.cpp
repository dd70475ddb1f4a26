// Integer conversion used by settings and surface tags.
#include <gtest/gtest.h>

#include "text/Error.h"
#include "text/Numbers.h"

namespace hollowmere::text {
namespace {

TEST(TryStrToInt, AcceptsDecimalHexAndSigns) {
  EXPECT_EQ(TryStrToInt("10"), 10);
  EXPECT_EQ(TryStrToInt("  -1"), -1);
  EXPECT_EQ(TryStrToInt("+7"), 7);
  EXPECT_EQ(TryStrToInt("$20"), 32);
  EXPECT_EQ(TryStrToInt("x1F"), 31);
  EXPECT_EQ(TryStrToInt("0X1f"), 31);
  EXPECT_EQ(TryStrToInt("-$10"), -16);
  EXPECT_EQ(TryStrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
  EXPECT_EQ(TryStrToInt("-2147483648"), INT32_MIN);
}

TEST(TryStrToInt, RejectsAnythingElse) {
  for (const char* bad : {"", " ", "abc", "1 ", "1a", "-", "$", "0x", "2147483648", "$100000000",
                          "\t1", "1.0", "--1"}) {
    EXPECT_EQ(TryStrToInt(bad), std::nullopt) << bad;
  }
}

// Counts typed on the command line and window handles are decimal: what
// the general reading would take as hexadecimal or after blanks is no number.
TEST(TryDecimalToInt, DecimalDigitsWithAnOptionalSignAndNothingElse) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"10", 10},          {"010", 10},         {"+7", 7},         {"-5", -5},
      {"0", 0},            {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
      {"$10", std::nullopt}, {"0x10", std::nullopt}, {"x10", std::nullopt}, {"-$10", std::nullopt},
      {" 10", std::nullopt}, {"10 ", std::nullopt}, {"\t10", std::nullopt}, {"", std::nullopt},
      {"-", std::nullopt},  {"+-1", std::nullopt}, {"1e3", std::nullopt}, {"2147483648", std::nullopt},
      {"１０", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(TryDecimalToInt(c.text), c.value) << "[" << c.text << "]";
}

TEST(StrToInt, NamesTheTextInItsError) {
  try {
    StrToInt("1x");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'1x' is not a valid integer value");
  }
}

}  // namespace
}  // namespace hollowmere::text
