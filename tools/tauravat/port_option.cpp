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
std::optional<std::string> NetworkFailureText(int32_t code, const std::string& language) {
  const bool polish = language == "pl";
  switch (code) {
    case 2:
    case TAURAVAT_E_PORT_NOT_FOUND:
      return polish ? "żaden serwer portu nie odpowiada pod tym adresem (nikt nie słucha na "
                      "tym porcie albo nazwa jest nieznana)"
                    : "no device server answers there (nothing listens at that port, or the "
                      "name is unknown)";
    case 5:
    case TAURAVAT_E_PORT_BUSY:
      return polish ? "serwer portu obsługuje innego klienta"
                    : "the device server is serving another client";
    case 87:
    case TAURAVAT_E_PORT_FAILED:
      return polish ? "to nie jest socket://HOST:PORT ani rfc2217://HOST:PORT (port od 1 do "
                      "65535) albo serwer portu nie odpowiedział w czasie, odrzucił ustawienia "
                      "linii lub nie obsługuje RFC 2217"
                    : "not socket://HOST:PORT or rfc2217://HOST:PORT (port 1 to 65535), or the "
                      "device server did not answer in time, refused the line settings or does "
                      "not speak RFC 2217";
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<std::string> OpenFailureText(int32_t code, const ResolvedPort& port,
                                           const std::string& language) {
  if (port.path && port.path->find("://") != std::string::npos)
    return NetworkFailureText(code, language);
  if (code != TAURAVAT_E_PORT_NOT_FOUND || port.path || port.number == 0) return std::nullopt;
  const std::string number = std::to_string(port.number);
  if (language == "pl") {
    return "żadne urządzenie nie odpowiada COM" + number + " (wskazuje je TAURAVAT_COM" + number +
           "=/dev/...)";
  }
  return "no device stands for COM" + number + " (TAURAVAT_COM" + number + "=/dev/... names one)";
}

}  // namespace tauravat::cli
