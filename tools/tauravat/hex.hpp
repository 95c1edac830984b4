// Bytes written as hexadecimal on the command line and in the output.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tauravat::cli {

// Accepts bytes as pairs of hex digits, with or without separators (blank, ':', ',', '-')
// and an optional "0x" before each group: "1B 2C", "1b2c", "0x1B,0x2C". On a mistake
// gives nothing and says what is wrong in `error`.
std::optional<std::vector<uint8_t>> ParseHex(const std::vector<std::string>& words,
                                             std::string& error);

// "06 2C 01"; empty for no bytes.
std::string FormatHex(std::span<const uint8_t> bytes);

// One byte given as hex ("1B", "0x1b").
std::optional<uint8_t> ParseHexByte(const std::string& text);

}  // namespace tauravat::cli
