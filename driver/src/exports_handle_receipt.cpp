// The handle interface: the receipt, its payment forms and extra lines, and the
// printer's running totals. Amounts arrive as 64-bit grosz and are refused,
// never wrapped, when they do not fit the printer's 32 bits.
#include <cstddef>
#include <string>

#include "check.hpp"
#include "handle.hpp"
#include "handle_marshal.hpp"
#include "model_info.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

// The rates the printer held reserved when the receipt began (its answer to the rate
// read of the preconditions); the others are not known to be.
tauravat_rates ReservedRates(const Printer& printer) {
  tauravat_rates rates{sizeof rates, 7, {}};
  for (size_t rate = 1; rate <= 7; ++rate)
    if (printer.RateReservedAt(rate)) rates.values[rate - 1] = TAURAVAT_RATE_RESERVED;
  return rates;
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_begin(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.ReceiptBegin(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_item(tauravat_printer* printer,
                                                                    const tauravat_item* item,
                                                                    int64_t* value) {
  if (item == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (const int32_t result = connection.Prologue(false, false); result != TAURAVAT_OK)
      return result;
    if (!connection.InReceipt()) return TAURAVAT_E_RECEIPT_NOT_OPEN;
    // Package and subtotal lines have calls of their own.
    if (item->size >= kItemSize &&
        (item->kind == TAURAVAT_ITEM_PACKAGE || item->kind == TAURAVAT_ITEM_SUBTOTAL))
      return TAURAVAT_E_PARAMETER_RANGE;
    // The rules of tauravat_check_item for this printer: a line the printer refuses
    // cancels the whole receipt, so nothing goes out until all of them hold.
    const tauravat_rates reserved = ReservedRates(connection);
    Problem problem;
    if (const int32_t result = CheckItem(ModelInfoOf(ModelOf(connection.IdentifiedType())),
                                         &reserved, *item, "", problem);
        result != TAURAVAT_OK)
      return result;
    const auto name = Utf8In(item->name);
    const auto unit = Utf8In(item->unit == nullptr ? "" : item->unit);
    if (!name || !unit) return TAURAVAT_E_INTERNAL;  // the check let through what cannot travel
    int64_t sent = 0;
    const int32_t result = connection.ReceiptItem(CoreLine(*item, *name, *unit), sent);
    if (result == TAURAVAT_OK && value != nullptr) *value = sent;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_package_item(tauravat_printer* printer,
                                                                    int32_t kind,
                                                                    uint16_t first_value,
                                                                    uint16_t second_value,
                                                                    int64_t amount) {
  return WithPrinter(printer, [&](Printer& connection) {
    return connection.PackageItem({.kind = static_cast<PackageKind>(kind),
                                   .firstValue = first_value,
                                   .secondValue = second_value,
                                   .amount = amount});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_subtotal(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.PrintSubtotal(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_end(tauravat_printer* printer,
                                                                   int32_t discount_percent) {
  return WithPrinter(printer,
                     [&](Printer& connection) { return connection.ReceiptEnd(discount_percent); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_cancel(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.ReceiptCancel(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_fill_payment(tauravat_printer* printer,
                                                                    int32_t number,
                                                                    const char* name,
                                                                    int64_t first_amount,
                                                                    int64_t second_amount) {
  if (name == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    const auto text = Utf8In(name);
    if (!text) return TAURAVAT_E_PARAMETER_RANGE;
    return connection.FillPayment({.slot = number,
                                   .name = *text,
                                   .firstAmount = first_amount,
                                   .secondAmount = second_amount});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_fill_lines(tauravat_printer* printer,
                                                                  int32_t code, const char* text,
                                                                  int32_t* free_lines) {
  if (text == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    const auto line = Utf8In(text);
    if (!line) return TAURAVAT_E_PARAMETER_RANGE;
    int32_t free = 0;
    const int32_t result = connection.FillLines({.code = code, .text = *line}, free);
    if (free_lines != nullptr) *free_lines = free;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_erase_payments(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.ErasePayments(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_erase_lines(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.EraseLines(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_total(tauravat_printer* printer,
                                                                  int64_t* total) {
  if (total == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer,
                     [&](Printer& connection) -> int32_t { return connection.ReadTotal(*total); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_sel_total(tauravat_printer* printer,
                                                                      const char* selector,
                                                                      int64_t* total) {
  if (selector == nullptr || total == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    return connection.ReadSelTotal(SelectorOf(selector), *total);
  });
}
