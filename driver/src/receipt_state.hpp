// The slots of the receipt state a Printer keeps between the calls of one receipt.
#pragma once

#include <cstdint>
#include <string>

namespace kestradr {

struct PaymentSlot {
  std::string name;  // empty: slot free; 13 characters once filled
  int32_t firstAmount = 0;
  int32_t secondAmount = 0;
};

struct ExtraLine {
  uint8_t code = 0xFF;  // 0xFF: slot free
  std::string text;
};

}  // namespace kestradr
