#include "receipt_total.hpp"

#include <array>

namespace tauravatd {

int64_t ReceiptTotal(const ReceiptRequest& request) {
  std::array<int64_t, 8> perRate{};
  for (const SaleLine& item : request.items) perRate[static_cast<size_t>(item.rate)] += item.value;
  const int64_t keep = 100 - request.discountPercent;
  int64_t total = 0;
  for (const int64_t sum : perRate) {
    const int64_t scaled = sum * keep;
    total += scaled / 100 + (scaled % 100 > 50 ? 1 : 0);
  }
  return total;
}

}  // namespace tauravatd
