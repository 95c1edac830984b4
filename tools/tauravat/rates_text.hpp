// Tax rates as people write them: "23", "7.5", reserved, exempt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tauravat.h"

namespace tauravat::cli {

// "23", "22.5" or "22.5%" (percent, 0..99.99; "," works as the decimal point too);
// "reserved", "R" or "REZERWA" for a reserved rate; "exempt", "Z" or "ZWOLNIONA" for the
// exempt one (any case). The value is in hundredths of a percent.
std::optional<uint32_t> ParseRate(const std::string& text);

// The one form of a rate in JSON: the percent with no more decimals than it needs and
// no sign ("23", "7.5", "0.05"), "reserved" or "exempt".
std::string RateText(uint32_t value);

// The same for people: "23%", "7.5%", "reserved", "exempt".
std::string FormatRate(uint32_t value);

}  // namespace tauravat::cli
