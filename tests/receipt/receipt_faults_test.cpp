// Faults on the money path against the printer emulator: each case strikes one fault
// where it used to lose a sale or misreport an outcome, and checks what the till is told
// against what the printer did (its paper, its receipt counter, its open receipt).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "comm.hpp"
#include "event.hpp"
#include "main_thread_queue.hpp"
#include "messages.hpp"
#include "receipt_emulator_fixture.hpp"
#include "receipt_state.hpp"
#include "serial_device.hpp"

namespace kestradr::testing {
namespace {

class ReceiptFaults : public ReceiptOnEmulator {
 protected:
  // A framing error on the line, handed to the driver's thread the way a real port's
  // line event is: it is recorded when the driver next serves the hand-over.
  void LineError() {
    Line().RaiseLineError(kLineFraming);
    ASSERT_EQ(WaitForAny({&DefaultPrinter().Link.Queue().Pending()}, 5000), 0);
  }

  // "PARAGON ANULOWANY" printouts so far.
  int Cancellations() {
    EXPECT_EQ(::PrintControl(0, DefaultPrinter().DeviceType), kOk);  // what is queued reaches the paper
    const auto lines = Printer().Paper().Lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find("PARAGON ANULOWANY") != std::string::npos;
    }));
  }

  uint64_t faults_ = 0;
};

// The driver read the printer's rates before the receipt: a line on one it holds as
// reserved (C here) would make it cancel the whole receipt, so it is refused unsent.
TEST_F(ReceiptFaults, ItemOnAReservedRateIsRefusedAndTheReceiptGoesOn) {
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
  Line().ClearRecord();
  EXPECT_EQ(Item(1, "Towar w stawce C", 3, 1, 0, "szt", 100), kRateUndefined);
  EXPECT_EQ(Item(0, "Towar w stawce C", 3, 1, 0, "szt", 100), kRateUndefined);
  EXPECT_TRUE(Line().Commands().empty());
  EXPECT_TRUE(Printer().ReceiptOpen());
  EXPECT_EQ(DefaultPrinter().RateTotals[3], 0);
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kOk);
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().DayTotals()[0] + Printer().Memory().DayTotals()[1], 649);
}

// A framing error once fails every exchange with 20 until the port is opened again. The
// next call reopens it (without the cancel that opens a connection), and an open receipt
// goes on as if nothing happened.
TEST_F(ReceiptFaults, LineErrorReopensThePortAtTheNextCallAndTheReceiptGoesOn) {
  int32_t number = -1;
  const int opened = Line().OpenCount();
  LineError();
  EXPECT_EQ(::ReceiptNumber(&number), kOk);
  EXPECT_EQ(Line().OpenCount(), opened + 1);
  EXPECT_EQ(DefaultPrinter().Link.CommErrorCode(), 0u);
  EXPECT_EQ(::ReceiptNumber(&number), kOk);

  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), kOk);
  LineError();
  Line().ClearRecord();
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kOk);
  EXPECT_EQ(Line().OpenCount(), opened + 2);
  EXPECT_EQ(::ReceiptEnd(10), kOk);
  const auto commands = Line().Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x23), 0);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().DayTotals()[0], 810);  // 9.00 less 10 %
}

// CommunicationInit sends the cancel that opens every connection, and the printer drops
// the receipt: the driver drops it too, so the till hears 201 at once instead of 0 for
// items that go to no receipt. A receipt begun afterwards is whole.
TEST_F(ReceiptFaults, ReconnectionThatCancelsClosesTheReceiptInTheDriverToo) {
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), kOk);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), kOk);
  EXPECT_FALSE(Printer().ReceiptOpen());
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kReceiptNotOpen);
  EXPECT_EQ(::ReceiptEnd(0), kReceiptNotOpen);

  // The same through an operation that identifies the printer when it reconnects.
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), kOk);
  DefaultPrinter().Connected = false;
  std::string name;
  ASSERT_EQ(::DeviceName(name), kOk);
  EXPECT_FALSE(Printer().ReceiptOpen());
  EXPECT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kReceiptNotOpen);

  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kOk);
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().DayTotals()[1], 199);
}

// Receipt operations reconnect without identification, so without the cancel: the
// printer keeps the receipt, and the driver keeps its totals to end it with the right sum.
TEST_F(ReceiptFaults, ReconnectionThatDoesNotCancelKeepsTheReceiptsTotals) {
  ASSERT_EQ(::FillPayment(1, "Gotowka", 5000, 0), 0);
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), kOk);
  DefaultPrinter().Connected = false;  // as after a reconnection that failed to open the port
  const int opened = Line().OpenCount();
  Line().ClearRecord();
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kOk);
  EXPECT_EQ(Line().OpenCount(), opened + 1);
  EXPECT_EQ(::ReceiptEnd(10), kOk);
  const auto commands = Line().Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x23), 0);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), 0x81), 1);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().DayTotals()[0], 810);
  EXPECT_EQ(Printer().Memory().DayTotals()[1], 179);  // 1.99 less 10 %, half down
}

