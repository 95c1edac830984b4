// The printer emulator on an in-process line: each byte the driver writes is fed to a
// kestra::emu::Printer, and its answer bytes are what the driver reads. An answer the
// printer holds back (an injected delay) comes after the driver gave up waiting and is
// lost. Time passes only where a test says so: printouts progress with the driver's status
// polls and with the pauses it makes between them, a test may Advance() the printer, or
// let each empty read pass time for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "kestra/emu/printer.hpp"
#include "scripted_line.hpp"

namespace kestradr::testing {

class EmulatorLine : public InProcessLine {
 public:
  explicit EmulatorLine(kestra::emu::PrinterConfig config = {});

  // The emulated printer. Touch it between driver calls only: the driver's port thread
  // reaches it during them.
  kestra::emu::Printer& Printer() { return *printer_; }
  // A fresh printer behind the port the driver keeps; the record and the armed faults
  // cleared, the line restored.
  void Reset(kestra::emu::PrinterConfig config);

  // An empty read waited out its time-out: `elapsed` passes for the printer too, so a
  // sequence it was still collecting parameters for is dropped as on a real line.
  void PassTimeOnSilence(std::chrono::milliseconds elapsed) {
    Locked([&] { silence_ = elapsed; });
  }

  // Faults the printer cannot inject itself, struck as exchange `index` (counted from the
  // last ClearRecord) begins: the paper runs out, or the port vanishes (every transfer
  // and every reopening fails until Restore).
  void PaperOutAt(int index) {
    Locked([&] { paperOutAt_ = index; });
  }
  void VanishAt(int index) {
    Locked([&] { vanishAt_ = index; });
  }
  void Restore() {
    Locked([&] { gone_ = false, paperOutAt_.reset(), vanishAt_.reset(); });
  }
  bool Vanished() const {
    return Locked([&] { return gone_; });
  }

 private:
  friend class EmulatorDevice;
  void Answer(uint8_t byte, At at) override;
  void Begins(int index) override;
  std::unique_ptr<SerialDevice> NewDevice() override;
  void Silence();

  std::unique_ptr<kestra::emu::Printer> printer_;
  std::chrono::milliseconds silence_{0};
  std::optional<int> paperOutAt_, vanishAt_;
};

// Routes every port the driver opens to one emulated printer while it lives.
class EmulatorPort {
 public:
  explicit EmulatorPort(kestra::emu::PrinterConfig config = {})
      : line_(std::make_shared<EmulatorLine>(std::move(config))) {
    RouteTo(line_);
  }
  ~EmulatorPort() { RouteTo(nullptr); }
  EmulatorPort(const EmulatorPort&) = delete;
  EmulatorPort& operator=(const EmulatorPort&) = delete;

  kestra::emu::Printer& Printer() { return line_->Printer(); }
  EmulatorLine& Line() { return *line_; }

 private:
  std::shared_ptr<EmulatorLine> line_;
};

}  // namespace kestradr::testing
