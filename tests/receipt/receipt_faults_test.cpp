// Faults on the money path against the printer emulator: each case strikes one fault
// where it used to lose a sale or misreport an outcome, and checks what the till is told
// against what the printer did (its paper, its receipt counter, its open receipt).
#include <gtest/gtest.h>

#include "messages.hpp"
#include "receipt_emulator_fixture.hpp"
#include "receipt_state.hpp"

namespace kestradr::testing {
namespace {

using ReceiptFaults = ReceiptOnEmulator;

TEST_F(ReceiptFaults, UnansweredRateReadIsPassedOnNotReadAsNoRates) {
  Printer().Faults().AddRule({uint8_t{0xD1}, emu::FaultKind::kSilence, 0, 1});
  EXPECT_EQ(::ReceiptBegin(), kReceiveTimeout);
  Printer().Faults().AddRule({uint8_t{0xD1}, emu::FaultKind::kWrongFirstByte, 0, 1});
  EXPECT_EQ(::ReceiptBegin(), kBadReply);
  EXPECT_FALSE(Printer().ReceiptOpen());
  // The printer was fine all along: the next attempt begins the receipt.
  EXPECT_EQ(::ReceiptBegin(), kOk);
  EXPECT_TRUE(Printer().ReceiptOpen());
}

}  // namespace
}  // namespace kestradr::testing
