#include "receipt_state.hpp"

#include "connection.hpp"

namespace kestradr {

std::array<int32_t, 8> RateTotals{};
uint8_t ItemCount = 0;
int32_t LastItemValue = 0;
std::array<PaymentSlot, 5> PaymentTable{};
std::array<ExtraLine, 7> ExtraLineTable{};  // every slot starts free
std::array<bool, 8> RateReserved{};
int32_t ReceiptCounterAtBegin = -1;
EndStep EndProgress = EndStep::kNothingSent;
int32_t EndDiscount = 0;
uint8_t PaymentHalfSent = 0;
ClosedReceipt LastReceipt = ClosedReceipt::kToldOrNone;

void ClearPaymentTable() { PaymentTable.fill(PaymentSlot{}); }

void ClearExtraLineTable() { ExtraLineTable.fill(ExtraLine{}); }

void ClearReceiptState() {
  RateTotals.fill(0);
  ItemCount = 0;
  ClearPaymentTable();
  ClearExtraLineTable();
  ResetEndProgress();
}

void ResetEndProgress() {
  EndProgress = EndStep::kNothingSent;
  EndDiscount = 0;
  PaymentHalfSent = 0;
}

void DropOpenReceipt() {
  if (ReceiptOpen && EndProgress >= EndStep::kEndSent)
    LastReceipt = ClosedReceipt::kDroppedNotKnown;
  ReceiptOpen = false;
  ClearReceiptState();
}

}  // namespace kestradr
