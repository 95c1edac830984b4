#pragma once

// Talks to a Printer the way the driver does: ESC and the command, the first reply,
// then the parameters and whatever comes back after them.

#include <cstdint>
#include <string>
#include <vector>

#include "kestra/emu/printer.hpp"

namespace kestra::emu::test {

using Bytes = std::vector<uint8_t>;

struct Reply {
  Bytes first;   // what came back after the command byte
  Bytes second;  // what came back after the parameters
};

inline Reply Send(Printer& printer, uint8_t command, const Bytes& params = {}) {
  Reply reply;
  printer.Receive(kEsc, reply.first);
  printer.Receive(command, reply.first);
  for (uint8_t b : params) printer.Receive(b, reply.second);
  return reply;
}

inline uint8_t Status(Printer& printer, uint8_t command) {
  const Reply r = Send(printer, command);
  return r.first.size() == 1 ? r.first[0] : 0xEE;
}

inline unsigned Le16(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8u;
}

inline Bytes Amount(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// The 49-byte item block; `name` is padded to 28 characters.
inline Bytes ItemBlock(std::string name, uint32_t quantity, uint8_t decimals, uint32_t price,
                       uint8_t rateCode, uint32_t value) {
  name.resize(28, ' ');
  Bytes b(1, ' ');
  for (const char c : name + '0') b.push_back(static_cast<uint8_t>(c));
  for (const Bytes& part : {Amount(quantity), Bytes{decimals, 's', 'z', 't', ' '}, Amount(price),
                            Bytes{kEsc, rateCode}, Amount(value)})
    b.insert(b.end(), part.begin(), part.end());
  return b;
}

// Seven rates as 0xD5 carries them: 0x80 0x00 reserved, 0x40 0x00 exempt.
inline Bytes SevenRates(const std::vector<uint16_t>& rates) {
  Bytes b;
  for (uint16_t r : rates) {
    const uint16_t wire = r == kReservedRate ? 0x8000 : r == kExemptRate ? 0x4000 : r;
    b.insert(b.end(), {uint8_t(wire >> 8), uint8_t(wire)});
  }
  return b;
}

// A printer that prints at once, with rates A 23 %, B 8 %, C 5 %, D 0 %, E exempt.
inline PrinterConfig ProgrammedConfig(int deviceType = 7) {
  PrinterConfig c;
  c.deviceType = deviceType;
  c.timing.pollsPerLine = 0;
  c.rates = {2300, 800, 500, 0, kExemptRate, kReservedRate, kReservedRate};
  c.clockStart = std::chrono::sys_days{std::chrono::year{2024} / 3 / 15} + std::chrono::hours{10};
  return c;
}

}  // namespace kestra::emu::test
