// Network serial ports as pyserial names them: socket://HOST:PORT for a raw TCP serial
// server, rfc2217://HOST:PORT for Telnet with the COM port option (RFC 2217).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestradr {

struct NetAddress {
  enum class Protocol { Raw, Rfc2217 };
  Protocol protocol = Protocol::Raw;
  std::string host;  // a name or an address; IPv6 without its brackets
  std::string port;  // decimal, 1..65535
};

// True for a path that names a scheme ("socket://", "tcp://", any case), known or not,
// well formed or not: such a path is never a file to open.
bool IsNetAddress(std::string_view path);
// The host and port of a path in either known scheme; nullopt when it is not well formed
// ("socket://host" without a port, an empty host, "[::1" without its bracket, a port
// that is not a number from 1 to 65535) or its scheme is another.
std::optional<NetAddress> ParseNetAddress(std::string_view path);

}  // namespace kestradr
