#include "emulator_line.hpp"

#include "in_memory_device.hpp"

#include <chrono>
#include <utility>

namespace kestradr::testing {

class EmulatorDevice : public InMemoryDevice {
 public:
  explicit EmulatorDevice(std::shared_ptr<EmulatorLine> line) : line_(std::move(line)) {}

  Transfer Write(uint8_t byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    line_->OnWrite(byte);
    return {TransferStatus::Done, 1, 0};
  }

  Transfer Read(uint8_t& byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, line_->TakeByte(byte) ? 1u : 0u, 0};
  }

  uint32_t PurgeInput() override {
    line_->StartSequence();
    return 0;
  }
  uint32_t PurgeAll() override {
    line_->ClearPending();
    return 0;
  }

  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override {
    const int index = WaitForAny({&stop, &line_->lineEvent_});
    if (index == 0) return LineWait::Stopped;
    if (index != 1) return LineWait::Failed;
    line_->lineEvent_.Reset();
    mask = kEventError;
    return LineWait::Event;
  }

  uint32_t ClearLineErrors(uint32_t& errors) override {
    std::lock_guard lock(line_->mutex_);
    errors = std::exchange(line_->lineErrors_, 0);
    return 0;
  }

  // The driver's pauses are the only time that passes for the emulated printer.
  void Rest(std::chrono::milliseconds pause) override {
    std::lock_guard lock(line_->mutex_);
    line_->printer_.Advance(pause);
  }

 private:
  std::shared_ptr<EmulatorLine> line_;
};

EmulatorLine::EmulatorLine(kestra::emu::PrinterConfig config) : printer_(std::move(config)) {}

std::vector<SentSequence> EmulatorLine::Sequences() const {
  std::lock_guard lock(mutex_);
  return sequences_;
}

std::vector<uint8_t> EmulatorLine::Commands() const {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> commands;
  for (const auto& sequence : sequences_) commands.push_back(sequence.command);
  return commands;
}

void EmulatorLine::ClearRecord() {
  std::lock_guard lock(mutex_);
  sequences_.clear();
}

int EmulatorLine::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

std::unique_ptr<SerialDevice> EmulatorLine::OpenDevice() {
  std::lock_guard lock(mutex_);
  ++openCount_;
  pending_.clear();
  expectSequenceStart_ = true;
  return std::make_unique<EmulatorDevice>(shared_from_this());
}

void EmulatorLine::RaiseLineError(uint32_t flags) {
  {
    std::lock_guard lock(mutex_);
    lineErrors_ |= flags;
  }
  lineEvent_.Set();
}

void EmulatorLine::OnWrite(uint8_t byte) {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> answer;
  std::chrono::milliseconds holdBack{0};
  printer_.Receive(byte, answer, holdBack);
  if (holdBack.count() == 0) pending_.insert(pending_.end(), answer.begin(), answer.end());

  if (expectSequenceStart_) {
    expectSequenceStart_ = false;
    headerBytes_ = 1;
  } else if (headerBytes_ == 1) {
    headerBytes_ = 2;
    sequences_.push_back({byte, {}});
  } else if (!sequences_.empty()) {
    sequences_.back().parameters.push_back(byte);
  }
}

bool EmulatorLine::TakeByte(uint8_t& byte) {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return false;
  byte = pending_.front();
  pending_.pop_front();
  return true;
}

void EmulatorLine::StartSequence() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  expectSequenceStart_ = true;
}

void EmulatorLine::ClearPending() {
  std::lock_guard lock(mutex_);
  pending_.clear();
}

EmulatorPort::EmulatorPort(kestra::emu::PrinterConfig config)
    : line_(std::make_shared<EmulatorLine>(std::move(config))) {
  auto line = line_;
  SetDeviceOpener([line](const PortAddress&) {
    DeviceOpenResult result;
    result.device = line->OpenDevice();
    return result;
  });
  SetPortProbe([](int) { return true; });
}

EmulatorPort::~EmulatorPort() {
  SetDeviceOpener({});
  SetPortProbe({});
}

}  // namespace kestradr::testing
