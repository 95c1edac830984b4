// The --port option: a COM number ("3", "COM3") or a device path ("/dev/ttyUSB0").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tauravat::cli {

// "3", "com3", "COM3" -> 3; nothing for anything else or a number outside 1..255.
std::optional<uint8_t> ParseComNumber(const std::string& text);

// The COM number the driver should open for `port`. A device path is lent the highest
// COM number whose TAURAVAT_COM<n> is not set, by setting that variable in this process
// only. Gives nothing (and the reason in `error`) when the text is neither, or when all
// 255 numbers are taken.
std::optional<uint8_t> ResolvePort(const std::string& port, std::string& error);

}  // namespace tauravat::cli
