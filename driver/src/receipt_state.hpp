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

void ClearPaymentTable();
void ClearExtraLineTable();
// What a connection that cancels the printer's receipt clears: the totals, the item
// count and both tables.
void ClearReceiptState();

}  // namespace kestradr
