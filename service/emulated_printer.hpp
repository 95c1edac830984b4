// The printer of `tauravatd --emulator`: the project's emulated LUNO on a pseudo-terminal
// served by a thread of this process, so the service runs with no printer at all.
#pragma once

#include <memory>

#include "printer_backend.hpp"

namespace kestra::emu {
class PtyServer;
}

namespace tauravatd {

class EmulatedPrinter {
 public:
  // Starts the emulator; throws std::system_error when no pseudo-terminal can be had.
  EmulatedPrinter();
  ~EmulatedPrinter();

  // The printer "demo" on the emulator's terminal.
  PrinterSettings Settings() const;

 private:
  std::unique_ptr<kestra::emu::PtyServer> server_;
};

}  // namespace tauravatd
