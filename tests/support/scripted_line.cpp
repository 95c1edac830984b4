#include "scripted_line.hpp"

#include "in_memory_device.hpp"

#include <utility>

namespace kestradr::testing {

class ScriptedDevice : public InMemoryDevice {
 public:
  explicit ScriptedDevice(ScriptedLine& line) : line_(line) {}

  Transfer Write(uint8_t byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    {
      std::lock_guard lock(line_.mutex_);
      if (line_.failWrites_) return {TransferStatus::Done, 0, 0};
    }
    line_.OnWrite(byte);
    return {TransferStatus::Done, 1, 0};
  }

  Transfer Read(uint8_t& byte, const Event& abort) override {
    if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
    return {TransferStatus::Done, line_.TakeByte(byte) ? 1u : 0u, 0};
  }

  uint32_t PurgeInput() override {
    line_.StartSequence();
    return 0;
  }
  uint32_t PurgeAll() override {
    line_.ClearPending();
    return 0;
  }

  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override {
    const int index = WaitForAny({&stop, &line_.lineEvent_});
    if (index == 0) return LineWait::Stopped;
    if (index != 1) return LineWait::Failed;
    line_.lineEvent_.Reset();
    mask = kEventError;
    return LineWait::Event;
  }

  uint32_t ClearLineErrors(uint32_t& errors) override {
    std::lock_guard lock(line_.mutex_);
    errors = std::exchange(line_.lineErrors_, 0);
    return 0;
  }

 private:
  ScriptedLine& line_;
};

void ScriptedLine::Reply(uint8_t command, std::vector<uint8_t> first, size_t parameterCount,
                         std::vector<uint8_t> second) {
  std::lock_guard lock(mutex_);
  queued_[command].push_back({std::move(first), parameterCount, std::move(second)});
}

void ScriptedLine::Always(uint8_t command, std::vector<uint8_t> first, size_t parameterCount,
                          std::vector<uint8_t> second) {
  std::lock_guard lock(mutex_);
  always_[command] = {std::move(first), parameterCount, std::move(second)};
}

void ScriptedLine::Forget(uint8_t command) {
  std::lock_guard lock(mutex_);
  queued_.erase(command);
  always_.erase(command);
}

void ScriptedLine::FailWrites(bool fail) {
  std::lock_guard lock(mutex_);
  failWrites_ = fail;
}

void ScriptedLine::RaiseLineError(uint32_t flags) {
  {
    std::lock_guard lock(mutex_);
    lineErrors_ |= flags;
  }
  lineEvent_.Set();
}

std::vector<SentSequence> ScriptedLine::Sequences() const {
  std::lock_guard lock(mutex_);
  return sequences_;
}

std::vector<uint8_t> ScriptedLine::Commands() const {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> commands;
  for (const auto& sequence : sequences_) commands.push_back(sequence.command);
  return commands;
}

std::vector<uint8_t> ScriptedLine::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void ScriptedLine::ClearRecord() {
  std::lock_guard lock(mutex_);
  sequences_.clear();
  written_.clear();
}

int ScriptedLine::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

std::unique_ptr<SerialDevice> ScriptedLine::OpenDevice() {
  std::lock_guard lock(mutex_);
  ++openCount_;
  pending_.clear();
  expectSequenceStart_ = true;
  return std::make_unique<ScriptedDevice>(*this);
}

void ScriptedLine::StartSequence() {
  std::lock_guard lock(mutex_);
  pending_.clear();
  expectSequenceStart_ = true;
}

void ScriptedLine::ClearPending() {
  std::lock_guard lock(mutex_);
  pending_.clear();
}

void ScriptedLine::OnWrite(uint8_t byte) {
  std::lock_guard lock(mutex_);
  written_.push_back(byte);
  if (expectSequenceStart_) {
    // ESC opens a sequence; the byte after it is the command.
    expectSequenceStart_ = false;
    headerBytes_ = 1;
    currentHasReply_ = false;
    return;
  }
  if (headerBytes_ == 1) {
    headerBytes_ = 2;
    sequences_.push_back({byte, {}});
    if (auto queued = queued_.find(byte); queued != queued_.end() && !queued->second.empty()) {
      current_ = std::move(queued->second.front());
      queued->second.pop_front();
      currentHasReply_ = true;
    } else if (auto always = always_.find(byte); always != always_.end()) {
      current_ = always->second;
      currentHasReply_ = true;
    }
    if (currentHasReply_)
      pending_.insert(pending_.end(), current_.first.begin(), current_.first.end());
    return;
  }
  if (sequences_.empty()) return;
  auto& parameters = sequences_.back().parameters;
  parameters.push_back(byte);
  if (currentHasReply_ && !current_.second.empty() && parameters.size() == current_.parameterCount)
    pending_.insert(pending_.end(), current_.second.begin(), current_.second.end());
}

bool ScriptedLine::TakeByte(uint8_t& byte) {
  std::lock_guard lock(mutex_);
  if (pending_.empty()) return false;
  byte = pending_.front();
  pending_.pop_front();
  return true;
}

ScriptedPort::ScriptedPort(std::shared_ptr<ScriptedLine> line) {
  SetDeviceOpener([line](const PortAddress&) {
    DeviceOpenResult result;
    result.device = line->OpenDevice();
    return result;
  });
  SetPortProbe([](int) { return true; });
}

ScriptedPort::~ScriptedPort() {
  SetDeviceOpener({});
  SetPortProbe({});
}

}  // namespace kestradr::testing
