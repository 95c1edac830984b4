#include "fault_line.hpp"

#include "in_memory_device.hpp"

#include <utility>

namespace kestradr::reliability {

// What the driver sees of a vanished port: every transfer fails with an I/O error.
constexpr uint32_t kIoError = 5;
// The read time-out the matrix connects with.
constexpr std::chrono::seconds kReadTimeout{1};

class FaultDevice : public testing::InMemoryDevice {
 public:
  explicit FaultDevice(std::shared_ptr<FaultLine> line) : line_(std::move(line)) {}

  Transfer Write(uint8_t byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    if (!line_->OnWrite(byte)) return {TransferStatus::Failed, 0, kIoError};
    return {TransferStatus::Done, 1, 0};
  }
  // An empty line is an immediate time-out: silence costs nothing here.
  Transfer Read(uint8_t& byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    bool gone = false;
    const auto taken = line_->TakeByte(gone);
    if (gone) return {TransferStatus::Failed, 0, kIoError};
    if (taken) byte = *taken;
    return {TransferStatus::Done, taken ? 1u : 0u, 0};
  }
  uint32_t PurgeInput() override {
    line_->StartSequence();
    return 0;
  }
  uint32_t PurgeAll() override {
    line_->ClearPending();
    return 0;
  }

 private:
  std::shared_ptr<FaultLine> line_;
};

std::shared_ptr<FaultLine> FaultLine::Install(kestra::emu::PrinterConfig config) {
  auto line = std::make_shared<FaultLine>();
  line->Reset(std::move(config));
  SetDeviceOpener([line](const PortAddress&) {
    DeviceOpenResult result;
    result.device = line->OpenDevice(result.osError);
    return result;
  });
  SetPortProbe([](int) { return true; });
  return line;
}

void FaultLine::Uninstall() {
  SetDeviceOpener({});
  SetPortProbe({});
}

void FaultLine::Reset(kestra::emu::PrinterConfig config) {
  std::lock_guard lock(mutex_);
  printer_ = std::make_unique<kestra::emu::Printer>(std::move(config));
  pending_.clear();
  record_.clear();
  expect_ = Expect::kRest;
  exchange_ = -1;
  paperOutAt_.reset();
  vanishAt_.reset();
  gone_ = false;
  bytes_ = 0;
}

void FaultLine::StartRecording() {
  std::lock_guard lock(mutex_);
  record_.clear();
  exchange_ = -1;
}

std::vector<Exchange> FaultLine::Record() const {
  std::lock_guard lock(mutex_);
  return record_;
}

void FaultLine::PaperOutAt(int exchange) {
  std::lock_guard lock(mutex_);
  paperOutAt_ = exchange;
}

void FaultLine::VanishAt(int exchange) {
  std::lock_guard lock(mutex_);
  vanishAt_ = exchange;
}

void FaultLine::Restore() {
  std::lock_guard lock(mutex_);
  gone_ = false;
  vanishAt_.reset();
  paperOutAt_.reset();
}

uint64_t FaultLine::BytesOnLine() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

bool FaultLine::Vanished() const {
  std::lock_guard lock(mutex_);
  return gone_;
}

std::unique_ptr<SerialDevice> FaultLine::OpenDevice(uint32_t& osError) {
  std::lock_guard lock(mutex_);
  if (gone_) {
    osError = 2;  // the device is not there any more
    return nullptr;
  }
  pending_.clear();
  expect_ = Expect::kRest;
  return std::make_unique<FaultDevice>(shared_from_this());
}

bool FaultLine::OnWrite(uint8_t byte) {
  std::lock_guard lock(mutex_);
  if (gone_) return false;
  bool commandByte = false;
  if (expect_ == Expect::kEscape) {
    ++exchange_;
    if (vanishAt_ && *vanishAt_ == exchange_) {
      gone_ = true;
      return false;
    }
    expect_ = Expect::kCommand;
  } else if (expect_ == Expect::kCommand) {
    if (paperOutAt_ && *paperOutAt_ == exchange_) printer_->SetPaper(false);
    record_.push_back({byte, 0, 0});
    expect_ = Expect::kRest;
    commandByte = true;
  }
  ++bytes_;
  std::vector<uint8_t> answer;
  printer_->Receive(byte, answer);
  pending_.insert(pending_.end(), answer.begin(), answer.end());
  if (!record_.empty()) {
    auto& exchange = record_.back();
    (commandByte ? exchange.firstReply : exchange.secondReply) += static_cast<int>(answer.size());
  }
  return true;
}

std::optional<uint8_t> FaultLine::TakeByte(bool& gone) {
  std::lock_guard lock(mutex_);
  gone = gone_;
  if (gone_) return std::nullopt;
  if (pending_.empty()) {
    // The read waited out its time-out: that much time passed for the printer too, so
    // a sequence it was still collecting parameters for is dropped as on a real line.
    printer_->Advance(kReadTimeout);
    return std::nullopt;
  }
  const uint8_t byte = pending_.front();
  pending_.pop_front();
  ++bytes_;
  return byte;
}

void FaultLine::StartSequence() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  expect_ = Expect::kEscape;
}

void FaultLine::ClearPending() {
  std::lock_guard lock(mutex_);
  pending_.clear();
}

}  // namespace kestradr::reliability
