// Prints a checked receipt plan with package or subtotal lines, which a whole sale
// (tauravat_print_sale) does not hold, line by line: payments and extra lines, begin, the
// lines in order, end with the discount. An end whose outcome is not final is tried again
// (it resumes, never prints twice); a receipt that still fails is cancelled, so the printer
// is not left with a receipt open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "receipt_plan.hpp"
#include "tauravat.h"

namespace tauravat::cli {

struct ReceiptOutcome {
  int32_t code = 0;             // 0: printed
  std::string step;             // what failed, e.g. "items[3]"
  int32_t cancelCode = -1;      // the cancellation's result when one was tried, else -1
  std::vector<int64_t> values;  // the value of each article line sent, in grosz
  int64_t sum = 0;              // sales minus cancellations, before the discount
};

// The plan has passed CheckPlan (receipt_sale.hpp) for the connected printer.
ReceiptOutcome RunReceipt(tauravat_printer* printer, const ReceiptPlan& plan);

}  // namespace tauravat::cli
