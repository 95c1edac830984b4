// The printer emulator on an in-process line. Time passes only where a test says so: with
// the driver's status polls and pauses, Advance(), or PassTimeOnSilence.
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

  // Between driver calls only: the driver's port thread reaches it during them.
  kestra::emu::Printer& Printer() { return *printer_; }
  // A fresh printer behind the port the driver keeps; record and line faults cleared.
  void Reset(kestra::emu::PrinterConfig config);

  // Each empty read lets `elapsed` pass for the printer, which drops a half-received sequence.
  void PassTimeOnSilence(std::chrono::milliseconds elapsed) {
    Locked([&] { silence_ = elapsed; });
  }

  // Struck as exchange `index` (since the last ClearRecord) begins: the paper runs out, or
  // the port vanishes (every transfer and reopening fails until Restore).
  void PaperOutAt(int index) {
    Locked([&] { paperOutAt_ = index; });
  }
  void VanishAt(int index) {
    Locked([&] { vanishAt_ = index; });
  }
  void Restore() {
    Locked([&] {
      gone_ = false;
      paperOutAt_.reset();
      vanishAt_.reset();
    });
  }
  bool Vanished() const { return Gone(); }
  void PassSilence() override;

 private:
  friend class EmulatorDevice;
  void Answer(uint8_t byte, At at) override;
  void Begins(int index) override;
  std::unique_ptr<SerialDevice> NewDevice() override;

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
