#include "emulator_line.hpp"

#include <utility>

namespace kestradr::testing {

class EmulatorDevice : public LineDevice {
 public:
  explicit EmulatorDevice(std::shared_ptr<EmulatorLine> line)
      : LineDevice(*line, line), line_(std::move(line)) {}

  Transfer Read(uint8_t& byte, const Event& abort) override {
    const Transfer read = LineDevice::Read(byte, abort);
    if (read.status == TransferStatus::Done && read.count == 0) line_->PassSilence();
    return read;
  }

  // The driver's pauses between status polls pass for the printer as on a real line.
  void Rest(std::chrono::milliseconds pause) override {
    std::lock_guard lock(line_->mutex_);
    line_->printer_->Advance(pause);
  }

 private:
  std::shared_ptr<EmulatorLine> line_;
};

EmulatorLine::EmulatorLine(kestra::emu::PrinterConfig config)
    : printer_(std::make_unique<kestra::emu::Printer>(std::move(config))) {}

void EmulatorLine::Reset(kestra::emu::PrinterConfig config) {
  Restore();
  std::lock_guard lock(mutex_);
  printer_ = std::make_unique<kestra::emu::Printer>(std::move(config));
  pending_.clear();
  ClearRecordLocked();
}

void EmulatorLine::Answer(uint8_t byte, At) {
  std::vector<uint8_t> answer;
  std::chrono::milliseconds holdBack{0};
  printer_->Receive(byte, answer, holdBack);
  if (holdBack.count() == 0) Queue(answer);
}

void EmulatorLine::Begins(int index) {
  if (paperOutAt_ == index) printer_->SetPaper(false);
  if (vanishAt_ == index) gone_ = true;
}

std::unique_ptr<SerialDevice> EmulatorLine::NewDevice() {
  return std::make_unique<EmulatorDevice>(
      std::static_pointer_cast<EmulatorLine>(shared_from_this()));
}

void EmulatorLine::PassSilence() {
  std::lock_guard lock(mutex_);
  if (silence_.count() > 0) printer_->Advance(silence_);
}

}  // namespace kestradr::testing
