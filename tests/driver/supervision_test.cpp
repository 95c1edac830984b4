// Print supervision, the receipt preconditions and the status-byte readers (which status
// bytes are asked for, which code each combination gives); tax rates and reports: the
// exact bytes, the refusals and the port reopened around the long reports. Each format's
// round trip, the empty-day rule and the models without periodic reports: on the emulator.
#include <gtest/gtest.h>

#include <array>

#include "driver_fixture.hpp"
#include "exchange.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using PrintSupervision = ScriptedDriver;

TEST_F(PrintSupervision, IdlePrinterNeedsOneRoundAndALunoIsNeverAskedItsMemory) {
  Connect(3);
  int pumps = 0;
  DefaultPrinter().SetMessagePumpCallback([&pumps] { ++pumps; });
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x95, 0x95, 0x94, 0x95}));
  EXPECT_EQ(pumps, 4);
  EXPECT_EQ(Captions().front(), "Trwa kontrola wydruku...");
  Captions().clear();
  EXPECT_EQ(::PrintControl(0, 3), 0);
  EXPECT_EQ(Captions().front(), "Trwa wydruk...");

  // Following a LUNO's printout: a document stays flagged in memory throughout, which
  // only 0x94 would show.
  Connect(7);
  line_->Always(0x94, {0x02});
  for (int i = 0; i < 6; ++i) line_->Reply(0x95, {0x01});
  EXPECT_EQ(::PrintControl(0, 7), 0);
  EXPECT_EQ(::PrintControl(0, 8), 0);
  EXPECT_FALSE(WasSent(0x94));
}

TEST_F(PrintSupervision, FaultBitsOfThePrintStatus) {
  Connect(3);
  struct Case {
    std::vector<uint8_t> print;  // successive 0x95 answers
    int32_t code;
  };
  const Case cases[] = {
      {{0x02}, 109},                    // paper out before anything
      {{0x00, 0x80}, 102},              // controller lost
      {{0x00, 0x04}, 103},              // printer failure
      {{0x00, 0x00, 0x06}, 103},        // failure outranks paper on the second read
      {{0x00, 0x00, 0x82}, 102},        // controller outranks paper as well
      {{0x00, 0x00, 0x01, 0x02}, 109},  // paper runs out while printing
  };
  for (const Case& c : cases) {
    line_->Forget(0x95);
    for (uint8_t byte : c.print) line_->Reply(0x95, {byte});
    line_->Always(0x95, {0x00});
    EXPECT_EQ(::PrintControl(1, 3), c.code);
  }
}

TEST_F(PrintSupervision, WhenAPrintoutIsResumed) {
  Connect(3);
  // A document waiting in memory: mode 0 polls until the printer starts it by itself,
  // mode 1 tells the printer to go on.
  line_->Reply(0x94, {0x02});
  line_->Reply(0x94, {0x02});
  EXPECT_EQ(::PrintControl(0, 3), 0);
  EXPECT_EQ(Sent(0x94).size(), 3u);
  line_->Reply(0x94, {0x02});
  line_->Reply(0x2A, {0x06});
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(Sent(0x2A).size(), 1u);

  // "011": printing, stopped for paper, paper back; then with paper still missing when
  // the resumption checks: 109 and no 0x2A.
  line_->ClearRecord();
  for (int i = 0; i < 3; ++i) line_->Reply(0x95, {0x41});
  line_->Reply(0x2A, {0x06});
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(Sent(0x2A).size(), 1u);
  line_->ClearRecord();
  for (int i = 0; i < 3; ++i) line_->Reply(0x95, {0x41});
  line_->Reply(0x95, {0x43});
  EXPECT_EQ(::PrintControl(0, 3), 109);
  EXPECT_FALSE(WasSent(0x2A));

  // PrintResume: refused during a receipt and without paper; the printer's NAK passed on.
  DefaultPrinter().ReceiptOpen = true;
  EXPECT_EQ(::PrintResume(), 200);
  DefaultPrinter().ReceiptOpen = false;
  line_->Reply(0x95, {0x02});
  EXPECT_EQ(::PrintResume(), 109);
  EXPECT_FALSE(WasSent(0x2A));
  line_->Reply(0x2A, {0x15});
  EXPECT_EQ(::PrintResume(), 24);
}

// Status bytes 0x9B, 0x94, 0x95, 0x96 and the code each precondition check gives.
struct StatusCase {
  uint8_t fiscal, memory, print, service;
  int32_t receiptConditions;
  int32_t receiptBegin;
};

class PreconditionTable : public ScriptedDriver,
                          public ::testing::WithParamInterface<StatusCase> {};

