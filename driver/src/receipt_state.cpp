#include "printer.hpp"

namespace kestradr {

void Printer::ClearPaymentTable() {
  PaymentTable.fill(PaymentSlot{});
}

void Printer::ClearExtraLineTable() {
  ExtraLineTable.fill(ExtraLine{});
}

void Printer::ClearReceiptState() {
  RateTotals.fill(0);
  ItemCount = 0;
  ClearPaymentTable();
  ClearExtraLineTable();
  ResetEndProgress();
}

void Printer::ResetEndProgress() {
  EndProgress = EndStep::kNothingSent;
  EndDiscount = 0;
  PaymentHalfSent = 0;
}

void Printer::DropOpenReceipt() {
  if (ReceiptOpen && EndProgress >= EndStep::kEndSent) LastReceipt = ClosedReceipt::kDroppedNotKnown;
  ReceiptOpen = false;
  ClearReceiptState();
}

}  // namespace kestradr
