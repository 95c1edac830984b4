#include "printer_rules.hpp"

#include <string>

#include "result_codes.hpp"
#include "tauravat.h"

namespace tauravatd {
namespace {

// TAURA II, LUNO, LUNO F and an unidentified device take the extended item line and
// payment forms.
bool IsExtendedModel(int32_t type) {
  return type == 3 || type == 7 || type == 8 || type == 11;
}

std::string Item(size_t index) {
  return "items[" + std::to_string(index) + "]";
}

}  // namespace

ModelLimits LimitsOf(int32_t deviceType) {
  ModelLimits limits;
  limits.highestRate = deviceType == 0 ? 5 : 7;
  const bool extended = IsExtendedModel(deviceType);
  limits.maxQuantityUnits = extended ? 9'999'999 : 999'999;
  limits.minNameCharacters = extended ? 5 : 10;
  limits.paymentForms = extended;
  return limits;
}

std::optional<RequestError> CheckAgainstPrinter(const ReceiptRequest& request,
                                                const PrinterFacts& printer) {
  const ModelLimits limits = LimitsOf(printer.device.type);
  for (size_t i = 0; i < request.items.size(); ++i) {
    const SaleLine& item = request.items[i];
    const std::string letter(1, static_cast<char>('A' + item.rate - 1));
    if (item.rate > limits.highestRate || item.rate > printer.rates.count ||
        printer.rates.values[static_cast<size_t>(item.rate - 1)] == TAURAVAT_RATE_RESERVED) {
      return RequestError{kRateUndefined, Item(i) + ".rate",
                          "rate " + letter + " is not in use on this printer (reserved)"};
    }
    if (item.quantity.units > limits.maxQuantityUnits) {
      return RequestError{kQuantityOutOfRange, Item(i) + ".quantity",
                          "this model takes at most " + std::to_string(limits.maxQuantityUnits) +
                              " counted in the quantity's last decimal place"};
    }
    // The driver's own count.
    int32_t significant = 0;
    if (tauravat_chars_in_article_name(item.name.c_str(), &significant) != kOk ||
        significant < limits.minNameCharacters) {
      return RequestError{kNameTooShort, Item(i) + ".name",
                          "this model needs at least " + std::to_string(limits.minNameCharacters) +
                              " letters or digits among the name's first 28 characters"};
    }
  }
  if (!request.payments.empty() && !limits.paymentForms) {
    return RequestError{kCommandUnavailable, "payments", "this model prints no payment forms"};
  }
  return std::nullopt;
}

}  // namespace tauravatd
