// The printer of every reliability run: a LUNO (every command of the family) with A 23 %,
// B 8 %, C reserved, D 5 %, E exempt, F 0 %, G reserved, that prints without delay.
#pragma once

#include "kestra/emu/printer.hpp"

inline kestra::emu::PrinterConfig Luno() {
  namespace emu = kestra::emu;
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {
      2300, 800, TAURAVAT_RATE_RESERVED, 500, TAURAVAT_RATE_EXEMPT, 0, TAURAVAT_RATE_RESERVED};
  config.timing = {0, std::chrono::milliseconds{0}, 0, std::chrono::milliseconds{0}};
  return config;
}
