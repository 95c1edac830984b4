// The driver against the printer emulator, model by model: what the printer really does.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <tuple>
#include <vector>

#include "cp1250.hpp"
#include "driver_fixture.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using namespace std::chrono;

// 2005-12-31 23:59:07, a Saturday night at the end of a month.
emu::PrinterConfig Config(int type, uint8_t version = 1) {
  emu::PrinterConfig config;
  config.deviceType = type;
  config.version = version;
  config.clockStart = sys_days{year{2005} / December / 31} + hours{23} + minutes{59} + seconds{7};
  return config;
}

using Rates = std::array<uint32_t, 7>;
int32_t ReadRates(Rates& r, int32_t& count) {
  r.fill(77);
  return ::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
}

TEST_F(OnEmulator, EveryModelIsIdentifiedAndUsesItsOwnCommands) {
  // Type by type: rates, a forced daily report of an empty day, periodic reports.
  const std::tuple<int, bool, bool> models[12] = {{4, 0, 0}, {6, 0, 0}, {6, 1, 0}, {7, 1, 1},
                                                  {4, 0, 0}, {6, 0, 0}, {7, 1, 1}, {7, 1, 1},
                                                  {7, 1, 1}, {7, 0, 0}, {7, 0, 0}, {7, 1, 1}};
  for (int type = 0; type < 12; ++type) {
    SCOPED_TRACE(type);
    const auto [rateCount, forcible, periodic] = models[type];
    Start(Config(type));
    EXPECT_EQ(PrinterInternals(DefaultPrinter()).DeviceType(), type);
    std::string name;
    char buffer[64];
    ASSERT_EQ(::DeviceName(name) + ::pDeviceName(buffer), 0);
    EXPECT_EQ(name, kDeviceModels[type].name);
    EXPECT_EQ(std::string(buffer), kDeviceModels[type].plainName);

    const size_t before = PrintedLines();
    EXPECT_EQ(::DailyReport(0), 211);
    EXPECT_EQ(PrintedLines(), before);
    EXPECT_EQ(::DailyReport(1), forcible ? 0 : 211);
    EXPECT_EQ(Printer().Memory().Reports().size(), forcible ? 1u : 0u);
    EXPECT_EQ(Printer().Mechanism().QueuedLines(), 0u);  // supervision waited for it all
    EXPECT_EQ(::MonthlyReport(1, 5, 11), periodic ? 220 : 224);

    Rates read;
    int32_t count = -1;
    ASSERT_EQ(ReadRates(read, count), 0);
    EXPECT_EQ(read[0], 25500u);  // a fresh printer keeps every rate reserved
    const uint32_t e = rateCount == 7 ? 10000 : 2500;
    const Rates written = {2300, 800, 500, 0, e, 25500, 2200};
    ASSERT_EQ(::SetVAT(&count, 2300, 800, 500, 0, e, 25500, 2200), 0);
    EXPECT_EQ(count, rateCount);
    ASSERT_EQ(ReadRates(read, count), 0);
    EXPECT_EQ(count, rateCount);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(read[i], i < count ? written[i] : 77u) << i;
  }
  EXPECT_EQ(std::string(DeviceNameOf(12)), "NIEZNANE");
  EXPECT_EQ(std::string(PlainDeviceNameOf(255)), "NIEZNANE");
}

TEST_F(OnEmulator, StatusByteCountsByModelAndVersion) {
  // Type, firmware version, status bytes read, an eighth one.
  const std::tuple<int, uint8_t, int32_t, bool> cases[] = {
      {0, 1, 4, false}, {1, 1, 4, false}, {2, 1, 4, false},  {3, 2, 4, false}, {3, 3, 6, false},
      {4, 1, 4, false}, {5, 1, 4, false}, {6, 5, 4, true},   {6, 6, 6, true},  {7, 1, 7, false},
      {8, 1, 7, true},  {9, 1, 4, false}, {10, 1, 4, false}, {11, 1, 7, false}};
  for (const auto& [type, version, count, eighth] : cases) {
    SCOPED_TRACE(type * 10 + version);
    auto config = Config(type, version);
    config.status.extra5D = 0x5D;
    config.status.extraF3 = 0xF3;
    Start(config);
    StatusBytes status;
    ASSERT_EQ(DefaultPrinter().ReadStatusBytes(status), 0);
    EXPECT_EQ(std::tuple(status.count, status.eighthPresent, status.s[7], status.s[8]),
              std::tuple(count, eighth, count == 7 ? 0xF3 : 0, eighth ? 0x5D : 0));
  }
}

