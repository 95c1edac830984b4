// The printer the line benchmarks measure: a LUNO whose printing takes no time, so the
// line is what is measured (bench/ser2net_turn_floor.py starts kestra-emu the same way).
#pragma once

#include <chrono>

#include "kestra/emu/printer_config.hpp"
#include "tauravat.h"

inline kestra::emu::PrinterConfig BenchLuno() {
  using namespace std::chrono_literals;
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {
      2300, 800, TAURAVAT_RATE_RESERVED, 500, TAURAVAT_RATE_EXEMPT, 0, TAURAVAT_RATE_RESERVED};
  config.timing = {0, 0ms, 0, 0ms};
  config.keptPaperLines = 200;
  return config;
}
