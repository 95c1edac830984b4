#include "kestra/emu/receipt.hpp"

#include <numeric>

namespace kestra::emu {
namespace {

uint32_t Le32(std::span<const uint8_t> b, std::size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

int64_t Pow10(int n) {
  int64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

}  // namespace

std::optional<ItemLine> ParseItemLine(std::span<const uint8_t> block) {
  if (block.size() != kItemBlockSize) return std::nullopt;
  if (block[0] != ' ' && block[0] != '-') return std::nullopt;
  if (block[29] < '0' || block[29] > '9') return std::nullopt;
  if (block[34] > 4 || block[43] != 0x1B) return std::nullopt;
  ItemLine line;
  line.cancellation = block[0] == '-';
  line.name.assign(block.begin() + 1, block.begin() + 29);
  line.message = static_cast<uint8_t>(block[29] - '0');
  line.quantity = Le32(block, 30);
  line.decimals = block[34];
  line.unit.assign(block.begin() + 35, block.begin() + 39);
  line.price = Le32(block, 39);
  line.rateCode = block[44];
  line.value = Le32(block, 45);
  return line;
}

int RateIndexOfCode(uint8_t code) {
  switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
      return code - 1;
    case 5:
      return 6;  // G
    case 6:
      return 4;  // E
    case 7:
      return 5;  // F
    default:
      return -1;
  }
}

int64_t LineValue(uint32_t quantity, uint8_t decimals, uint32_t price) {
  const int64_t scale = Pow10(decimals);
  const int64_t product = int64_t{quantity} * int64_t{price};
  return (2 * product + scale) / (2 * scale);
}

int64_t Discounted(int64_t amount, int percent) {
  const int64_t n = amount * (100 - percent);
  int64_t q = n / 100;
  if (n % 100 > 50) ++q;
  return q;
}

int64_t Receipt::Gross() const {
  return std::accumulate(sales_.begin(), sales_.end(), int64_t{0});
}

RateAmounts Receipt::DiscountedSales() const {
  RateAmounts out{};
  for (std::size_t i = 0; i < sales_.size(); ++i) out[i] = Discounted(sales_[i], discount_);
  return out;
}

int64_t Receipt::DiscountedSum() const {
  const auto d = DiscountedSales();
  return std::accumulate(d.begin(), d.end(), int64_t{0});
}

bool Receipt::AddItem(const ItemLine& line, const FiscalMemory& memory, std::string& why) {
  if (stage_ != Stage::kItems) {
    why = "item after the total";
    return false;
  }
  const int rate = RateIndexOfCode(line.rateCode);
  if (!memory.RateUsable(rate)) {
    why = "rate not in use";
    return false;
  }
  if (line.quantity == 0 || line.price == 0) {
    why = "zero quantity or price";
    return false;
  }
  if (int64_t{line.value} != LineValue(line.quantity, line.decimals, line.price)) {
    why = "value does not match quantity and price";
    return false;
  }
  auto& total = sales_[static_cast<std::size_t>(rate)];
  if (line.cancellation) {
    if (total < int64_t{line.value}) {
      why = "cancellation larger than the sales of its rate";
      return false;
    }
    total -= line.value;
  } else {
    total += line.value;
  }
  ++items_;
  return true;
}

bool Receipt::ApplyDiscount(int percent) {
  if (stage_ != Stage::kItems || percent < 1 || percent > 99) return false;
  discount_ = percent;
  return true;
}

bool Receipt::Total(uint32_t announced) {
  if (stage_ != Stage::kItems) return false;
  if (announced != static_cast<uint32_t>(DiscountedSum())) return false;
  stage_ = Stage::kTotalled;
  return true;
}

}  // namespace kestra::emu
