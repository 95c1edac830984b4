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
  ClearPaymentTable();
  ClearExtraLineTable();
}

}  // namespace kestradr
