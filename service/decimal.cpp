#include "decimal.hpp"

namespace tauravatd {
namespace {

constexpr size_t kMaxDigits = 15;

bool AllDigits(std::string_view text) {
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

int64_t Power10(int32_t exponent) {
  int64_t power = 1;
  for (int32_t i = 0; i < exponent; ++i) power *= 10;
  return power;
}

}  // namespace

std::optional<Decimal> ParseDecimal(std::string_view text, int32_t maxPlaces) {
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
  if (whole.empty() || !AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  if (point != std::string_view::npos && fraction.empty()) return std::nullopt;
  if (fraction.size() > static_cast<size_t>(maxPlaces)) return std::nullopt;

  std::string_view significant = whole;
  while (significant.size() > 1 && significant.front() == '0') significant.remove_prefix(1);
  if (significant.size() + fraction.size() > kMaxDigits) return std::nullopt;

  Decimal value;
  value.places = static_cast<int32_t>(fraction.size());
  for (const char c : significant) value.units = value.units * 10 + (c - '0');
  for (const char c : fraction) value.units = value.units * 10 + (c - '0');
  return value;
}

std::optional<int64_t> ParseMoney(std::string_view text) {
  const auto value = ParseDecimal(text, 2);
  if (!value) return std::nullopt;
  return value->units * Power10(2 - value->places);
}

std::string FormatMoney(int64_t grosz) {
  return FormatDecimal({grosz, 2});
}

std::string FormatDecimal(Decimal value) {
  const bool negative = value.units < 0;
  // Through the unsigned type: the most negative value has no positive twin.
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(value.units) : static_cast<uint64_t>(value.units);
  std::string digits = std::to_string(magnitude);
  const auto places = static_cast<size_t>(value.places);
  if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
  if (places > 0) digits.insert(digits.size() - places, ".");
  return negative ? "-" + digits : digits;
}

}  // namespace tauravatd
