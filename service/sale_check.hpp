// A receipt checked by the driver's own rules (tauravat_check_sale) for the printer it is
// for: its model and the rates it holds. The printer cancels a whole receipt on a line it
// refuses, and the driver refuses a line by these same rules once the receipt has begun, so
// a receipt is checked here before it is journalled and again before it is printed.
#pragma once

#include <optional>
#include <vector>

#include "printer_backend.hpp"
#include "receipt_request.hpp"
#include "request_error.hpp"
#include "tauravat.h"

namespace tauravatd {

// What the printer told at its last identification.
struct PrinterFacts {
  DeviceInfo device;
  RateTable rates;
};

// A request as the driver's whole sale. The sale points into this object, which can be
// neither copied nor moved. Without `values` each line's value is left to the driver, which
// computes it as it will send it; with them the lines carry the service's own.
class DriverSale {
 public:
  DriverSale(const ReceiptRequest& request, bool values);
  DriverSale(const DriverSale&) = delete;
  DriverSale& operator=(const DriverSale&) = delete;

  const tauravat_sale& Sale() const { return sale_; }

 private:
  std::vector<tauravat_item> items_;
  std::vector<tauravat_payment> payments_;
  std::vector<tauravat_line> lines_;
  tauravat_sale sale_{};
};

// The first rule of the driver that `request` breaks on `printer`, with the field at fault
// named as the request names it ("items[2].price", "payments[0].amount"). Without a printer
// (not yet identified) only what no model takes is refused: the check of a device of
// unknown type, the most lenient model, with no rate known to be reserved.
std::optional<RequestError> CheckSale(const ReceiptRequest& request, const PrinterFacts* printer);

}  // namespace tauravatd
