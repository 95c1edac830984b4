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

inline void PutLe32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The 49-byte item block; `name` is padded to 28 characters.
inline Bytes ItemBlock(const std::string& name, uint32_t quantity, uint8_t decimals, uint32_t price,
                       uint8_t rateCode, uint32_t value, bool cancel = false) {
  Bytes b;
  b.push_back(cancel ? '-' : ' ');
  std::string padded = name;
  padded.resize(28, ' ');
  b.insert(b.end(), padded.begin(), padded.end());
  b.push_back('0');
  PutLe32(b, quantity);
  b.push_back(decimals);
  for (char c : std::string("szt ")) b.push_back(static_cast<uint8_t>(c));
  PutLe32(b, price);
  b.push_back(kEsc);
  b.push_back(rateCode);
  PutLe32(b, value);
  return b;
}

inline Bytes Amount(uint32_t v) {
  Bytes b;
  PutLe32(b, v);
  return b;
}

// Seven rates as 0xD5 carries them: 0x80 0x00 reserved, 0x40 0x00 exempt.
inline Bytes SevenRates(const std::vector<uint16_t>& rates) {
  Bytes b;
  for (uint16_t r : rates) {
    if (r == kReservedRate) {
      b.insert(b.end(), {0x80, 0x00});
    } else if (r == kExemptRate) {
      b.insert(b.end(), {0x40, 0x00});
    } else {
      b.insert(b.end(), {static_cast<uint8_t>(r >> 8), static_cast<uint8_t>(r & 0xFF)});
    }
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
