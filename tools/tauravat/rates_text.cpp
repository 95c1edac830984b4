#include "rates_text.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

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

}  // namespace

std::optional<uint32_t> ParseRate(const std::string& text) {
  const std::string word = Upper(text);
  if (word == "R" || word == "REZERWA") return kReservedRate;
  if (word == "Z" || word == "ZWOLNIONA") return kExemptRate;

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

std::string FormatRate(uint32_t value) {
  if (value == kReservedRate) return "REZERWA";
  if (value == kExemptRate) return "ZWOLNIONA";
  char text[32];
  if (value % 100 == 0) {
    std::snprintf(text, sizeof text, "%u%%", value / 100);
  } else {
    std::snprintf(text, sizeof text, "%u.%02u%%", value / 100, value % 100);
  }
  return text;
}

}  // namespace tauravat::cli
