#include "port_option.hpp"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>

#include "handle_text.hpp"

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

PortChoice ChoosePort(const std::string& option) {
  if (!option.empty()) return {option, "--port"};
  if (const char* text = std::getenv("TAURAVAT_PORT"); text != nullptr && *text != '\0') {
    return {text, "TAURAVAT_PORT"};
  }
  return {};
}

std::optional<ResolvedPort> ResolvePort(const PortChoice& choice, std::string& error) {
  const std::string& port = choice.text;
  if (port.empty()) {
    error =
        "no printer port given: use --port N (COM number) or --port /dev/..., or set "
        "TAURAVAT_PORT (tauravat ports lists the serial ports)";
    return std::nullopt;
  }
  if (const auto number = ParseComNumber(port)) {
    const std::string name = "COM" + std::to_string(*number);
    ResolvedPort resolved{name, *number, PortPath(*number), name};
    if (resolved.path) resolved.label += " (" + *resolved.path + ")";
    return resolved;
  }
  if (port.find('/') == std::string::npos) {
    error = choice.source + " " + port + ": expected a COM number 1..255 or a device path";
    return std::nullopt;
  }
  return ResolvedPort{port, 0, port, port};
}

namespace {

// socket://HOST:PORT and rfc2217://HOST:PORT: a device server on the network.
std::optional<std::string> NetworkFailureText(int32_t code) {
  switch (code) {
    case 2:
      return "no device server answers there (nothing listens at that port, or the name "
             "is unknown)";
    case 5:
      return "the device server is serving another client";
    case 87:
      return "not a HOST:PORT address, or the device server refused the line settings "
             "or does not speak RFC 2217";
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> OpenFailureText(int32_t code, const ResolvedPort& port) {
  if (port.path && port.path->find("://") != std::string::npos) return NetworkFailureText(code);
  const std::string number = std::to_string(port.number);
  switch (code) {
    case 2:
      if (!port.path) {
        return "no device stands for COM" + number + " (TAURAVAT_COM" + number +
               "=/dev/... names one)";
      }
      return "no such device";
    case 5:
      // The driver's number for both: the port is held, or this user may not open it.
      return "in use by another program, or this user may not open it (on Debian the "
             "group dialout may)";
    case 6:
      return "not a serial device";
    case 87:
      return "the device refused the line settings";
    default:
      return std::nullopt;
  }
}

}  // namespace tauravat::cli
