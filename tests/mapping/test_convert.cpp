// The integer and float conversions and number formats that profiles and dialogs share.

#include <gtest/gtest.h>

#include <climits>

#include "mapping/Convert.h"

namespace kestrova {
namespace {

TEST(StrToInt, AcceptsWhatTheSystemAccepts) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("001"), 1);
  EXPECT_EQ(StrToInt("  42"), 42);
  EXPECT_EQ(StrToInt("-5"), -5);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);  // hex wraps into the signed range
  EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
}

TEST(StrToInt, RefusesEverythingElseWithTheSystemMessage) {
  for (const char* bad : {"", " ", "abc", "1 ", "1.5", "12a", "2147483648", "-2147483649", "-", "$",
                          "0x", "$100000000", "--1"}) {
    int value = 0;
    EXPECT_FALSE(TryStrToInt(bad, value)) << '"' << bad << '"';
  }
  try {
    StrToInt("x");
    FAIL();
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
  }
}

TEST(StrToFloat, UsesTheGivenDecimalSeparator) {
  EXPECT_DOUBLE_EQ(StrToFloat("2.5", '.'), 2.5);
  EXPECT_DOUBLE_EQ(StrToFloat("2,5", ','), 2.5);
  EXPECT_DOUBLE_EQ(StrToFloat("-0.02", '.'), -0.02);
  EXPECT_DOUBLE_EQ(StrToFloat("10", '.'), 10);
  EXPECT_DOUBLE_EQ(StrToFloat("1e3", '.'), 1000);
  EXPECT_DOUBLE_EQ(StrToFloat(".5", '.'), 0.5);
  double value = 0;
  for (const char* bad : {"", "abc", "2,5", "1,000.5", "1.2.3", "1e", "e5", "5x", "1e999"}) {
    EXPECT_FALSE(TryStrToFloat(bad, '.', value)) << '"' << bad << '"';
  }
  EXPECT_FALSE(TryStrToFloat("2.5", ',', value));
  EXPECT_THROW(StrToFloat("x", '.'), EConvertError);
}

TEST(FormatMinDigits, PadsToThreeDigits) {
  EXPECT_EQ(FormatMinDigits(1), "001");
  EXPECT_EQ(FormatMinDigits(42), "042");
  EXPECT_EQ(FormatMinDigits(1000), "1000");
  EXPECT_EQ(FormatMinDigits(-5), "-005");
  EXPECT_EQ(FormatMinDigits(0), "000");
}

}  // namespace
}  // namespace kestrova
