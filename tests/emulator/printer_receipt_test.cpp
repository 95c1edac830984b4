// The printer's own checks of a receipt and its reports: the driver's suites show whole
// receipts on the emulator; these are the guards it never trips and the rounding it must
// match.
#include <gtest/gtest.h>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

uint64_t Total40(const Bytes& reply, int rate) {
  uint64_t v = 0;
  for (int i = 4; i >= 0; --i) v = (v << 8) | reply[static_cast<std::size_t>(1 + 5 * rate + i)];
  return v;
}

class ReceiptTest : public ::testing::Test {
 protected:
  Printer p{ProgrammedConfig(7)};

  void Item(uint32_t qty, uint8_t mp, uint32_t price, uint8_t rate, uint32_t value) {
    const Reply r = Send(p, cmd::kItemLine, ItemBlock("Chleb", qty, mp, price, rate, value));
    EXPECT_TRUE(r.first.empty() && r.second.empty()) << "item lines are never answered";
  }
  bool CancelledByPrinter() { return Status(p, cmd::kPrintStatus) & 0x10; }
};

TEST_F(ReceiptTest, DiscountRoundsAnExactHalfDownAndTheTotalMustMatch) {
  ASSERT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  Item(1500, 3, 199, 1, 299);  // 298.5 rounds up
  Item(1, 0, 350, 2, 350);
  Item(1, 0, 1005, 6, 1005);  // code 6 is rate E, exempt here
  EXPECT_TRUE(Send(p, cmd::kDiscount, {10}).first.empty());
  // A 269.1 -> 269, B 315, E 904.5 -> 904.
  Send(p, cmd::kTotal, Amount(1488));
  EXPECT_FALSE(CancelledByPrinter()) << p.LastCancelReason();
  ASSERT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kAck});
  const Bytes totals = Send(p, cmd::kRateTotals).first;
  ASSERT_EQ(totals.size(), 36u);
  EXPECT_EQ(Total40(totals, 0), 269u);
  EXPECT_EQ(Total40(totals, 1), 315u);
  EXPECT_EQ(Total40(totals, 4), 904u);
  EXPECT_NE(p.Paper().Text().find("1,500x1.99"), std::string::npos);

  Send(p, cmd::kReceiptBegin);
  Item(1, 0, 1999, 1, 1999);
  Send(p, cmd::kTotal, Amount(2000));
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_TRUE(CancelledByPrinter());
  EXPECT_EQ(p.LastCancelReason(), "total differs from the printer's sum");
}

TEST_F(ReceiptTest, MalformedItemBlocksMakeThePrinterCancel) {
  Bytes noEsc = ItemBlock("Chleb", 1, 0, 100, 1, 100);
  noEsc[43] = 0;
  for (const Bytes& bad : {ItemBlock("Chleb", 1, 5, 100, 1, 0),    // five decimals
                           ItemBlock("Chleb", 1, 0, 100, 9, 100),  // no such rate code
                           noEsc}) {
    ASSERT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
    EXPECT_FALSE(CancelledByPrinter()) << "a new receipt clears the mark";
    Item(1, 0, 699, 1, 699);
    Send(p, cmd::kItemLine, bad);
    EXPECT_FALSE(p.ReceiptOpen());
    EXPECT_TRUE(CancelledByPrinter());
    EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak});
  }
  EXPECT_EQ(Send(p, cmd::kCounters).first[1], 3) << "each counted as a cancelled receipt";
  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 0, 0}));
}

TEST_F(ReceiptTest, CancelOnRequestAndReceiptsThatCannotBeginOrEnd) {
  Send(p, cmd::kReceiptBegin);
  Item(1, 0, 1999, 1, 1999);
  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck});
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_FALSE(CancelledByPrinter()) << "cancelled on request, not by the printer";
  EXPECT_EQ(p.Memory().CancelledToday(), 1);

  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck}) << "nothing pending is fine";
  Send(p, cmd::kReceiptBegin);
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kNak}) << "already open";
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kNak}) << "not during a receipt";
  EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak}) << "nothing sold";
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(p.Memory().CancelledToday(), 1);

  Printer unprogrammed{PrinterConfig{}};
  EXPECT_EQ(Send(unprogrammed, cmd::kReceiptBegin).first, Bytes{kNak}) << "no rates";
}

TEST(Receipt, PackagesOnlyOnModelsThatKnowThemAndTheParametersAreSwallowed) {
  Printer p(ProgrammedConfig(0));
  Send(p, cmd::kReceiptBegin);
  const Reply r = Send(p, cmd::kPackage, {' ', 'S', 1, 0, 2, 0, 50, 0, 0, 0});
  EXPECT_EQ(r.first, Bytes{kNak});
  EXPECT_TRUE(r.second.empty());
  EXPECT_FALSE(p.MidSequence());
  EXPECT_TRUE(p.ReceiptOpen());
}

TEST(Reports, PeriodicReportOfAMonthOnceItIsOverAndAnUnknownKind) {
  Printer p(ProgrammedConfig(7));  // clock 2024-03-15
  ASSERT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  auto result = [&](Bytes params) {
    const Reply r = Send(p, cmd::kPeriodicReport, params);
    EXPECT_EQ(r.first, Bytes{kAck});
    return r.second.size() == 1 ? r.second[0] : 0xEE;
  };
  EXPECT_EQ(result({7, 0, 0, 0, 0}), 5);
  EXPECT_EQ(result({2, 2, 4, 0, 3}), 4) << "the month is not over";
  p.Advance(std::chrono::hours(24 * 20));
  EXPECT_EQ(result({2, 2, 4, 0, 3}), 0);
  EXPECT_NE(p.Paper().Text().find("RAPORT OKRESOWY SZCZEGÓŁOWY"), std::string::npos);
}

TEST(Reports, PeriodReportByDatesAndTheOtherPrintedReports) {
  Printer p(ProgrammedConfig(3));
  Send(p, cmd::kDailyReport);
  const Reply r = Send(p, cmd::kPeriodReportShort, {2, 4, 0, 3, 0, 1, 2, 4, 0, 3, 3, 1});
  EXPECT_EQ(r.first, Bytes{kAck});
  EXPECT_TRUE(r.second.empty());
  EXPECT_EQ(Send(p, cmd::kLockedNamesReport).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kStateReport).first, Bytes{kAck});
  const std::string paper = p.Paper().Text();
  EXPECT_NE(paper.find("Liczba raportów" + std::string(24, ' ') + "1"), std::string::npos) << paper;
  EXPECT_NE(paper.find("RAPORT NAZW TOWARÓW ZABLOKOWANYCH"), std::string::npos);
  EXPECT_NE(paper.find("RAPORT STANU DRUKARKI"), std::string::npos);
}

}  // namespace
}  // namespace kestra::emu::test
