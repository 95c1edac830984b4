// Print supervision, the receipt preconditions and the status-byte readers: which
// status bytes are asked for and which code each combination gives.
#include <gtest/gtest.h>

#include "driver_fixture.hpp"
#include "exchange.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

using PrintSupervision = ScriptedDriver;

TEST_F(PrintSupervision, IdlePrinterNeedsOneRound) {
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
}

TEST_F(PrintSupervision, FollowingALunoPrintoutNeverAsksTheMemoryStatus) {
  Connect(7);
  // A document stays flagged in memory throughout: only 0x94 would show it.
  line_->Always(0x94, {0x02});
  for (int i = 0; i < 6; ++i) line_->Reply(0x95, {0x01});
  EXPECT_EQ(::PrintControl(0, 7), 0);
  EXPECT_FALSE(WasSent(0x94));
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

TEST_F(PrintSupervision, DocumentWaitingIsResumedBeforeAPrintoutAndFollowedAfterOne) {
  Connect(3);
  // Mode 0 keeps polling until the printer starts the document by itself.
  line_->Reply(0x94, {0x02});
  line_->Reply(0x94, {0x02});
  EXPECT_EQ(::PrintControl(0, 3), 0);
  EXPECT_FALSE(WasSent(0x2A));
  EXPECT_EQ(Sent(0x94).size(), 3u);

  // Mode 1 tells the printer to go on.
  line_->ClearRecord();
  line_->Reply(0x94, {0x02});
  line_->Reply(0x2A, {0x06});
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(Sent(0x2A).size(), 1u);
}

TEST_F(PrintSupervision, StoppedForPaperIsResumedOnlyWithPaperBack) {
  Connect(3);
  // "011": printing, stopped for paper, paper back.
  for (int i = 0; i < 3; ++i) line_->Reply(0x95, {0x41});
  line_->Reply(0x2A, {0x06});
  EXPECT_EQ(::PrintControl(1, 3), 0);
  EXPECT_EQ(Sent(0x2A).size(), 1u);

  // Paper still missing when the resumption checks: 109 and no 0x2A.
  line_->ClearRecord();
  for (int i = 0; i < 3; ++i) line_->Reply(0x95, {0x41});
  line_->Reply(0x95, {0x43});
  EXPECT_EQ(::PrintControl(0, 3), 109);
  EXPECT_FALSE(WasSent(0x2A));
}

TEST_F(PrintSupervision, ResumeRefusedDuringAReceiptAndWithoutPaper) {
  Connect(3);
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

}  // namespace
}  // namespace kestradr::testing
