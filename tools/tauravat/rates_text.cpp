#include "rates_text.hpp"

#include <algorithm>
#include <cctype>

namespace tauravat::cli {
namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool IsMarker(uint32_t value) {
  return value == TAURAVAT_RATE_RESERVED || value == TAURAVAT_RATE_EXEMPT;
}

}  // namespace

std::optional<uint32_t> ParseRate(const std::string& text) {
  std::string word = Upper(text);
  if (word == "R" || word == "REZERWA" || word == "RESERVED") return TAURAVAT_RATE_RESERVED;
  if (word == "Z" || word == "ZWOLNIONA" || word == "EXEMPT") return TAURAVAT_RATE_EXEMPT;
  if (!word.empty() && word.back() == '%') word.pop_back();

  const size_t point = word.find_first_of(".,");
  const std::string whole = word.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : word.substr(point + 1);
  if (!AllDigits(whole) || whole.size() > 2) return std::nullopt;
  if (point != std::string::npos && (!AllDigits(fraction) || fraction.size() > 2)) {
    return std::nullopt;
  }
  fraction.resize(2, '0');
  return static_cast<uint32_t>(std::stoi(whole) * 100 + std::stoi(fraction));
}

std::string RateText(uint32_t value) {
  if (value == TAURAVAT_RATE_RESERVED) return "reserved";
  if (value == TAURAVAT_RATE_EXEMPT) return "exempt";
  std::string text = std::to_string(value / 100);
  if (const uint32_t hundredths = value % 100; hundredths != 0) {
    text += '.';
    text += static_cast<char>('0' + hundredths / 10);
    if (hundredths % 10 != 0) text += static_cast<char>('0' + hundredths % 10);
  }
  return text;
}

std::string FormatRate(uint32_t value) {
  return IsMarker(value) ? RateText(value) : RateText(value) + "%";
}

}  // namespace tauravat::cli
