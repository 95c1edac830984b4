// The handle interface: the receipt, its payment forms and extra lines, and the
// printer's running totals. Amounts arrive as 64-bit grosz and are refused,
// never wrapped, when they do not fit the printer's 32 bits.
#include <charconv>
#include <cstddef>
#include <string>
#include <system_error>

#include "handle.hpp"
#include "handle_marshal.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

constexpr size_t kUnitLength = 4;

// The printer's decimal total as a number.
int32_t TotalOut(const std::string& digits, int64_t* total) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return kInternalError;
  *total = value;
  return kOk;
}

// The item as the printer's line takes it, checked before anything is sent: a
// line the printer refuses cancels the whole receipt.
struct ItemLine {
  std::string name;
  std::string unit;
  int32_t quantity = 0;
  int32_t price = 0;
  int32_t value = 0;
};

int32_t PrepareItem(const tauravat_item& item, ItemLine& line) {
  if (item.size < sizeof(tauravat_item)) return kParameterOutOfRange;
  if (item.kind != TAURAVAT_ITEM_SALE && item.kind != TAURAVAT_ITEM_CANCEL)
    return kParameterOutOfRange;
  const auto name = Utf8In(item.name);
  const auto unit = Utf8In(item.unit == nullptr ? "" : item.unit);
  if (!name || !unit) return kParameterOutOfRange;
  // Cut to four characters, a unit would print as another one.
  if (unit->size() > kUnitLength) return kUnitOutOfRange;
  const auto quantity = Narrow(item.quantity);
  if (!quantity) return kQuantityOutOfRange;
  const auto price = Narrow(item.price);
  if (!price) return kPriceOutOfRange;
  if (item.value < 0) return kParameterOutOfRange;
  const auto value = Narrow(item.value);
  if (!value) return kLineValueTooLarge;
  line = {*name, *unit, *quantity, *price, *value};
  return kOk;
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_begin(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.ReceiptBegin(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_item(tauravat_printer* printer,
                                                                    const tauravat_item* item,
                                                                    int64_t* value) {
  if (item == nullptr || item->name == nullptr) return kNullArgument;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    ItemLine line;
    if (const int32_t result = PrepareItem(*item, line); result != kOk) return result;
    const int32_t typ = item->kind == TAURAVAT_ITEM_SALE ? 1 : 0;
    const int32_t result =
        connection.ReceiptItem(typ, line.name, item->rate, item->message, line.quantity,
                               item->decimals, line.unit, line.price, line.value);
    if (result == kOk && value != nullptr) *value = line.value;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_package_item(tauravat_printer* printer,
                                                                    int32_t kind,
                                                                    uint16_t first_value,
                                                                    uint16_t second_value,
                                                                    int64_t amount) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    const auto narrowed = Narrow(amount);
    if (!narrowed) return kParameterOutOfRange;
    return connection.PackageItem(kind, first_value, second_value, *narrowed);
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
  if (name == nullptr) return kNullArgument;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    const auto text = Utf8In(name);
    const auto first = Narrow(first_amount);
    const auto second = Narrow(second_amount);
    if (!text || !first || !second) return kParameterOutOfRange;
    return connection.FillPayment(number, *text, *first, *second);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_fill_lines(tauravat_printer* printer,
                                                                  int32_t code, const char* text,
                                                                  int32_t* free_lines) {
  if (text == nullptr) return kNullArgument;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    const auto line = Utf8In(text);
    if (!line) return kParameterOutOfRange;
    int32_t free = 0;
    const int32_t result = connection.FillLines(code, *line, free);
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
  if (total == nullptr) return kNullArgument;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    std::string digits;
    if (const int32_t result = connection.ReadTotal(digits); result != kOk) return result;
    return TotalOut(digits, total);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_sel_total(tauravat_printer* printer,
                                                                      const char* selector,
                                                                      int64_t* total) {
  if (selector == nullptr || total == nullptr) return kNullArgument;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    std::string digits;
    if (const int32_t result = connection.ReadSelTotal(selector, digits); result != kOk)
      return result;
    return TotalOut(digits, total);
  });
}