// An empty receipt whose end went unanswered: the end may have dropped it or not. It
// used to be reported ended (0) while the driver kept it open, and the next begin was
// refused (200). Now the cancel closes it on both sides; if that fails too, the till is
// told the failure and the receipt stays open on both sides.
TEST_F(ReceiptFaults, UnansweredEndOfAnEmptyReceiptClosesItOnBothSides) {
  for (const auto kind : {emu::FaultKind::kSilence, emu::FaultKind::kDropByte}) {
    ASSERT_EQ(::ReceiptBegin(), kOk);
    Printer().Faults().AddRule({uint8_t{0x24}, kind, 0, 1});
    EXPECT_EQ(::ReceiptEnd(0), kOk);
    EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
    EXPECT_FALSE(Printer().ReceiptOpen());
  }
  ASSERT_EQ(::ReceiptBegin(), kOk);
  Printer().Faults().AddRule({uint8_t{0x24}, emu::FaultKind::kSilence, 0, 1});
  Printer().Faults().AddRule({uint8_t{0x23}, emu::FaultKind::kSilence, 0, 1});
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  EXPECT_TRUE(Printer().ReceiptOpen());
  EXPECT_EQ(::ReceiptEnd(0), kOk);  // answered by NAK: dropped
  EXPECT_FALSE(Printer().ReceiptOpen());
  EXPECT_EQ(::ReceiptBegin(), kOk);
}

// A status byte has no check of its own: a NAK or a wrong byte where the status of 0x95
// belongs shows "cancelled" (bit 4). Believed, it made the driver drop a receipt the
// printer still held, and the till re-ring a sale whose receipt was still open.
TEST_F(ReceiptFaults, GarbledStatusIsNotTakenForACancelledReceipt) {
  ASSERT_EQ(::ReceiptBegin(), kOk);
  for (const auto fault : {emu::FaultKind::kNak, emu::FaultKind::kWrongFirstByte}) {
    Printer().Faults().AddRule({uint8_t{0x95}, fault, 0, 1});
    EXPECT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
    EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  }
  // The status read after the acknowledged end: four guards come before it.
  Printer().Faults().AddRule({uint8_t{0x95}, emu::FaultKind::kNak, 4, 1});
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().DayTotals()[0], 900);
}

// The printer acknowledged the end, so it printed the receipt or cancelled it; a lost
// status read after that must not send the till to ring the sale again. The driver
// reads the status again, and then the receipt counter, before it answers.
TEST_F(ReceiptFaults, AcknowledgedEndWhoseStatusReadFailsIsFoundPrinted) {
  for (const int lost : {1, 2}) {
    SCOPED_TRACE(lost);
    ASSERT_EQ(::ReceiptBegin(), kOk);
    ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
    // Four status guards precede the end; then the read (or two) after it are lost.
    Printer().Faults().AddRule({uint8_t{0x95}, emu::FaultKind::kSilence, 4, lost});
    EXPECT_EQ(::ReceiptEnd(0), kOk);
    EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  }
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 2);
  ASSERT_EQ(::ReceiptBegin(), kOk);
}

// Every fault the printer can show, at every exchange of the end (guards, discount,
// total, both payment blocks, the extra line, the end, the status after it): the till
// retries ReceiptEnd, and the receipt is printed once with the right total. The only
// exception is the printer's own: a discount or total it never took makes it cancel the
// receipt itself (a command sent without acknowledgement cannot be known lost), and
// then the till is told 210.
TEST_F(ReceiptFaults, RetriedEndFinishesTheReceiptOnceAfterAFaultAtAnyStep) {
  struct Strike {
    uint8_t command;
    int skip;
  };
  const Strike strikes[] = {{0x95, 0}, {0x1B, 0}, {0x95, 1}, {0x07, 0}, {0x95, 2}, {0x81, 0},
                            {0x82, 0}, {0x09, 0}, {0x95, 3}, {0x24, 0}, {0x95, 4}};
  const emu::FaultKind kinds[] = {
      emu::FaultKind::kNak,     emu::FaultKind::kSilence,  emu::FaultKind::kWrongFirstByte,
      emu::FaultKind::kGarbage, emu::FaultKind::kDropByte, emu::FaultKind::kDelay};
  int receipts = 0;
  int64_t sales = 0;
  for (const Strike& strike : strikes) {
    for (const auto kind : kinds) {
      SCOPED_TRACE(std::to_string(strike.command) + "/" + std::to_string(strike.skip) + " " +
                   std::string(emu::FaultName(kind)));
      int32_t free = 0;
      ASSERT_EQ(::FillPayment(1, "Gotowka", 2000, 0), kOk);
      ASSERT_EQ(::FillLines(0, "Dziekujemy", free), kOk);
      ASSERT_EQ(::ReceiptBegin(), kOk);
      ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 1005), kOk);
      const int cancellations = Cancellations();
      Printer().Faults().AddRule({strike.command, kind, strike.skip, 1});
      int32_t code = -1;
      for (int attempt = 0; attempt < 3 && code != kOk && code != kReceiptCancelled; ++attempt)
        code = ::ReceiptEnd(10);
      EXPECT_EQ(Printer().Faults().Injected(), static_cast<uint64_t>(++faults_));
      EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
      EXPECT_FALSE(Printer().ReceiptOpen());
      const bool lostSilently = (strike.command == 0x1B || strike.command == 0x07) &&
                                (kind == emu::FaultKind::kNak || kind == emu::FaultKind::kSilence ||
                                 kind == emu::FaultKind::kWrongFirstByte);
      if (lostSilently) {
        EXPECT_EQ(code, kReceiptCancelled);
        EXPECT_EQ(Cancellations(), cancellations + 1);
      } else {
        EXPECT_EQ(code, kOk);
        EXPECT_EQ(Cancellations(), cancellations);
        ++receipts;
        sales += 904;
      }
      EXPECT_EQ(Printer().Memory().ReceiptsToday(), receipts);
      EXPECT_EQ(Printer().Memory().DayTotals()[0], sales);
      ASSERT_EQ(::ErasePayments(), kOk);
      ASSERT_EQ(::EraseLines(), kOk);
    }
  }
}

