#include "money_text.hpp"

namespace tauravat::cli {

std::string MoneyText(int64_t grosz) {
  // Through the digits: the magnitude of INT64_MIN does not fit in an int64_t.
  const std::string text = std::to_string(grosz);
  const bool negative = grosz < 0;
  std::string digits = text.substr(negative ? 1 : 0);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  digits.insert(digits.size() - 2, ".");
  return (negative ? "-" : "") + digits;
}

}  // namespace tauravat::cli
