#include "money_text.hpp"

#include <algorithm>

namespace tauravat::cli {

std::string MoneyText(int64_t grosz) {
  // Through the digits: the magnitude of INT64_MIN does not fit in an int64_t.
  std::string digits = std::to_string(grosz);
  return *MoneyTextFromGroszDigits(digits);
}

std::optional<std::string> MoneyTextFromGroszDigits(const std::string& text) {
  const bool negative = !text.empty() && text[0] == '-';
  std::string digits = text.substr(negative ? 1 : 0);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  digits.insert(digits.size() - 2, ".");
  const bool zero = digits == "0.00";
  return (negative && !zero ? "-" : "") + digits;
}

}  // namespace tauravat::cli