TEST_P(PreconditionTable, FirstFailingTestWins) {
  const StatusCase& c = GetParam();
  Connect(3);
  line_->Always(0xD1, {0x06, 0x08, 0x98, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0});
  line_->Always(0x9B, {c.fiscal});
  line_->Always(0x94, {c.memory});
  line_->Always(0x96, {c.service});
  // The preconditions read 0x95 once; supervision afterwards sees an idle printer.
  line_->Reply(0x95, {c.print});
  EXPECT_EQ(::ReceiptConditions(), c.receiptConditions);
  line_->Reply(0x95, {c.print});
  EXPECT_EQ(DefaultPrinter().CheckReceiptPreconditions(), c.receiptBegin);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, PreconditionTable,
    ::testing::Values(
        StatusCase{0x03, 0x00, 0x00, 0x00, 0, 0}, StatusCase{0x02, 0x10, 0x00, 0x00, 100, 100},
        StatusCase{0x05, 0x10, 0x00, 0x00, 105, 107},  // read-only moves
        StatusCase{0x03, 0x90, 0x00, 0x00, 107, 107},  // CMOS before link
        StatusCase{0x03, 0x80, 0x04, 0x40, 101, 101}, StatusCase{0x03, 0x80, 0x04, 0x00, 102, 102},
        StatusCase{0x01, 0x00, 0x04, 0x00, 103, 103}, StatusCase{0x05, 0x00, 0x00, 0x00, 105, 104},
        StatusCase{0x03, 0x48, 0x00, 0x00, 106, 106}, StatusCase{0x03, 0x08, 0x02, 0x00, 108, 108},
        StatusCase{0x03, 0x00, 0x02, 0x00, 109, 109}));

TEST_F(ScriptedDriver, ReceiptConditionsAsksTheLunoAboutTheEuro) {
  Connect(7);
  line_->Always(0xF5, {0x06, 0x07});
  EXPECT_EQ(::ReceiptConditions(), 237);
  EXPECT_FALSE(WasSent(0x9B));
  Connect(3);
  line_->Always(0xD1, {0x06, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0});
  EXPECT_EQ(::ReceiptConditions(), 113);  // no rate set; 0xF5 never asked
  EXPECT_FALSE(WasSent(0xF5));
  DefaultPrinter().ReceiptOpen = true;
  EXPECT_EQ(::ReceiptConditions(), 200);
}

TEST_F(ScriptedDriver, TaxRatesSetInEachFormat) {
  // Replies to 0xD1 (seven rates), 0xD0 (six) and 0x70 (four, a byte each); none: silent.
  struct Case {
    std::vector<uint8_t> d1, d0, r70;
    int32_t code;
  };
  const std::vector<uint8_t> nak = {0x15};
  const Case cases[] = {
      // All reserved is "no rates"; an exempt one counts as set.
      {{0x06, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0}, {}, {}, 113},
      {{0x06, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x80, 0, 0x40, 0}, {}, {}, 0},
      // A failure other than NAK is passed on: the printer did not say it has no rates.
      {{0x01}, {}, {}, 101},
      {{}, {}, {}, 21},
      {nak, {0x06, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0x01, 0xF4, 0xFF, 0}, {}, 0},
      // Whatever older replies left in the buffer past the four bytes does not count.
      {nak, nak, {0x06, 0xFF, 0xFF, 0xFF, 0xFF}, 113},
      {nak, nak, {0x06, 0xFF, 0xFF, 0xFF, 0x07}, 0},
  };
  Connect(3);
  for (const Case& c : cases) {
    line_->ClearRecord();
    if (!c.d1.empty()) line_->Reply(0xD1, c.d1);
    if (!c.d0.empty()) line_->Reply(0xD0, c.d0);
    if (!c.r70.empty()) line_->Reply(0x70, c.r70);
    DefaultPrinter().ReplyBuffer.fill(0x16);
    bool set = c.code != 0;
    EXPECT_EQ(DefaultPrinter().CheckTaxRatesSet(set), c.code) << c.code;
    EXPECT_EQ(set, c.code == 0) << c.code;
    EXPECT_EQ(WasSent(0xD0), !c.d0.empty()) << c.code;
  }
}

TEST_F(ScriptedDriver, FiscalModeAndTheLockByte) {
  Connect(7);
  int32_t flag = -1;
  line_->Reply(0x9B, {0x0B});
  EXPECT_EQ(DefaultPrinter().CheckFiscalMode(flag), 0);
  EXPECT_EQ(flag, 1);
  line_->Reply(0x9B, {0x03});
  EXPECT_EQ(DefaultPrinter().CheckFiscalMode(flag), 0);
  EXPECT_EQ(flag, 0);

  line_->Reply(0x60, {0x21});
  line_->Reply(0x5E, {0x44});
  uint8_t first = 0, second = 0;
  EXPECT_EQ(DefaultPrinter().ReadStatus94And96(first, second), 0);
  EXPECT_EQ(second, 0x21);
  EXPECT_EQ(first, 0x44);
  EXPECT_EQ(line_->Commands(), (std::vector<uint8_t>{0x9B, 0x9B, 0x60, 0x5E}));
  EXPECT_EQ(DefaultPrinter().ReadStatus94And96(first, second),
            21);  // nothing answers 0x60 any more
}

