// The --port option: a COM number ("3", "COM3") or a device path ("/dev/ttyUSB0"), given
// on the command line or in TAURAVAT_PORT.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tauravat::cli {

// "3", "com3", "COM3" -> 3; nothing for anything else or a number outside 1..255.
std::optional<uint8_t> ParseComNumber(const std::string& text);

// The port the user chose and where it was given: --port, else TAURAVAT_PORT.
struct PortChoice {
  std::string text;    // empty: none
  std::string source;  // "--port" or "TAURAVAT_PORT", for messages
};
PortChoice ChoosePort(const std::string& option);

struct ResolvedPort {
  std::string device;               // what the driver opens: "COM3" or the path; empty: none
  uint8_t number = 0;               // the COM number given, 0 for a path
  std::optional<std::string> path;  // the device that stands for it, if any
  std::string label;                // "COM40 (/dev/ttyUSB7)"; a path given as such alone
};

// The device the driver should open for the chosen port: a COM number as the driver maps
// it, or a path as it is. Gives nothing (and the reason in `error`) when the text is
// neither.
std::optional<ResolvedPort> ResolvePort(const PortChoice& choice, std::string& error);

// What this program knows better than the driver about a port that would not open: a COM
// number no device stands for, in `language` ("pl" or "en"); nothing otherwise (the
// driver's message says it).
std::optional<std::string> OpenFailureText(int32_t code, const ResolvedPort& port,
                                           const std::string& language);

}  // namespace tauravat::cli
