#include "port_option.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>

namespace tauravat::cli {

std::optional<uint8_t> ParseComNumber(const std::string& text) {
  std::string_view digits = text;
  if (digits.size() > 3 && std::toupper(static_cast<unsigned char>(digits[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(digits[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(digits[2])) == 'M') {
    digits.remove_prefix(3);
  }
  int number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  if (number < 1 || number > 255) return std::nullopt;
  return static_cast<uint8_t>(number);
}

std::optional<uint8_t> ResolvePort(const std::string& port, std::string& error) {
  if (port.empty()) {
    error = "no printer port given: use --port N (COM number) or --port /dev/...";
    return std::nullopt;
  }
  if (const auto number = ParseComNumber(port)) return number;
  if (port.find('/') == std::string::npos) {
    error = "--port " + port + ": expected a COM number 1..255 or a device path";
    return std::nullopt;
  }
  for (int n = 255; n >= 1; --n) {
    const std::string variable = "TAURAVAT_COM" + std::to_string(n);
    if (std::getenv(variable.c_str()) != nullptr) continue;
    if (::setenv(variable.c_str(), port.c_str(), 1) != 0) break;
    return static_cast<uint8_t>(n);
  }
  error = "--port " + port + ": no free COM number to map the path to";
  return std::nullopt;
}

}  // namespace tauravat::cli
