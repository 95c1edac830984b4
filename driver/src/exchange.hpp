// The command-sequence exchange with the printer: ESC and a command byte, the
// printer's first reply, the parameters, and an optional second reply. Every command
// of the driver goes through Printer::ExchangeSequence (exchange.cpp); nothing is
// retried.
#pragma once

#include <array>
#include <cstdint>

namespace kestradr {

inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNakByte = 0x15;

using Block = std::array<uint8_t, 256>;

}  // namespace kestradr
