#include "emulated_printer.hpp"

#include "kestra/emu/pty_server.hpp"

namespace tauravatd {

EmulatedPrinter::EmulatedPrinter() {
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;  // LUNO
  config.rates = {
      2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED};
  // Printing takes time, as on paper, without slowing a demonstration down.
  config.timing.pollsPerLine = 0;
  config.timing.timePerLine = std::chrono::milliseconds(20);
  server_ = std::make_unique<kestra::emu::PtyServer>(config);
  server_->Start();
}

EmulatedPrinter::~EmulatedPrinter() {
  server_->Stop();
}

PrinterSettings EmulatedPrinter::Settings() const {
  return {"demo", server_->SlavePath(), 9600, 1000};
}

}  // namespace tauravatd
