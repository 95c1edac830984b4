// Following a long printout: the status polls are spaced out as it goes on, and the
// application's window is served while the driver waits between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "emulator_line.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using namespace std::chrono_literals;

TEST(PollPacing, ALongPrintoutIsFollowedWithFewPolls) {
  kestra::emu::PrinterConfig config;
  config.deviceType = 3;
  // Lines come with time only: a driver that never pauses would poll a thousand times
  // per line.
  config.timing = {1000, 100ms, 0, 0ms};
  EmulatorPort port(config);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
  port.Line().ClearRecord();
  int pumps = 0;
  DefaultPrinter().SetMessagePumpCallback([&pumps] { ++pumps; });

  EXPECT_EQ(::PrinterStatusReport(), 0);

  DefaultPrinter().SetMessagePumpCallback({});
  ::CommunicationEnd();
  const auto commands = port.Line().Commands();
  const auto polls = std::count_if(commands.begin(), commands.end(),
                                   [](uint8_t c) { return c == 0x94 || c == 0x95; });
  const auto lines = static_cast<long>(port.Printer().Paper().PrintedLines());
  ASSERT_GE(lines, 5);
  EXPECT_FALSE(port.Printer().Mechanism().Printing());
  // A tenth of a second between rounds at most, four polls a round.
  EXPECT_LT(polls, 8 * (lines + 10));
  EXPECT_GT(pumps, polls);
}

}  // namespace
}  // namespace kestradr::testing
