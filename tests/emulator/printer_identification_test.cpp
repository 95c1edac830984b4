#include <gtest/gtest.h>

#include "wire.hpp"

namespace kestra::emu::test {
namespace {

struct IdentCase {
  int type;
  uint8_t ident;
  int subType;  // -1: 0xFE refused
  uint8_t rateRead;
  int rateBytes;
};

class Identification : public ::testing::TestWithParam<IdentCase> {};

TEST_P(Identification, AnswersAsTheDriverDecodesIt) {
  const auto c = GetParam();
  PrinterConfig config;
  config.deviceType = c.type;
  config.version = 4;
  Printer p(config);

  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, c.ident}));
  const Bytes sub = Send(p, cmd::kSubType).first;
  if (c.subType < 0) {
    EXPECT_EQ(sub, Bytes{kNak});
  } else {
    ASSERT_EQ(sub.size(), 4u);
    EXPECT_EQ(sub[0], kAck);
    EXPECT_EQ(sub[1], c.subType);
    EXPECT_EQ(sub[2], 4) << "version byte";
  }

  // The driver probes the rate formats from the longest: each model knows only its own.
  for (uint8_t read : {cmd::kReadRates7, cmd::kReadRates6, cmd::kReadRates4}) {
    const Bytes r = Send(p, read).first;
    if (read == c.rateRead) {
      ASSERT_EQ(r.size(), static_cast<std::size_t>(c.rateBytes + 1));
      EXPECT_EQ(r[0], kAck);
    } else {
      EXPECT_EQ(r, Bytes{kNak}) << std::hex << int{read};
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllModels, Identification,
                         ::testing::Values(IdentCase{0, 0x02, -1, cmd::kReadRates4, 4},
                                           IdentCase{1, 0x11, -1, cmd::kReadRates6, 12},
                                           IdentCase{2, 0x2C, -1, cmd::kReadRates6, 12},
                                           IdentCase{3, 0x2C, 0x01, cmd::kReadRates7, 14},
                                           IdentCase{4, 0x05, -1, cmd::kReadRates4, 4},
                                           IdentCase{5, 0x12, -1, cmd::kReadRates6, 12},
                                           IdentCase{6, 0x12, 0x01, cmd::kReadRates7, 14},
                                           IdentCase{7, 0x2C, 0x7C, cmd::kReadRates7, 14},
                                           IdentCase{8, 0x12, 0x7D, cmd::kReadRates7, 14},
                                           IdentCase{9, 0x2C, 0x80, cmd::kReadRates7, 14},
                                           IdentCase{10, 0x2C, 0x81, cmd::kReadRates7, 14},
                                           IdentCase{11, 0x33, 0x00, cmd::kReadRates7, 14}));

TEST(Identification, UnknownDeviceAnswersTheConfiguredByte) {
  PrinterConfig config;
  config.deviceType = kUnknownDeviceType;
  config.unknownIdentByte = 0x42;
  Printer p(config);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x42}));
}

TEST(Identification, ModelsByNameAndCode) {
  EXPECT_EQ(ParseModel("luno-f"), 8);
  EXPECT_EQ(ParseModel("LUNO-EFV"), 10);
  EXPECT_EQ(ParseModel("3"), 3);
  EXPECT_EQ(ParseModel("unknown"), kUnknownDeviceType);
  EXPECT_FALSE(ParseModel("12"));
  EXPECT_FALSE(ParseModel("taura9"));
}

TEST(Commands, OlderModelsRefuseNewerCommandsAndEveryoneRefusesUnknownCodes) {
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

TEST(Commands, StatusCounterClockAndNumberReplies) {
  PrinterConfig config = ProgrammedConfig(8);
  config.status.lock60 = 0x21;
  config.status.byte5E = 0x03;
  config.status.euroF5 = 7;
  config.status.jumper96 = 0x40;
  config.receiptCounter = 0x0102;
  config.cancelledCounter = 3;
  config.dailyReportNumber = 300;
  config.printerNumber = "07AB";
  config.uniqueNumber = "ABC12345678";
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
  EXPECT_EQ(Send(p, cmd::kStatus8).first.size(), 2u);
  EXPECT_EQ(Send(p, cmd::kEuro).first, (Bytes{kAck, 7}));

  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, (Bytes{kAck, 0x02, 0x01}));
  const Bytes counters = Send(p, cmd::kCounters).first;
  ASSERT_EQ(counters.size(), 8u);
  EXPECT_EQ(Le16(counters, 1), 3u) << "cancelled receipts first";
  EXPECT_EQ(Send(p, cmd::kDailyReportNumber).first, (Bytes{kAck, 0x2C, 0x01}));

  EXPECT_EQ(Send(p, cmd::kClock).first, (Bytes{kAck, 0, 5, 1, 2, 3, 1, 2, 3, 5, 9}));
  EXPECT_EQ(Send(p, cmd::kClockWithSeconds).first,
            (Bytes{kAck, 0, 5, 1, 2, 3, 1, 2, 3, 5, 9, 0, 7}));
  p.Advance(std::chrono::seconds(60));
  EXPECT_EQ(Send(p, cmd::kClock).first, (Bytes{kAck, 0, 6, 0, 1, 0, 1, 0, 0, 0, 0}))
      << "the clock runs with the time handed in";

  EXPECT_EQ(Send(p, cmd::kPrinterNumber).first, (Bytes{kAck, '0', '7', 'A', 'B'}));
  const Bytes unique = Send(p, cmd::kUniqueNumber).first;
  EXPECT_EQ(std::string(unique.begin() + 1, unique.end()), "ABC12345678");
}

TEST(Commands, DrawersLineFeedAndResumeAreAcknowledged) {
  Printer p(ProgrammedConfig());
  EXPECT_EQ(Send(p, cmd::kDrawer2).first, Bytes{kAck});
  EXPECT_EQ(Send(p, cmd::kDrawer2).first, Bytes{kAck});
  EXPECT_EQ(p.DrawerOpenings(2), 2u);
  EXPECT_EQ(p.DrawerOpenings(1), 0u);

  const Reply feed = Send(p, cmd::kLineFeedCount, {3});
  EXPECT_EQ(feed.first, Bytes{kAck});
  EXPECT_TRUE(feed.second.empty());
  EXPECT_EQ(Send(p, cmd::kResume).first, Bytes{kAck});
  // The programmed feed follows each document.
  Send(p, cmd::kLockedNamesReport);
  const auto lines = p.Paper().Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[lines.size() - 4], "");
}

}  // namespace
}  // namespace kestra::emu::test
