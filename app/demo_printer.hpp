// The demonstration printer of --emulator: the project's printer emulator served on a
// pseudo-terminal inside the program, reachable as a free COM port.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

namespace taurasw {

class DemoPrinter {
 public:
  virtual ~DemoPrinter() = default;
  virtual uint8_t Port() const = 0;
  virtual QString Path() const = 0;
  virtual QString Description() const = 0;
};

// Starts an emulated printer of `model` (a name or device type code; empty for the
// default 7-rate printer) with a few receipts issued since the last daily report, and
// maps it to the first COM number that is neither mapped nor present. Nothing, with
// `error` set, when that is impossible.
std::unique_ptr<DemoPrinter> StartDemoPrinter(const QString& model, QString& error);

}  // namespace taurasw
