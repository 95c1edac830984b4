// The receipt state kept between the calls of one receipt. A connection that cancels
// the printer's receipt clears it; one that does not keeps an open receipt's state.
#pragma once

#include <array>
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

extern std::array<int32_t, 8> RateTotals;  // [1]..[7] for rates A..G, grosz
extern uint8_t ItemCount;
extern int32_t LastItemValue;
extern std::array<PaymentSlot, 5> PaymentTable;  // [1]..[4]
extern std::array<ExtraLine, 7> ExtraLineTable;  // [1]..[6]
// [1]..[7] for rates A..G: reserved in the printer's answer to the rate read before the
// receipt (CheckTaxRatesSet). A line on such a rate makes the printer cancel the whole
// receipt. Rates the answer did not carry are not known to be reserved.
extern std::array<bool, 8> RateReserved;
// The printer's receipt counter (0x66) read by ReceiptBegin, -1 when not known. It moves
// when the printer prints a receipt, so it tells whether an end whose answer was lost
// printed the receipt.
extern int32_t ReceiptCounterAtBegin;

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
extern EndStep EndProgress;
extern int32_t EndDiscount;      // the discount the printer was sent, 0 for none
extern uint8_t PaymentHalfSent;  // the slot whose 0x81 went out without its 0x82, or 0

// What the caller has yet to learn of the last receipt once the driver closed it.
enum class ClosedReceipt : uint8_t {
  kToldOrNone,        // its outcome was told (or there is no receipt)
  kPrinted,           // printed, but the caller was told a failure (following its printout)
  kEndedNotKnown,     // the end was acknowledged, but nothing could yet tell printed or not
  kDroppedNotKnown,   // dropped by a reconnection's cancel while its end was unanswered
};
extern ClosedReceipt LastReceipt;

void ClearPaymentTable();
void ClearExtraLineTable();
// What a connection that cancels the printer's receipt clears: the totals, the item
// count, both tables and the progress of the end.
void ClearReceiptState();
// A fresh start for the end of the receipt being begun.
void ResetEndProgress();
// The printer's receipt is gone (its cancel was sent by a reconnection): the driver
// drops its own. An end whose answer was lost is left to the receipt counter to tell.
void DropOpenReceipt();

}  // namespace kestradr
