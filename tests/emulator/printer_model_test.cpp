// What each model answers beyond what the driver's own suites over the emulator show:
// the configured byte of an unknown device, commands older models lack, bare status
// bytes, the running clock, drawers and the programmed feed, and the rate tables'
// guards.
#include <gtest/gtest.h>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

TEST(Models, ByNameAndCodeAndTheUnknownDevicesByte) {
  EXPECT_EQ(ParseModel("luno-f"), 8);
  EXPECT_EQ(ParseModel("LUNO-EFV"), 10);
  EXPECT_EQ(ParseModel("3"), 3);
  EXPECT_EQ(ParseModel("unknown"), kUnknownDeviceType);
  EXPECT_FALSE(ParseModel("12"));
  EXPECT_FALSE(ParseModel("taura9"));

  PrinterConfig config;
  config.deviceType = kUnknownDeviceType;
  config.unknownIdentByte = 0x42;
  Printer p(config);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x42}));
}

TEST(Models, OlderModelsRefuseNewerCommandsAndEveryoneRefusesUnknownCodes) {
  Printer old(ProgrammedConfig(0));
  for (uint8_t c : {cmd::kClockWithSeconds, cmd::kRateTotals, cmd::kPeriodicReport, cmd::kEuro,
                    cmd::kCounters, cmd::kStatus5, cmd::kStatus7}) {
    EXPECT_EQ(Send(old, c).first, Bytes{kNak}) << std::hex << int{c};
  }
  Printer luno(ProgrammedConfig(7));
  EXPECT_EQ(Send(luno, 0x01).first, Bytes{kNak});
  EXPECT_EQ(Send(luno, cmd::kStatus8).first, Bytes{kNak}) << "only TAURA F and LUNO F";
  EXPECT_EQ(Send(luno, cmd::kIdentify).first, (Bytes{kAck, 0x2C})) << "still in step";
}

TEST(Models, StatusBytesCountersAndTheRunningClock) {
  PrinterConfig config = ProgrammedConfig(8);
  config.status.lock60 = 0x21;
  config.status.byte5E = 0x03;
  config.status.euroF5 = 7;
  config.status.jumper96 = 0x40;
  config.cancelledCounter = 3;
  config.clockStart = std::chrono::sys_days{std::chrono::year{2005} / 12 / 31} +
                      std::chrono::hours{23} + std::chrono::minutes{59} + std::chrono::seconds{7};
  Printer p(config);

  // Bare status bytes: no acknowledgement.
  EXPECT_EQ(Send(p, cmd::kLockByte).first, Bytes{0x21});
  EXPECT_EQ(Send(p, cmd::kByte5E).first, Bytes{0x03});
  EXPECT_EQ(Send(p, cmd::kJumperStatus).first, Bytes{0x40});
  EXPECT_EQ(Send(p, cmd::kModeStatus).first, Bytes{0x0B});
  // The same information behind an ACK for the status-byte reader.
  EXPECT_EQ(Send(p, cmd::kStatus4).first, (Bytes{kAck, 0x40}));
  EXPECT_EQ(Send(p, cmd::kStatus1).first, (Bytes{kAck, 0x0B}));
  EXPECT_EQ(Send(p, cmd::kEuro).first, (Bytes{kAck, 7}));
  const Bytes counters = Send(p, cmd::kCounters).first;
  ASSERT_EQ(counters.size(), 8u);
  EXPECT_EQ(Le16(counters, 1), 3u) << "cancelled receipts first";

  EXPECT_EQ(Send(p, cmd::kClockWithSeconds).first,
            (Bytes{kAck, 0, 5, 1, 2, 3, 1, 2, 3, 5, 9, 0, 7}));
  p.Advance(std::chrono::seconds(60));
  EXPECT_EQ(Send(p, cmd::kClock).first, (Bytes{kAck, 0, 6, 0, 1, 0, 1, 0, 0, 0, 0}))
      << "the clock runs with the time handed in";
}

