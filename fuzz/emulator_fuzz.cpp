// The emulated printer's state machine against arbitrary computer bytes. The first byte
// picks the model, the paper and a seed for random faults; the rest is the line, with
// time passing between chunks so that printouts, stalls and dropped sequences happen.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kestra/emu/printer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  kestra::emu::PrinterConfig config;
  config.deviceType = data[0] % 12;
  config.paperIn = (data[0] & 0x10) == 0;
  if (data[0] & 0x20) {
    config.faults.random.probability = 0.2;
    config.faults.seed = data[0];
  }
  config.keptPaperLines = 64;
  kestra::emu::Printer printer(config);

  std::vector<uint8_t> out;
  size_t at = 1;
  while (at < size) {
    const size_t chunk = std::min<size_t>(size - at, 1 + data[at] % 32);
    printer.Receive(std::span<const uint8_t>(data + at, chunk), out);
    printer.Advance(std::chrono::milliseconds(data[at]));
    at += chunk;
    if (out.size() > 4096) out.clear();
  }
  // The state must stay presentable whatever was sent.
  const auto snapshot = printer.SnapshotJson();
  if (snapshot.empty()) __builtin_trap();
  return 0;
}
