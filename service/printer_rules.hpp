// The checks of a receipt that depend on the printer it is for: its model's bounds and
// the rates it holds. A receipt that passes them is not refused half-way by the driver
// or the printer (which cancels the whole receipt on a line it refuses).
#pragma once

#include <optional>

#include "printer_backend.hpp"
#include "receipt_request.hpp"
#include "request_error.hpp"

namespace tauravatd {

struct PrinterFacts {
  DeviceInfo device;
  RateTable rates;
};

std::optional<RequestError> CheckAgainstPrinter(const ReceiptRequest& request,
                                                const PrinterFacts& printer);

// What a model takes, by device type, as the driver bounds each item line.
struct ModelLimits {
  int32_t highestRate = 7;
  int64_t maxQuantityUnits = 9'999'999;
  int32_t minNameCharacters = 5;  // significant ones among the first 28
  bool paymentForms = true;
};

ModelLimits LimitsOf(int32_t deviceType);

}  // namespace tauravatd
