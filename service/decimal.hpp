// Money and quantities travel as decimal strings ("4.99", "1.5"): exact, where JSON
// numbers are held as binary floating point by many clients.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tauravatd {

// A number in units of 10^-places: "1.500" is {1500, 3}.
struct Decimal {
  int64_t units = 0;
  int32_t places = 0;

  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// Digits with an optional point and at least one digit on each side of it: no sign, no
// exponent, no blanks. Nothing for anything else, for more than `maxPlaces` places or
// for more than 15 significant digits (so every value also fits a double exactly).
std::optional<Decimal> ParseDecimal(std::string_view text, int32_t maxPlaces);

// Grosz from a money text with at most two places: "4.99" 499, "5" 500, "4.9" 490.
std::optional<int64_t> ParseMoney(std::string_view text);

// "4.99", "0.05", "-1.20": always two places.
std::string FormatMoney(int64_t grosz);

// The value's own places kept: {1500, 3} is "1.500".
std::string FormatDecimal(Decimal value);

}  // namespace tauravatd
