// What became of the open receipt when the printer's answer to its end was lost or
// garbled. Two things tell: bit 4 of the print status (0x95), which the printer sets when
// it cancels the receipt and keeps until the next one, and the receipt counter (0x66),
// which moves when it prints one.
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {
namespace {
constexpr uint8_t kPrinterCancelledReceipt = 0x10;  // bit 4 of the 0x95 status
}  // namespace

int32_t Printer::ReadCancelledFlag(bool& cancelled) {
  uint8_t status = 0;
  const uint8_t command = cmd::kPrintStatus.code;
  if (const int32_t result = ReadStatusByte(command, status); result != TAURAVAT_OK) return result;
  cancelled = (status & kPrinterCancelledReceipt) != 0;
  if (!cancelled) return TAURAVAT_OK;
  if (const int32_t result = ReadStatusByte(command, status); result != TAURAVAT_OK) return result;
  cancelled = (status & kPrinterCancelledReceipt) != 0;
  return TAURAVAT_OK;
}

// kPrinted when the counter moved since ReceiptBegin, kNotKnown when it cannot tell
// (never read, or a counter the model may keep at 0), kStillOpen otherwise (not
// printed: open or cancelled, for the status to tell).
int32_t Printer::CompareReceiptCounter(EndOutcome& says) {
  int32_t now = 0;
  if (const int32_t result = ReadReceiptCounter(now); result != TAURAVAT_OK) return result;
  if (ReceiptCounterAtBegin < 0) {
    says = EndOutcome::kNotKnown;
  } else if (now != ReceiptCounterAtBegin) {
    says = EndOutcome::kPrinted;
  } else if (!CounterTells(now)) {
    says = EndOutcome::kNotKnown;
  } else {
    says = EndOutcome::kStillOpen;
  }
  return TAURAVAT_OK;
}

// Acknowledged: the printer closed the receipt, printed or cancelled. The status is read
// (again, if the first read fails). When it says "cancelled", or cannot be read, the
// receipt counter decides if it can: its answer is framed by an acknowledgement, a surer
// witness than a status byte that two garbled reads in a row can fake.
int32_t Printer::LearnAcknowledgedEnd(EndOutcome& outcome) {
  bool cancelled = false;
  int32_t failure = ReadCancelledFlag(cancelled);
  if (failure != TAURAVAT_OK && ReopenFailedPort() == TAURAVAT_OK)
    failure = ReadCancelledFlag(cancelled);
  if (failure == TAURAVAT_OK && !cancelled) {
    outcome = EndOutcome::kPrinted;
    return TAURAVAT_OK;
  }
  EndOutcome says = EndOutcome::kNotKnown;
  if (CompareReceiptCounter(says) == TAURAVAT_OK && says != EndOutcome::kNotKnown) {
    outcome = says == EndOutcome::kPrinted ? EndOutcome::kPrinted : EndOutcome::kCancelled;
    return TAURAVAT_OK;
  }
  if (failure != TAURAVAT_OK) return failure;
  outcome = EndOutcome::kCancelled;
  return TAURAVAT_OK;
}

// Unanswered: the counter tells whether the printer printed the receipt; if it did not,
// bit 4 whether it cancelled it; otherwise it still holds it.
int32_t Printer::LearnUnansweredEnd(EndOutcome& outcome) {
  if (const int32_t result = ReopenFailedPort(); result != TAURAVAT_OK) return result;
  EndOutcome says = EndOutcome::kNotKnown;
  if (const int32_t result = CompareReceiptCounter(says); result != TAURAVAT_OK) return result;
  if (says == EndOutcome::kPrinted) {
    outcome = says;
    return TAURAVAT_OK;
  }
  bool cancelled = false;
  if (const int32_t result = ReadCancelledFlag(cancelled); result != TAURAVAT_OK) return result;
  outcome = cancelled ? EndOutcome::kCancelled : says;
  return TAURAVAT_OK;
}

int32_t Printer::LearnEndOutcome(EndOutcome& outcome) {
  return EndProgress == EndStep::kEndAcknowledged ? LearnAcknowledgedEnd(outcome)
                                                  : LearnUnansweredEnd(outcome);
}

int32_t Printer::LearnWhetherPrinted(bool acknowledged, EndOutcome& outcome) {
  if (const int32_t result = ReopenFailedPort(); result != TAURAVAT_OK) return result;
  EndOutcome says = EndOutcome::kNotKnown;
  if (const int32_t result = CompareReceiptCounter(says); result != TAURAVAT_OK) return result;
  if (says == EndOutcome::kNotKnown && acknowledged) {
    bool cancelled = false;
    if (const int32_t result = ReadCancelledFlag(cancelled); result != TAURAVAT_OK) return result;
    says = cancelled ? EndOutcome::kCancelled : EndOutcome::kPrinted;
  }
  // Not printed and not open: the printer cancelled it, or the reconnection's cancel did.
  outcome = says == EndOutcome::kStillOpen ? EndOutcome::kCancelled : says;
  return TAURAVAT_OK;
}

}  // namespace kestradr
