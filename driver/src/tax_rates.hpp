// The tax-rate table in the three wire formats the printer models understand.
#pragma once

#include <array>
#include <cstdint>

#include "exchange.hpp"

namespace kestradr {

using RateArray = std::array<uint32_t, 7>;  // A..G, hundredths of a percent

struct TaxRates {
  int32_t count = 0;  // 4, 6 or 7: how many of A..G the model keeps
  RateArray values{};
};

// Printer::ReadTaxRates reads the table in the newest format the printer answers; the
// rates the format does not carry keep the values `rates` held.

// The write command of a device type's format with its parameter bytes.
struct RateWrite {
  uint8_t command = 0;
  uint8_t length = 0;
  int32_t count = 0;
  Block parameters{};
};

// False for a device type without a rate format (device_models.hpp). `fits` turns false
// when a rate cannot be carried by the format as it is (the byte would wrap, or a 4-rate
// model would get a rate that is not a whole percent).
bool EncodeTaxRates(uint8_t deviceType, const RateArray& values, RateWrite& write, bool& fits);

}  // namespace kestradr
