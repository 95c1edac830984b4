#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "kestra/emu/fiscal_memory.hpp"

namespace kestra::emu {

// One item line as it travels in the 49-byte block of command 0x06.
struct ItemLine {
  bool cancellation = false;  // '-' in the first byte: takes an earlier sale back
  std::string name;           // 28 characters, code page 852
  uint8_t message = 0;
  uint32_t quantity = 0;
  uint8_t decimals = 0;
  std::string unit;  // 4 characters
  uint32_t price = 0;
  uint8_t rateCode = 0;  // the printer's code: 1..4 = A..D, 5 = G, 6 = E, 7 = F
  uint32_t value = 0;
};

inline constexpr std::size_t kItemBlockSize = 49;

// Parses the block; nothing when its fixed bytes are wrong (type, message digit, the
// ESC at offset 43, decimals above 4).
std::optional<ItemLine> ParseItemLine(std::span<const uint8_t> block);

// Rate letter index (0 = A) of the printer's rate code, or -1.
int RateIndexOfCode(uint8_t code);

// quantity × price / 10^decimals, rounded half up.
int64_t LineValue(uint32_t quantity, uint8_t decimals, uint32_t price);

// A per-rate amount after a whole-percent discount; an exact half rounds down.
int64_t Discounted(int64_t amount, int percent);

// The receipt the printer has open: what it has been sold and where it stands.
class Receipt {
 public:
  enum class Stage { kItems, kTotalled };

  Stage CurrentStage() const { return stage_; }
  int Items() const { return items_; }
  const RateAmounts& Sales() const { return sales_; }
  int DiscountPercent() const { return discount_; }
  int64_t Gross() const;
  RateAmounts DiscountedSales() const;
  int64_t DiscountedSum() const;

  // Each returns false when the printer must refuse the step (and cancel the receipt).
  bool AddItem(const ItemLine& line, const FiscalMemory& memory, std::string& why);
  bool ApplyDiscount(int percent);
  bool Total(uint32_t announced);

 private:
  Stage stage_ = Stage::kItems;
  int items_ = 0;
  RateAmounts sales_{};
  int discount_ = 0;
};

}  // namespace kestra::emu