class TaxRates : public ScriptedDriver {
 protected:
  // No receipt since the daily report; LUNO models also ask their long counter.
  void ZeroCounter() {
    line_->Always(0x66, {0x06, 0x00, 0x00});
    line_->Always(0xF7, {0x06, 0, 0, 0, 0, 0, 0, 0});
  }
  int32_t Set(std::array<uint32_t, 7> r) {
    count_ = -1;
    return ::SetVAT(&count_, r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
  }
  int32_t count_ = -1;
};

TEST_F(TaxRates, ReadFailuresOtherThanNakAreReturnedWithTheOutputsUntouched) {
  Connect(7);
  std::array<uint32_t, 7> v = {77, 77, 77, 77, 77, 77, 77};
  const auto read = [&] {
    return ::ReadVAT(&count_, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
  };
  line_->Reply(0xD1, {0x01});
  EXPECT_EQ(read(), 101);
  line_->Reply(0xD1, {0x15});
  line_->Reply(0xD0, {0x42});
  EXPECT_EQ(read(), 23);
  line_->Reply(0xD1, {0x15});
  line_->Reply(0xD0, {0x15});
  EXPECT_EQ(read(), 21);  // 0x70 unanswered
  EXPECT_EQ(count_, -1);
  EXPECT_EQ(v[0], 77u);
  DefaultPrinter().ReceiptOpen = true;
  EXPECT_EQ(read(), 200);
}

TEST_F(TaxRates, SevenRateWriteBytesVerificationAndRefusal) {
  Connect(7);
  // Receipts since the daily report refuse the write; the LUNO's long counter counts too.
  line_->Always(0x66, {0x06, 0x01, 0x00});
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 218);
  line_->Always(0x66, {0x06, 0x00, 0x00});
  line_->Always(0xF7, {0x06, 0x00, 0x01, 0, 0, 0, 0, 0});
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 218);
  EXPECT_FALSE(WasSent(0xD5));

  ZeroCounter();
  Captions().clear();
  const std::vector<uint8_t> wire = {0x08, 0x98, 0x03, 0x20, 0x01, 0xF4, 0x00,
                                     0x00, 0x40, 0x00, 0x08, 0xFC, 0x80, 0x00};
  std::vector<uint8_t> reply = {0x06};
  reply.insert(reply.end(), wire.begin(), wire.end());
  line_->Reply(0xD5, {0x06});
  line_->Reply(0xD1, reply);
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 0);
  EXPECT_EQ(count_, 7);
  EXPECT_EQ(Sent(0xD5), std::vector<std::vector<uint8_t>>{wire});
  EXPECT_EQ(Captions().front(), Cp1250("Zapis stawek podatkowych..."));
  reply[2] = 0x99;  // the printer kept something else
  line_->Reply(0xD5, {0x06});
  line_->Reply(0xD1, reply);
  EXPECT_EQ(Set({2200, 800, 500, 0, 10000, 2300, 25500}), 217);
}

TEST_F(TaxRates, FourRateWriteSendsWholePercentsAndRefusesWhatWouldBeCut) {
  Connect(4);
  ZeroCounter();
  line_->Always(0x44, {0x06});
  line_->Always(0xD1, {0x15});
  line_->Always(0xD0, {0x15});
  line_->Always(0x70, {0x06, 22, 8, 0xFF, 0});
  EXPECT_EQ(Set({2200, 800, 25500, 0, 1, 2, 3}), 0);  // E..G are not the model's
  EXPECT_EQ(count_, 4);
  EXPECT_EQ(Sent(0x44).at(0), (std::vector<uint8_t>{22, 8, 0xFF, 0}));
  // Refused before the write: a rate with hundredths (it would be written as 22 %), and
  // one that would wrap its byte.
  for (const uint32_t a : {2250u, 2201u, 30000u}) {
    line_->ClearRecord();
    EXPECT_EQ(Set({a, 800, 25500, 0, 0, 0, 0}), 215) << a;
    EXPECT_FALSE(WasSent(0x44)) << a;
  }
}

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

// After a long report the port is reopened with the time-outs it had before: those the
// application gave to CommunicationInit (1 s here), not the driver's own 3 s / 5 s; on
// the port and speed the application chose, when it chose one.
TEST_F(Reports, LongReportReopensTheRecordedPortOrTheApplicationsChoice) {
  Connect(3, 1, 4);
  line_->Always(0x28, {0x06});
  line_->Always(0x31, {0x06}, 5, {0x00});
  ASSERT_EQ(::PeriodReport(1, 5, 1, 1, 5, 1, 31), 0);
  DefaultPrinter().SelectedPort = 6;
  DefaultPrinter().SelectedSpeed = 19200;
  ASSERT_EQ(::MonthlyReport(1, 5, 3), 0);
  const PortOpening want[] = {{4, 90000, 0}, {4, 1000, 1000}, {6, 90000, 0}, {6, 1000, 1000}};
  const auto openings = Openings();
  ASSERT_EQ(openings.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(openings[i].port, want[i].port) << i;
    EXPECT_EQ(openings[i].readTimeoutMs, want[i].readTimeoutMs) << i;
    EXPECT_TRUE(i % 2 == 0 || openings[i].writeTimeoutMs == 1000u) << i;
  }
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
