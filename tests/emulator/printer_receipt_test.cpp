#include <gtest/gtest.h>

#include "kestra/emu/cp852.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

Bytes Text(const std::string& utf8) {
  const std::string cp = Utf8ToCp852(utf8);
  return Bytes(cp.begin(), cp.end());
}

Bytes PaymentBlock(uint8_t slot, const std::string& name, uint32_t amount) {
  Bytes b{slot};
  Bytes n = Text(name);
  n.resize(13, ' ');
  b.insert(b.end(), n.begin(), n.end());
  PutLe32(b, amount);
  return b;
}

uint64_t Total40(const Bytes& reply, int rate) {
  uint64_t v = 0;
  for (int i = 4; i >= 0; --i) v = (v << 8) | reply[static_cast<std::size_t>(1 + 5 * rate + i)];
  return v;
}

class ReceiptTest : public ::testing::Test {
 protected:
  Printer p{ProgrammedConfig(7)};

  void Item(const std::string& name, uint32_t qty, uint8_t mp, uint32_t price, uint8_t rate,
            uint32_t value, bool cancel = false) {
    const std::string cp = Utf8ToCp852(name);
    const Reply r = Send(p, cmd::kItemLine, ItemBlock(cp, qty, mp, price, rate, value, cancel));
    EXPECT_TRUE(r.first.empty() && r.second.empty()) << "item lines are never answered";
  }
  uint8_t PrintStatus() { return Status(p, cmd::kPrintStatus); }
};

TEST_F(ReceiptTest, WholeReceiptUpdatesTotalsCountersAndPaper) {
  ASSERT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  Item("Chleb żytni", 1500, 3, 199, 1, 299);  // 298.5 rounds up
  Item("Mleko", 2, 0, 350, 2, 700);
  Item("Lekarstwo na receptę", 1, 0, 1005, 6, 1005);  // code 6 is rate E, exempt here
  Item("Mleko", 1, 0, 350, 2, 350, /*cancel=*/true);

  const Reply package = Send(p, cmd::kPackage, {' ', 'S', 1, 0, 2, 0, 50, 0, 0, 0});
  EXPECT_TRUE(package.first.empty());
  EXPECT_EQ(package.second, Bytes{kAck}) << "the package line ends with its own ACK";
  EXPECT_TRUE(Send(p, cmd::kSubtotal).first.empty());
  EXPECT_TRUE(Send(p, cmd::kDiscount, {10}).first.empty());
  // A 269.1 -> 269, B 315, E 904.5 -> 904 (an exact half rounds down).
  EXPECT_TRUE(Send(p, cmd::kTotal, Amount(1488)).second.empty());
  EXPECT_EQ(PrintStatus() & 0x10, 0) << "the printer accepted the total";

  EXPECT_TRUE(Send(p, cmd::kPaymentFirst, PaymentBlock(1, "GOTÓWKA", 2000)).second.empty());
  EXPECT_TRUE(Send(p, cmd::kPaymentSecond, PaymentBlock(1, "GOTÓWKA", 512)).second.empty());
  Bytes extra{'3'};
  const Bytes thanks = Text("Dziękujemy za zakupy");
  extra.insert(extra.end(), thanks.begin(), thanks.end());
  extra.push_back(kLineFeed);
  EXPECT_TRUE(Send(p, cmd::kExtraLine, extra).second.empty());
  EXPECT_FALSE(p.MidSequence()) << "the extra line ends at its line feed";

  ASSERT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kAck});
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(PrintStatus() & 0x10, 0);

  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 1, 0}));
  const Bytes totals = Send(p, cmd::kRateTotals).first;
  ASSERT_EQ(totals.size(), 36u);
  EXPECT_EQ(Total40(totals, 0), 269u);
  EXPECT_EQ(Total40(totals, 1), 315u);
  EXPECT_EQ(Total40(totals, 4), 904u);
  EXPECT_EQ(Total40(totals, 2) + Total40(totals, 3) + Total40(totals, 5) + Total40(totals, 6), 0u);

  const std::string paper = p.Paper().Text();
  for (const char* expected :
       {"PARAGON FISKALNY", "Chleb żytni", "1,500x1.99", "STORNO Mleko", "Lekarstwo na receptę",
        "OPAKOWANIE SPRZEDANE", "PODSUMA", "RABAT", "SPRZEDAŻ ZWOLNIONA E", "PTU A 23,00%",
        "SUMA PLN", "14.88", "GOTÓWKA", "5.12", "Dziękujemy za zakupy", "#00001"}) {
    EXPECT_NE(paper.find(expected), std::string::npos) << expected << "\n" << paper;
  }
}

TEST_F(ReceiptTest, DailyReportPrintsTheDayAndZeroesCounterAndTotals) {
  Send(p, cmd::kReceiptBegin);
  Item("Chleb pszenny", 1, 0, 450, 1, 450);
  Send(p, cmd::kTotal, Amount(450));
  ASSERT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kAck});
  ASSERT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 1, 0}));

  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 0, 0}));
  EXPECT_EQ(Send(p, cmd::kDailyReportNumber).first, (Bytes{kAck, 1, 0}));
  EXPECT_EQ(Total40(Send(p, cmd::kRateTotals).first, 0), 0u);
  EXPECT_EQ(p.Memory().GrandTotals()[0], 450);
  const std::string paper = p.Paper().Text();
  EXPECT_NE(paper.find("RAPORT DOBOWY"), std::string::npos);
  EXPECT_NE(paper.find("4.50"), std::string::npos);
  // An empty day still prints.
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kDailyReportNumber).first, (Bytes{kAck, 2, 0}));
}

