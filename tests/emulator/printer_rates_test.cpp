#include <gtest/gtest.h>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

PrinterConfig Unprogrammed(int type) {
  PrinterConfig c;
  c.deviceType = type;
  c.timing.pollsPerLine = 0;
  return c;
}

TEST(Rates, UnprogrammedPrinterReportsEveryRateReserved) {
  Printer seven(Unprogrammed(7));
  EXPECT_EQ(Send(seven, cmd::kReadRates7).first,
            (Bytes{kAck, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0}));
  Printer six(Unprogrammed(2));
  EXPECT_EQ(Send(six, cmd::kReadRates6).first,
            (Bytes{kAck, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}));
  Printer four(Unprogrammed(0));
  EXPECT_EQ(Send(four, cmd::kReadRates4).first, (Bytes{kAck, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Rates, SevenRateWriteIsReadBackAndPrinted) {
  Printer p(Unprogrammed(7));
  const Bytes table = SevenRates({2200, 700, 0, 2350, kExemptRate, kReservedRate, 500});
  const Reply w = Send(p, cmd::kWriteRates7, table);
  EXPECT_EQ(w.first, Bytes{kAck});
  EXPECT_TRUE(w.second.empty());
  Bytes expected{kAck};
  expected.insert(expected.end(), table.begin(), table.end());
  EXPECT_EQ(Send(p, cmd::kReadRates7).first, expected);
  EXPECT_EQ(p.Memory().Rates()[4], kExemptRate);
  const std::string paper = p.Paper().Text();
  EXPECT_NE(paper.find("ZMIANA STAWEK PTU"), std::string::npos);
  EXPECT_NE(paper.find("23,50%"), std::string::npos);
  EXPECT_NE(paper.find("ZWOLNIONA"), std::string::npos);
}

TEST(Rates, SixRateWriteKeepsGExempt) {
  Printer p(Unprogrammed(5));
  const Bytes table{0x08, 0x98, 0x02, 0xBC, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
  EXPECT_EQ(Send(p, cmd::kWriteRates6, table).first, Bytes{kAck});
  Bytes expected{kAck};
  expected.insert(expected.end(), table.begin(), table.end());
  EXPECT_EQ(Send(p, cmd::kReadRates6).first, expected);
  EXPECT_EQ(p.Memory().Rates()[0], 2200);
  EXPECT_EQ(p.Memory().Rates()[6], kExemptRate);
}

TEST(Rates, FourRateWriteIsInWholePercent) {
  Printer p(Unprogrammed(4));
  EXPECT_EQ(Send(p, cmd::kWriteRates4, {22, 7, 0xFF, 3}).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kReadRates4).first, (Bytes{kAck, 22, 7, 0xFF, 3}));
  EXPECT_EQ(p.Memory().Rates()[1], 700);
  EXPECT_EQ(p.Memory().Rates()[2], kReservedRate);
}

TEST(Rates, ValueOutOfRangeLeavesTheTableUnchanged) {
  Printer p(Unprogrammed(7));
  const Bytes before = Send(p, cmd::kReadRates7).first;
  // 0x2710 (100.00 %) is no ordinary rate.
  EXPECT_EQ(Send(p, cmd::kWriteRates7, SevenRates({10000 + 1, 0, 0, 0, 0, 0, 0})).first,
            Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kReadRates7).first, before);
  Printer four(Unprogrammed(0));
  Send(four, cmd::kWriteRates4, {120, 7, 0, 0});
  EXPECT_EQ(Send(four, cmd::kReadRates4).first, (Bytes{kAck, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Rates, WriteRefusedWhileReceiptsWereIssuedSinceTheDailyReport) {
  PrinterConfig c = ProgrammedConfig(7);
  c.receiptCounter = 1;
  Printer p(c);
  const Bytes before = Send(p, cmd::kReadRates7).first;
  // Refused at once: the computer does not send the parameters after a NAK.
  EXPECT_EQ(Send(p, cmd::kWriteRates7).first, Bytes{kNak});
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(Send(p, cmd::kReadRates7).first, before);

  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kWriteRates7, SevenRates({2300, 800, 500, 0, 0, 0, 0})).first,
            Bytes{kAck});
  EXPECT_EQ(p.Memory().Rates()[0], 2300);
}

TEST(Rates, WriteRefusedWhileAReceiptIsOpen) {
  Printer p(ProgrammedConfig(3));
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kWriteRates7).first, Bytes{kNak});
}

}  // namespace
}  // namespace kestra::emu::test