// Printed, but its printout could not be followed: the till is told the failure, and a
// retry of ReceiptEnd follows the printout and answers 0 instead of 201 ("not begun"),
// which would send the till to ring the sale again.
TEST_F(ReceiptFaults, RetryAfterAPrintedEndWhosePrintoutWasNotFollowedAnswersPrinted) {
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
  // Four guards and the status after the end come first; supervision's first read is lost.
  Printer().Faults().AddRule({uint8_t{0x95}, emu::FaultKind::kSilence, 5, 1});
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(::ReceiptEnd(0), kReceiptNotOpen);  // told once; nothing more to end
  EXPECT_EQ(::ReceiptCancel(), kReceiptNotOpen);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
}

// The end's answer and the counter read after it both lost: nothing tells yet, and the
// receipt stays open. Asked to cancel it, the driver first finds out: the printer printed
// it, so there is nothing to cancel (201), and ReceiptEnd answers that it was printed.
TEST_F(ReceiptFaults, CancelAfterAnEndThatPrintedDoesNotReportItCancelled) {
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
  Printer().Faults().AddRule({uint8_t{0x24}, emu::FaultKind::kDropByte, 0, 1});
  Printer().Faults().AddRule({uint8_t{0x66}, emu::FaultKind::kSilence, 0, 1});
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  EXPECT_TRUE(DefaultPrinter().ReceiptOpen);
  EXPECT_FALSE(Printer().ReceiptOpen());  // it did print
  EXPECT_EQ(::ReceiptCancel(), kReceiptNotOpen);
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().CancelledToday(), 0);
}

// The same end, and then a reconnection (its cancel finds nothing open): the driver has
// closed the receipt, and ReceiptEnd still learns from the counter that it was printed.
// When the reconnection's cancel does find the receipt open, it was not printed: 210.
TEST_F(ReceiptFaults, ReconnectionAfterAnUnansweredEndLeavesItsOutcomeToBeLearnt) {
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
  Printer().Faults().AddRule({uint8_t{0x24}, emu::FaultKind::kDropByte, 0, 1});
  Printer().Faults().AddRule({uint8_t{0x66}, emu::FaultKind::kSilence, 0, 1});
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), kOk);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);

  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);
  Printer().Faults().AddRule({uint8_t{0x24}, emu::FaultKind::kSilence, 0, 1});
  Printer().Faults().AddRule({uint8_t{0x66}, emu::FaultKind::kSilence, 0, 1});
  EXPECT_EQ(::ReceiptEnd(0), kReceiveTimeout);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), kOk);
  EXPECT_EQ(::ReceiptEnd(0), kReceiptCancelled);
  EXPECT_EQ(::ReceiptEnd(0), kReceiptNotOpen);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().CancelledToday(), 1);
}

// The begin's acknowledgement lost: the printer began a receipt the driver does not know.
// It is cancelled at once, so both agree there is none and the till's retry begins one.
// A receipt the printer still holds for any other reason (a reconnection's cancel that
// never arrived) is cancelled when the next begin is refused for it.
TEST_F(ReceiptFaults, BeginWhoseAnswerIsLostLeavesNoReceiptBehind) {
  Printer().Faults().AddRule({uint8_t{0x21}, emu::FaultKind::kDropByte, 0, 1});
  EXPECT_EQ(::ReceiptBegin(), kReceiveTimeout);
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  EXPECT_FALSE(Printer().ReceiptOpen());
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450), kOk);

  Printer().Faults().AddRule({uint8_t{0x23}, emu::FaultKind::kNak, 0, 1});
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), kOk);  // a refused cancel is passed over
  EXPECT_TRUE(Printer().ReceiptOpen());
  EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
  ASSERT_EQ(::ReceiptBegin(), kOk);
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199), kOk);
  EXPECT_EQ(::ReceiptEnd(0), kOk);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Printer().Memory().DayTotals()[0], 0);  // the bread was never sold
  EXPECT_EQ(Printer().Memory().DayTotals()[1], 199);
}

}  // namespace
}  // namespace kestradr::testing
