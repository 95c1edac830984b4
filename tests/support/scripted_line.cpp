#include "scripted_line.hpp"

#include <utility>

#include "network_route.hpp"

namespace kestradr::testing {

constexpr uint32_t kIoError = 5;  // every transfer on a vanished port

std::vector<uint8_t> InProcessLine::Commands() const {
  std::vector<uint8_t> commands;
  for (const auto& sequence : Sequences()) commands.push_back(sequence.command);
  return commands;
}

void InProcessLine::RaiseLineError(uint32_t flags) {
  Locked([&] { lineErrors_ |= flags; });
  lineEvent_.Set();
}

std::unique_ptr<SerialDevice> InProcessLine::OpenDevice() {
  std::lock_guard lock(mutex_);
  if (gone_) return nullptr;
  ++openCount_;
  pending_.clear();
  expectSequenceStart_ = true;
  return NewDevice();
}

std::unique_ptr<SerialDevice> InProcessLine::NewDevice() {
  return std::make_unique<LineDevice>(*this, weak_from_this().lock());
}

Transfer LineDevice::Write(uint8_t byte, const Event& abort) {
  if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
  auto& l = line_;
  std::lock_guard lock(l.mutex_);
  if (!l.gone_ && l.expectSequenceStart_) l.Begins(static_cast<int>(l.sequences_.size()));
  if (l.gone_) return {TransferStatus::Failed, 0, kIoError};
  if (l.failWrites_) return {TransferStatus::Done, 0, 0};
  l.written_.push_back(byte);
  if (std::exchange(l.expectSequenceStart_, false)) {
    l.headerBytes_ = 1;  // ESC opens a sequence; the byte after it is the command
    l.Answer(byte, InProcessLine::At::kEscape);
  } else if (l.headerBytes_ == 1) {
    l.headerBytes_ = 2;
    l.sequences_.push_back({byte, {}});
    l.Answer(byte, InProcessLine::At::kCommand);
  } else {
    // The other end hears every byte, also one the record was cleared before (over the
    // network a sequence's tail may still be on its way when the driver returns).
    if (!l.sequences_.empty()) l.sequences_.back().parameters.push_back(byte);
    l.Answer(byte, InProcessLine::At::kParameter);
  }
  return {TransferStatus::Done, 1, 0};
}

Transfer LineDevice::Read(uint8_t& byte, const Event& abort) {
  if (abort.IsSet()) return {TransferStatus::Aborted, 0, 0};
  std::lock_guard lock(line_.mutex_);
  if (line_.gone_) return {TransferStatus::Failed, 0, kIoError};
  if (line_.pending_.empty()) return {TransferStatus::Done, 0, 0};
  byte = line_.pending_.front();
  line_.pending_.pop_front();
  ++line_.read_;
  return {TransferStatus::Done, 1, 0};
}

uint32_t LineDevice::PurgeInput() {
  std::lock_guard lock(line_.mutex_);
  line_.pending_.clear();
  line_.expectSequenceStart_ = true;
  return 0;
}

uint32_t LineDevice::PurgeAll() {
  std::lock_guard lock(line_.mutex_);
  line_.pending_.clear();
  return 0;
}

LineWait LineDevice::WaitLineEvent(const Event& stop, uint32_t& mask) {
  const int index = WaitForAny({&stop, &line_.lineEvent_});
  if (index == 0) return LineWait::Stopped;
  if (index != 1) return LineWait::Failed;
  line_.lineEvent_.Reset();
  mask = kEventError;
  return LineWait::Event;
}

uint32_t LineDevice::ClearLineErrors(uint32_t& errors) {
  std::lock_guard lock(line_.mutex_);
  errors = std::exchange(line_.lineErrors_, 0);
  return 0;
}

void ScriptedLine::Reply(uint8_t command, std::vector<uint8_t> first, size_t count,
                         std::vector<uint8_t> second) {
  Locked([&] { queued_[command].push_back({std::move(first), count, std::move(second)}); });
}

void ScriptedLine::Always(uint8_t command, std::vector<uint8_t> first, size_t count,
                          std::vector<uint8_t> second) {
  Locked([&] { always_[command] = {std::move(first), count, std::move(second)}; });
}

void ScriptedLine::Forget(uint8_t command) {
  Locked([&] {
    queued_.erase(command);
    always_.erase(command);
  });
}

void ScriptedLine::Answer(uint8_t byte, At at) {
  if (at == At::kCommand) {
    current_.reset();
    if (auto queued = queued_.find(byte); queued != queued_.end() && !queued->second.empty()) {
      current_ = std::move(queued->second.front());
      queued->second.pop_front();
    } else if (auto always = always_.find(byte); always != always_.end()) {
      current_ = always->second;
    }
    if (current_) Queue(current_->first);
  } else if (at == At::kParameter && current_ && !current_->second.empty() && !sequences_.empty() &&
             sequences_.back().parameters.size() == current_->parameterCount) {
    Queue(current_->second);
  }
}

void RouteTo(std::shared_ptr<InProcessLine> line) {
  SetPortProbe(line ? PortProbe([](int) { return true; }) : PortProbe());
  if (!line) return SetDeviceOpener({});
#ifndef _WIN32
  if (!NetworkRouteMode().empty()) return SetDeviceOpener(NetworkOpener(std::move(line)));
#endif
  SetDeviceOpener([line](const PortAddress&) {
    DeviceOpenResult result;
    result.device = line->OpenDevice();
    if (!result.device) result.osError = kErrorFileNotFound;
    return result;
  });
}

}  // namespace kestradr::testing
