// The receipt transaction (Printer's receipt methods, receipt.cpp): the arithmetic its
// lines and its end rest on.
#pragma once

#include <cstdint>

namespace kestradr {

// The largest value one item line may carry, in grosz.
inline constexpr int64_t kMaxLineValue = 999'999'999;

// Ilosc × Cena / 10^MP exactly, an exact half rounded up.
int64_t LineValue(int32_t quantity, int32_t decimals, int32_t price);

}  // namespace kestradr