TEST(Models, DrawersCountAndTheProgrammedFeedFollowsEachDocument) {
  Printer p(ProgrammedConfig());
  EXPECT_EQ(Send(p, cmd::kDrawer2).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kDrawer2).first, Bytes{kAck});
  EXPECT_EQ(p.DrawerOpenings(2), 2u);
  EXPECT_EQ(p.DrawerOpenings(1), 0u);

  const Reply feed = Send(p, cmd::kLineFeedCount, {3});
  EXPECT_EQ(feed.first, Bytes{kAck});
  EXPECT_TRUE(feed.second.empty());
  Send(p, cmd::kLockedNamesReport);
  const auto lines = p.Paper().Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[lines.size() - 4], "");
}

PrinterConfig Unprogrammed(int type) {
  PrinterConfig c;
  c.deviceType = type;
  c.timing.pollsPerLine = 0;
  return c;
}

// What the fiscal memory keeps of each format; the driver's suites see only the bytes.
TEST(Rates, EachFormatIsKeptInTheMemoryAndTheChangeIsPrinted) {
  Printer seven(Unprogrammed(7));
  EXPECT_EQ(Send(seven, cmd::kWriteRates7,
                 SevenRates({2200, 700, 0, 2350, kExemptRate, kReservedRate, 500}))
                .first,
            Bytes{kAck});
  EXPECT_EQ(seven.Memory().Rates()[4], kExemptRate);
  const std::string paper = seven.Paper().Text();
  for (const char* expected : {"ZMIANA STAWEK PTU", "23,50%", "ZWOLNIONA"})
    EXPECT_NE(paper.find(expected), std::string::npos) << expected;

  Printer six(Unprogrammed(5));
  const Bytes table{0x08, 0x98, 0x02, 0xBC, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00};
  EXPECT_EQ(Send(six, cmd::kWriteRates6, table).first, Bytes{kAck});
  EXPECT_EQ(six.Memory().Rates()[0], 2200);
  EXPECT_EQ(six.Memory().Rates()[6], kExemptRate) << "G stays exempt";

  Printer four(Unprogrammed(4));
  EXPECT_EQ(Send(four, cmd::kWriteRates4, {22, 7, 0xFF, 3}).first, Bytes{kAck});
  EXPECT_EQ(four.Memory().Rates()[1], 700);
  EXPECT_EQ(four.Memory().Rates()[2], kReservedRate);
}

TEST(Rates, ValuesOutOfRangeLeaveTheTableUnchanged) {
  Printer p(Unprogrammed(7));
  const Bytes before = Send(p, cmd::kReadRates7).first;
  EXPECT_EQ(Send(p, cmd::kWriteRates7, SevenRates({10000 + 1, 0, 0, 0, 0, 0, 0})).first,
            Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kReadRates7).first, before);
  Printer four(Unprogrammed(0));
  Send(four, cmd::kWriteRates4, {120, 7, 0, 0});
  EXPECT_EQ(Send(four, cmd::kReadRates4).first, (Bytes{kAck, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Rates, WriteRefusedAtOnceAfterReceiptsOfTheDayAndDuringOne) {
  PrinterConfig c = ProgrammedConfig(7);
  c.receiptCounter = 1;
  Printer p(c);
  const Bytes before = Send(p, cmd::kReadRates7).first;
  // Refused at once: the computer does not send the parameters after a NAK.
  EXPECT_EQ(Send(p, cmd::kWriteRates7).first, Bytes{kNak});
  EXPECT_FALSE(p.MidSequence());
  EXPECT_EQ(Send(p, cmd::kReadRates7).first, before);
  EXPECT_EQ(Send(p, cmd::kDailyReport).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kWriteRates7).first, Bytes{kNak}) << "a receipt is open";
  EXPECT_EQ(Send(p, cmd::kCancel).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kWriteRates7, SevenRates({2200, 800, 500, 0, 0, 0, 0})).first,
            Bytes{kAck});
  EXPECT_EQ(p.Memory().Rates()[0], 2200);
}

}  // namespace
}  // namespace kestra::emu::test
