// The slots and marks of the receipt state a Printer keeps between the calls of one
// receipt.
#pragma once

#include <cstdint>
#include <string>

namespace kestradr {

struct PaymentSlot {
  std::string name;  // empty: slot free; 13 characters once filled
  int32_t firstAmount = 0;
  int32_t secondAmount = 0;
};

struct ExtraLine {
  uint8_t code = 0xFF;  // 0xFF: slot free
  std::string text;
};

// How far ReceiptEnd got with the open receipt, so that a retry resumes after the last
// step the printer already has: a second total, or a discount after it, makes the
// printer cancel the whole receipt. Payment slots and extra lines that went out are
// emptied from their tables and need no mark of their own.
enum class EndStep : uint8_t {
  kNothingSent,
  kDiscountSent,     // 0x1B went out with EndDiscount
  kSumSent,          // 0x07 went out: the printer holds the total
  kEndSent,          // 0x24 went out unanswered: ended or not, not known yet
  kEndAcknowledged,  // 0x24 acknowledged: the printer closed the receipt, how not known yet
};

// What the caller has yet to learn of the last receipt once the driver closed it.
enum class ClosedReceipt : uint8_t {
  kToldOrNone,       // its outcome was told (or there is no receipt)
  kPrinted,          // printed, but the caller was told a failure (following its printout)
  kEndedNotKnown,    // the end was acknowledged, but nothing could yet tell printed or not
  kDroppedNotKnown,  // dropped by a reconnection's cancel while its end was unanswered
};

// What became of a receipt whose end went out.
enum class EndOutcome : uint8_t {
  kPrinted,    // the printer printed the receipt
  kCancelled,  // the printer cancelled it
  kStillOpen,  // the printer has not ended it: the end may be sent again
  kNotKnown,   // printed or still open; nothing on the line tells which
};

}  // namespace kestradr
