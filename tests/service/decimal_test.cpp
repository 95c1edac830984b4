#include "decimal.hpp"

#include <gtest/gtest.h>

namespace tauravatd {
namespace {

TEST(Decimal, ReadsPlainDigitsWithTheirPlacesAndNothingElse) {
  EXPECT_EQ(ParseDecimal("1.500", 4), (Decimal{1500, 3}));
  EXPECT_EQ(ParseDecimal("2", 4), (Decimal{2, 0}));
  EXPECT_EQ(ParseDecimal("0.0001", 4), (Decimal{1, 4}));
  EXPECT_EQ(ParseDecimal("007.5", 4), (Decimal{75, 1}));
  EXPECT_EQ(ParseDecimal("999999999999999", 0), (Decimal{999999999999999, 0}));
  for (const char* text : {"", ".5", "5.", "-1", "+1", "1e3", "1,5", " 1", "1 ", "1.2.3", "0x10",
                           "1.23456", "1234567890123456", "١"}) {
    EXPECT_FALSE(ParseDecimal(text, 4)) << text;
  }
  EXPECT_FALSE(ParseMoney("4.999"));  // grosz: at most two places
  EXPECT_FALSE(ParseMoney("4,99"));
  for (const auto& [text, grosz] : {std::pair{"4.99", 499}, {"4.9", 490}, {"5", 500}, {"0.01", 1}})
    EXPECT_EQ(ParseMoney(text), grosz) << text;
}

TEST(Decimal, FormatsKeepTheirPlaces) {
  for (const auto& [grosz, text] :
       {std::pair<int64_t, const char*>{499, "4.99"}, {5, "0.05"}, {0, "0.00"}, {-120, "-1.20"}})
    EXPECT_EQ(FormatMoney(grosz), text);
  EXPECT_EQ(FormatDecimal({1500, 3}), "1.500");
  EXPECT_EQ(FormatDecimal({7, 0}), "7");
  EXPECT_EQ(FormatDecimal({INT64_MIN, 0}), "-9223372036854775808");
}

}  // namespace
}  // namespace tauravatd
