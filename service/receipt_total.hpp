// The receipt's total as the driver sends it and the printer prints it.
#pragma once

#include <cstdint>

#include "receipt_request.hpp"

namespace tauravatd {

// Per rate: the rate's sum less the discount, a remainder of exactly half a grosz
// rounded down and more than half rounded up; then the rates summed.
int64_t ReceiptTotal(const ReceiptRequest& request);

}  // namespace tauravatd
