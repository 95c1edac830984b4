// Reports: the parameter bytes, the printer's verdict, and the port reopened around the
// long ones (the empty-day rule and the models without periodic reports: on the emulator).
#include <gtest/gtest.h>

#include "driver_fixture.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using Reports = ScriptedDriver;

TEST_F(Reports, ParameterBytesOfEachKind) {
  Connect(3);
  line_->Always(0x28, {0x06});
  line_->Always(0x29, {0x06});
  line_->Always(0x31, {0x06}, 5, {0x00});
  EXPECT_EQ(::MonthlyReport(1, 5, 3), 0);
  EXPECT_EQ(::MonthlyReport(0, 12, 11), 0);
  EXPECT_EQ(::NumberReport(1, 300, 310), 0);
  EXPECT_EQ(::NumberReport(0, 1, 65535), 0);
  EXPECT_EQ(Sent(0x31), (std::vector<std::vector<uint8_t>>{{2, 0, 5, 0, 3},
                                                           {5, 1, 2, 1, 1},
                                                           {1, 0x2C, 0x01, 0x36, 0x01},
                                                           {4, 0x01, 0x00, 0xFF, 0xFF}}));
  // No ordering check between the two dates.
  EXPECT_EQ(::PeriodReport(1, 99, 12, 31, 0, 1, 1), 0);
  EXPECT_EQ(Sent(0x28).at(0), (std::vector<uint8_t>{9, 9, 1, 2, 3, 1, 0, 0, 0, 1, 0, 1}));
  EXPECT_EQ(::PeriodReport(0, 5, 3, 7, 6, 11, 20), 0);
  EXPECT_EQ(Sent(0x29).at(0), (std::vector<uint8_t>{0, 5, 0, 3, 0, 7, 0, 6, 1, 1, 2, 0}));

  line_->ClearRecord();
  EXPECT_EQ(::PeriodReport(2, 5, 3, 7, 6, 11, 20), 0);
  EXPECT_FALSE(WasSent(0x28));
  EXPECT_FALSE(WasSent(0x29));

  line_->Always(0x28, {0x15});
  EXPECT_EQ(::PeriodReport(1, 5, 3, 7, 6, 11, 20), 24);
}

// After the report the port works with the time-outs it had before: those the
// application gave to CommunicationInit (1 s here), not the driver's own 3 s / 5 s.
TEST_F(Reports, LongReportReopensTheRecordedPortWhenTheApplicationChoseNone) {
  Connect(3, 1, 4);
  line_->Always(0x28, {0x06});
  ASSERT_EQ(::PeriodReport(1, 5, 1, 1, 5, 1, 31), 0);
  const auto openings = Openings();
  ASSERT_EQ(openings.size(), 2u);
  EXPECT_EQ(openings[0].port, 4);
  EXPECT_EQ(openings[0].readTimeoutMs, 90000u);
  EXPECT_EQ(openings[1].port, 4);
  EXPECT_EQ(openings[1].readTimeoutMs, 1000u);
  EXPECT_EQ(openings[1].writeTimeoutMs, 1000u);
}

TEST_F(Reports, LongReportReopensTheApplicationsChoice) {
  Connect(7, 1, 4);
  DefaultPrinter().SelectedPort = 6;
  DefaultPrinter().SelectedSpeed = 19200;
  line_->Always(0x31, {0x06}, 5, {0x00});
  ASSERT_EQ(::MonthlyReport(1, 5, 3), 0);
  ASSERT_EQ(::NumberReport(1, 5, 3), 0);
  const auto openings = Openings();
  ASSERT_EQ(openings.size(), 4u);
  EXPECT_EQ(openings[0].port, 6);
  EXPECT_EQ(openings[0].readTimeoutMs, 90000u);
  EXPECT_EQ(openings[1].port, 6);
  EXPECT_EQ(openings[1].readTimeoutMs, 1000u);
  EXPECT_EQ(openings[3].readTimeoutMs, 1000u);
}

TEST_F(Reports, APortOpenedByTheCallerItselfIsKeptOpen) {
  // OpenPort names the port to nobody: closing it for the long read would lose it.
  DefaultPrinter().Connected = true;
  DefaultPrinter().PortNumber = 0;
  line_->Always(0xFF, {0x06, 0x2C});
  line_->Always(0xFE, {0x06, 0x01, 0x01, 0x00});
  ASSERT_EQ(::OpenPort(3, 9600, 2, 7), 0);
  line_->Always(0x28, {0x06});
  EXPECT_EQ(::PeriodReport(1, 5, 1, 1, 5, 1, 31), 0);
  EXPECT_EQ(Openings().size(), 1u);
  EXPECT_EQ(Sent(0x28).size(), 1u);
  uint32_t writeMs = 0, readMs = 0;
  ASSERT_TRUE(DefaultPrinter().Link.CurrentPortTimeouts(writeMs, readMs));
  EXPECT_EQ(writeMs, 2000u);  // the caller's own, from OpenPort
  EXPECT_EQ(readMs, 7000u);
  EXPECT_EQ(::ClosePort(), 0);
}

TEST_F(Reports, PrintersVerdictOnAPeriodicReport) {
  Connect(6);
  const std::pair<uint8_t, int32_t> verdicts[] = {{1, 219}, {2, 220}, {3, 221},
                                                  {4, 222}, {5, 223}, {9, 0}};
  for (const auto& [verdict, code] : verdicts) {
    line_->ClearRecord();
    line_->Reply(0x31, {0x06}, 5, {verdict});
    EXPECT_EQ(::MonthlyReport(1, 5, 3), code);
    // Only an accepted report is followed; a refusal or an unknown verdict is not.
    EXPECT_FALSE(WasSent(0x95));
  }
  line_->Reply(0x31, {0x06}, 5, {0});
  line_->ClearRecord();
  EXPECT_EQ(::NumberReport(1, 1, 2), 0);
  EXPECT_TRUE(WasSent(0x95));
}

TEST_F(Reports, AnUnknownKindSendsNothingAndReadsNoStaleVerdict) {
  Connect(3, 1);
  // The last answer before the report (0xFE) leaves 0x01 where a verdict would be.
  EXPECT_EQ(::MonthlyReport(7, 5, 3), 0);
  EXPECT_FALSE(WasSent(0x31));
  EXPECT_TRUE(WasSent(0x95));
}

}  // namespace
}  // namespace kestradr::testing
