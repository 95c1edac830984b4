#include "decimal.hpp"

#include <gtest/gtest.h>

namespace tauravatd {
namespace {

TEST(Decimal, ReadsDigitsWithTheirPlaces) {
  EXPECT_EQ(ParseDecimal("1.500", 4), (Decimal{1500, 3}));
  EXPECT_EQ(ParseDecimal("2", 4), (Decimal{2, 0}));
  EXPECT_EQ(ParseDecimal("0.0001", 4), (Decimal{1, 4}));
  EXPECT_EQ(ParseDecimal("007.5", 4), (Decimal{75, 1}));
  EXPECT_EQ(ParseDecimal("999999999999999", 0), (Decimal{999999999999999, 0}));
}

TEST(Decimal, RefusesAnythingButPlainDigits) {
  for (const char* text : {"", ".5", "5.", "-1", "+1", "1e3", "1,5", " 1", "1 ", "1.2.3", "0x10",
                           "1.23456", "1234567890123456", "١"}) {
    EXPECT_FALSE(ParseDecimal(text, 4)) << text;
  }
}

TEST(Decimal, MoneyIsGroszWithAtMostTwoPlaces) {
  EXPECT_EQ(ParseMoney("4.99"), 499);
  EXPECT_EQ(ParseMoney("4.9"), 490);
  EXPECT_EQ(ParseMoney("5"), 500);
  EXPECT_EQ(ParseMoney("0.01"), 1);
  EXPECT_FALSE(ParseMoney("4.999"));
  EXPECT_FALSE(ParseMoney("4,99"));
}

TEST(Decimal, FormatsKeepTheirPlaces) {
  EXPECT_EQ(FormatMoney(499), "4.99");
  EXPECT_EQ(FormatMoney(5), "0.05");
  EXPECT_EQ(FormatMoney(0), "0.00");
  EXPECT_EQ(FormatMoney(-120), "-1.20");
  EXPECT_EQ(FormatDecimal({1500, 3}), "1.500");
  EXPECT_EQ(FormatDecimal({7, 0}), "7");
  EXPECT_EQ(FormatDecimal({INT64_MIN, 0}), "-9223372036854775808");
}

}  // namespace
}  // namespace tauravatd
