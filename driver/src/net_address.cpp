#include "net_address.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>

namespace kestradr {
namespace {

constexpr std::string_view kRaw = "socket://";
constexpr std::string_view kRfc2217 = "rfc2217://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char lower, char given) {
           return std::tolower(static_cast<unsigned char>(given)) == lower;
         });
}

// A port as a device server is configured with. getaddrinfo would take 70000 as 4464 and
// "4001x" as a service name, and reach another port than the one written.
bool ValidPort(std::string_view port) {
  unsigned number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  return error == std::errc() && end == port.data() + port.size() && number >= 1 && number <= 65535;
}

}  // namespace

bool IsNetAddress(std::string_view path) {
  // A scheme is a letter, then letters, digits, "+", "-" or "."; at least two characters,
  // so that a drive letter ("C:") is never one.
  const size_t end = path.find("://");
  if (end == std::string_view::npos || end < 2 ||
      !std::isalpha(static_cast<unsigned char>(path.front())))
    return false;
  return std::all_of(path.begin(), path.begin() + static_cast<ptrdiff_t>(end), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

std::optional<NetAddress> ParseNetAddress(std::string_view path) {
  NetAddress address;
  if (StartsWithNoCase(path, kRaw)) {
    path.remove_prefix(kRaw.size());
  } else if (StartsWithNoCase(path, kRfc2217)) {
    address.protocol = NetAddress::Protocol::Rfc2217;
    path.remove_prefix(kRfc2217.size());
  } else {
    return std::nullopt;
  }
  // pyserial allows options after the port ("?logging=debug"); none is meaningful here.
  path = path.substr(0, path.find_first_of("?/"));
  std::string_view host;
  std::string_view port;
  if (path.starts_with('[')) {  // [IPv6]:port
    const size_t close = path.find(']');
    if (close == std::string_view::npos || path.substr(close + 1, 1) != ":") return std::nullopt;
    host = path.substr(1, close - 1);
    port = path.substr(close + 2);
  } else {
    const size_t colon = path.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    host = path.substr(0, colon);
    port = path.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return std::nullopt;  // IPv6 needs brackets
  }
  if (host.empty() || !ValidPort(port)) return std::nullopt;
  address.host = host;
  address.port = port;
  return address;
}

}  // namespace kestradr
