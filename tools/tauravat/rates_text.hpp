// Tax rates as people write them: "23", "7.5", reserved, exempt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tauravat::cli {

inline constexpr uint32_t kReservedRate = 25500;
inline constexpr uint32_t kExemptRate = 10000;

// "23" or "22.5" (percent, 0..99.99; "," works as the decimal point too), "R" or
// "REZERWA" for a reserved rate, "Z" or "ZWOLNIONA" for the exempt one (any case).
// The value is in hundredths of a percent.
std::optional<uint32_t> ParseRate(const std::string& text);

// "23%", "22.50%", "REZERWA", "ZWOLNIONA".
std::string FormatRate(uint32_t value);

}  // namespace tauravat::cli
