// What became of the open receipt when the printer's answer to its end was lost or
// garbled. Two things tell: bit 4 of the print status (0x95), which the printer sets when
// it cancels the receipt and keeps until the next one, and the receipt counter (0x66),
// which moves when it prints one.
#pragma once

#include <cstdint>

namespace kestradr {

// Whether the printer has cancelled the open receipt. A set bit is believed only when a
// second read shows it too: a status byte has no check of its own, and a garbled one (a
// NAK read as status) shows the bit.
int32_t ReadCancelledFlag(bool& cancelled);

enum class EndOutcome {
  kPrinted,    // the printer printed the receipt
  kCancelled,  // the printer cancelled it
  kStillOpen,  // the printer has not ended it: the end may be sent again
  kNotKnown,   // printed or still open; nothing on the line tells which
};

// What became of a receipt whose end went out (EndProgress kEndSent or kEndAcknowledged).
// A port with a recorded line failure is reopened first, without the cancel (it would
// settle nothing). The code of the failed exchange comes back when it cannot be told.
int32_t LearnEndOutcome(EndOutcome& outcome);

// For a receipt the driver has closed without knowing whether it was printed: its end
// was acknowledged (`acknowledged`), or it was dropped by a reconnection's cancel while
// its end was unanswered. The counter tells first (a cancel since then has cleared the
// status); kPrinted or kCancelled, or kNotKnown when nothing tells.
int32_t LearnWhetherPrinted(bool acknowledged, EndOutcome& outcome);

}  // namespace kestradr