TEST_F(OnEmulator, PeriodicReportsAndThePrintersVerdicts) {
  auto config = Config(7);
  config.receiptCounter = 256;  // the low byte of the counter alone says nothing was sold
  Start(config);
  ASSERT_EQ(::DailyReport(0), 0);             // report number 1, dated 2005-12-31
  EXPECT_EQ(::MonthlyReport(1, 5, 12), 222);  // the month is not over
  EXPECT_EQ(::NumberReport(1, 0, 5), 221);
  const size_t before = PrintedLines();
  EXPECT_EQ(::NumberReport(1, 1, 1), 0);
  EXPECT_GT(PrintedLines(), before);
  EXPECT_EQ(Printer().Mechanism().QueuedLines(), 0u);
  EXPECT_EQ(::PeriodReport(0, 5, 12, 1, 5, 12, 31), 0);
  EXPECT_EQ(Printer().Mechanism().QueuedLines(), 0u);
}

TEST_F(OnEmulator, ClockCountersNumbersDrawerFeedAndEnd) {
  Start(Config(0));
  std::string date, time;
  ASSERT_EQ(::ReadClock(date, time), 0);
  EXPECT_EQ(date + " " + time, "2005.12.31 23:59");  // no seconds on the older clock format
  auto config = Config(8);
  config.dailyReportNumber = 300;
  config.printerNumber = "07AB";
  config.uniqueNumber = "ABC12345678";
  Start(config);
  ASSERT_EQ(::ReadClock(date, time), 0);
  EXPECT_EQ(date + " " + time, "2005.12.31 23:59:07");
  char clock[32], plain[32];
  int32_t reports = 0, number = 0;
  std::string code, unique;
  EXPECT_EQ(::pReadClock(clock) + ::DailyReportNumber(&reports) + ::PrinterNumber(number, code) +
                ::ReadUniqueNumber(unique) + ::pReadUniqueNumber(plain),
            0);
  // The unique number's twin without the blank.
  EXPECT_EQ(std::tuple(std::string(clock), reports, number, code, unique, std::string(plain)),
            std::tuple("05.12.31;23:59", 300, 7, "AB", "ABC 12345678", "ABC12345678"));
  EXPECT_EQ(::OpenDrawer(3), 0);
  EXPECT_EQ(Printer().DrawerOpenings(3), 1u);
  EXPECT_EQ(::WriteLineFeed(4) + ::PrinterStatusReport() + ::LockedArticlesReport(), 0);
  // After the end every command answers 114 without a byte sent.
  ASSERT_EQ(::CommunicationEnd(), 0);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).DeviceType(), kDeviceNone);
  Line().ClearRecord();
  uint32_t r = 0;
  EXPECT_EQ((std::vector{::ReadVAT(&number, &r, &r, &r, &r, &r, &r, &r),
                         ::SetVAT(&number, 2300, 800, 500, 0, 10000, 25500, 25500),
                         ::MonthlyReport(1, 5, 11), ::ReadClock(date, time), ::ReceiptConditions(),
                         ::OpenDrawer(1), ::PrintControl(1, 7)}),
            std::vector<int32_t>(7, 114));
  EXPECT_TRUE(Line().Sequences().empty());
}

// Lines that come with time: a few polls a line (not thousands), the window served meanwhile.
TEST_F(OnEmulator, ALongPrintoutIsFollowedWithFewPollsAndTheWindowServed) {
  emu::PrinterConfig config = Config(3);
  config.timing = {1000, 100ms, 0, 0ms};
  Start(config);
  Line().ClearRecord();
  int pumps = 0;
  DefaultPrinter().SetMessagePumpCallback([&pumps] { ++pumps; });
  EXPECT_EQ(::PrinterStatusReport(), 0);
  const auto commands = Line().Commands();
  const std::ptrdiff_t polls = std::count_if(commands.begin(), commands.end(),
                                             [](uint8_t c) { return c == 0x94 || c == 0x95; });
  const auto lines = static_cast<std::ptrdiff_t>(PrintedLines());
  ASSERT_GE(lines, 5);
  EXPECT_FALSE(Printer().Mechanism().Printing());
  EXPECT_LT(polls, 8 * (lines + 10));
  EXPECT_GT(pumps, polls);
}

}  // namespace
}  // namespace kestradr::testing