TEST_F(ReceiptTest, InvalidItemLineMakesThePrinterCancelTheReceipt) {
  Send(p, cmd::kReceiptBegin);
  Item("Masło", 1, 0, 699, 1, 699);
  Item("Ser", 2, 0, 100, 1, 250);  // value does not match 2 x 1.00
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(PrintStatus() & 0x10, 0x10);
  EXPECT_EQ(Send(p, cmd::kCounters).first[1], 1) << "counted as a cancelled receipt";
  EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak});
  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 0, 0}));
  // A new receipt clears the mark.
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  EXPECT_EQ(PrintStatus() & 0x10, 0);
}

TEST_F(ReceiptTest, ItemsOnReservedRatesOrWithBadBlocksAreRefused) {
  for (const Bytes& bad : {ItemBlock("Chleb", 1, 0, 100, 7, 100),     // F is reserved
                           ItemBlock("Chleb", 1, 5, 100, 1, 0),       // five decimals
                           ItemBlock("Chleb", 1, 0, 100, 9, 100)}) {  // no such rate code
    Send(p, cmd::kReceiptBegin);
    Send(p, cmd::kItemLine, bad);
    EXPECT_FALSE(p.ReceiptOpen());
    EXPECT_EQ(PrintStatus() & 0x10, 0x10);
  }
  Bytes noEsc = ItemBlock("Chleb", 1, 0, 100, 1, 100);
  noEsc[43] = 0;
  Send(p, cmd::kReceiptBegin);
  Send(p, cmd::kItemLine, noEsc);
  EXPECT_FALSE(p.ReceiptOpen());
}

TEST_F(ReceiptTest, TotalThatDiffersFromThePrintersSumCancels) {
  Send(p, cmd::kReceiptBegin);
  Item("Kawa", 1, 0, 1999, 1, 1999);
  Send(p, cmd::kTotal, Amount(2000));
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(PrintStatus() & 0x10, 0x10);
  EXPECT_EQ(p.LastCancelReason(), "total differs from the printer's sum");
}

TEST_F(ReceiptTest, CancelAndEmptyReceipts) {
  Send(p, cmd::kReceiptBegin);
  Item("Kawa", 1, 0, 1999, 1, 1999);
  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck});
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(PrintStatus() & 0x10, 0) << "cancelled on request, not by the printer";
  EXPECT_EQ(p.Memory().CancelledToday(), 1);
  EXPECT_NE(p.Paper().Text().find("PARAGON ANULOWANY"), std::string::npos);

  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck}) << "nothing pending is fine";
  Send(p, cmd::kReceiptBegin);
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kNak}) << "already open";
  EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak}) << "nothing sold";
  EXPECT_FALSE(p.ReceiptOpen());
  EXPECT_EQ(p.Memory().CancelledToday(), 1);
  EXPECT_EQ(Send(p, cmd::kReceiptEnd).first, Bytes{kNak});
}

TEST(Receipt, NoReceiptWithoutProgrammedRates) {
  PrinterConfig c;
  Printer p(c);
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kNak});
}

TEST(Receipt, PackagesAndPaymentsOnlyOnModelsThatKnowThem) {
  Printer p(ProgrammedConfig(0));
  Send(p, cmd::kReceiptBegin);
  const Reply r = Send(p, cmd::kPackage, {' ', 'S', 1, 0, 2, 0, 50, 0, 0, 0});
  EXPECT_EQ(r.first, Bytes{kNak});
  EXPECT_TRUE(r.second.empty());
  EXPECT_FALSE(p.MidSequence()) << "the parameters were swallowed";
  EXPECT_TRUE(p.ReceiptOpen());
}

TEST(Reports, PeriodicReportResultBytes) {
  Printer p(ProgrammedConfig(7));  // clock 2024-03-15
  ASSERT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  auto result = [&](Bytes params) {
    const Reply r = Send(p, cmd::kPeriodicReport, params);
    EXPECT_EQ(r.first, Bytes{kAck});
    return r.second.size() == 1 ? r.second[0] : 0xEE;
  };
  EXPECT_EQ(result({1, 1, 0, 1, 0}), 0);
  EXPECT_EQ(result({4, 2, 0, 3, 0}), 2) << "no such reports";
  EXPECT_EQ(result({1, 3, 0, 1, 0}), 3) << "numbers the wrong way round";
  EXPECT_EQ(result({2, 2, 4, 0, 3}), 4) << "the month is not over";
  EXPECT_EQ(result({5, 2, 4, 0, 2}), 2) << "no report in February";
  EXPECT_EQ(result({2, 2, 4, 1, 3}), 1) << "month 13";
  EXPECT_EQ(result({7, 0, 0, 0, 0}), 5);
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

  Send(p, cmd::kReceiptBegin);
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kNak}) << "not during a receipt";
}

}  // namespace
}  // namespace kestra::emu::test
