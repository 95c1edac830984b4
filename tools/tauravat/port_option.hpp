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
  uint8_t number = 0;               // the COM number the driver opens
  std::optional<std::string> path;  // the device that number stands for, if any
  std::string label;                // "COM40 (/dev/ttyUSB7)"; a path given as such alone
};

// The COM number the driver should open for the chosen port. A device path is lent the
// highest COM number whose TAURAVAT_COM<n> is not set, by setting that variable in this
// process only. Gives nothing (and the reason in `error`) when the text is neither, or
// when all 255 numbers are taken.
std::optional<ResolvedPort> ResolvePort(const PortChoice& choice, std::string& error);

// Why opening the port failed, for the driver's codes from opening a device (2 not
// found, 5 in use or not permitted, 6 not a terminal, 87 refused settings); nothing for
// other codes.
std::optional<std::string> OpenFailureText(int32_t code, const ResolvedPort& port);

}  // namespace tauravat::cli
