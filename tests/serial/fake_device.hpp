// A scripted SerialDevice for tests of the port object: the test says how each write
// and read ends, and raises line errors at will. State is shared with the test through
// a FakeLine, since the port object owns (and destroys) the device.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "event.hpp"
#include "serial_device.hpp"

namespace kestradr::testing {

struct FakeLine {
  std::mutex mutex;
  // Outcomes of the next writes/reads; when empty a write succeeds and a read times out.
  std::deque<Transfer> writes;
  std::deque<std::pair<Transfer, uint8_t>> reads;
  bool writesBlockUntilAbort = false;
  Event writeBlocked;  // set once a write waits for its abort
  std::vector<uint8_t> written;
  std::vector<const char*> purges;
  uint32_t purgeOutputResult = 0;
  uint32_t lineSettingsResult = 0;
  uint32_t appliedBaud = 0;
  CommTimeouts timeouts{1, 2, 3, 4, 5};  // what the device had before the driver came
  uint32_t pendingErrors = 0;
  Event lineEvent;
  int opens = 0;
  int devicesAlive = 0;

  void RaiseLineErrors(uint32_t errors) {
    {
      std::lock_guard lock(mutex);
      pendingErrors |= errors;
    }
    lineEvent.Set();
  }
};

class FakeDevice final : public SerialDevice {
 public:
  explicit FakeDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {
    std::lock_guard lock(line_->mutex);
    ++line_->devicesAlive;
  }
  ~FakeDevice() override {
    std::lock_guard lock(line_->mutex);
    --line_->devicesAlive;
  }

  uint32_t ApplyLineSettings(uint32_t baud) override {
    std::lock_guard lock(line_->mutex);
    line_->appliedBaud = baud;
    return line_->lineSettingsResult;
  }
  uint32_t SetQueueSizes(uint32_t, uint32_t) override { return 0; }
  uint32_t GetTimeouts(CommTimeouts& timeouts) override {
    std::lock_guard lock(line_->mutex);
    timeouts = line_->timeouts;
    return 0;
  }
  uint32_t SetTimeouts(const CommTimeouts& timeouts) override {
    std::lock_guard lock(line_->mutex);
    line_->timeouts = timeouts;
    return 0;
  }
  uint32_t SetEventMask(uint32_t) override { return 0; }

  Transfer Write(uint8_t byte, const Event& abort) override {
    std::unique_lock lock(line_->mutex);
    if (line_->writesBlockUntilAbort) {
      lock.unlock();
      line_->writeBlocked.Set();
      WaitForAny({&abort});
      return {TransferStatus::Aborted, 0, 0};
    }
    Transfer outcome{TransferStatus::Done, 1, 0};
    if (!line_->writes.empty()) {
      outcome = line_->writes.front();
      line_->writes.pop_front();
    }
    if (outcome.count == 1) line_->written.push_back(byte);
    return outcome;
  }
  Transfer Read(uint8_t& byte, const Event&) override {
    std::lock_guard lock(line_->mutex);
    if (line_->reads.empty()) return {TransferStatus::Done, 0, 0};
    auto [outcome, value] = line_->reads.front();
    line_->reads.pop_front();
    byte = value;
    return outcome;
  }

  uint32_t PurgeOutput() override { return Purge("output", line_->purgeOutputResult); }
  uint32_t PurgeInput() override { return Purge("input", 0); }
  uint32_t PurgeAll() override { return Purge("all", 0); }

  LineWait WaitLineEvent(const Event& stop, uint32_t& mask) override {
    const int woken = WaitForAny({&stop, &line_->lineEvent});
    if (woken != 1) return woken == 0 ? LineWait::Stopped : LineWait::Failed;
    line_->lineEvent.Reset();
    mask = kEventError;
    return LineWait::Event;
  }
  uint32_t ClearLineErrors(uint32_t& errors) override {
    std::lock_guard lock(line_->mutex);
    errors = line_->pendingErrors;
    line_->pendingErrors = 0;
    return 0;
  }

 private:
  uint32_t Purge(const char* which, uint32_t result) {
    std::lock_guard lock(line_->mutex);
    line_->purges.push_back(which);
    return result;
  }

  std::shared_ptr<FakeLine> line_;
};

// Installs an opener that hands out FakeDevices on `line` (or fails with `osError`).
inline void InstallFakeLine(const std::shared_ptr<FakeLine>& line) {
  SetDeviceOpener([line](const PortAddress&) {
    {
      std::lock_guard lock(line->mutex);
      ++line->opens;
    }
    DeviceOpenResult result;
    result.device = std::make_unique<FakeDevice>(line);
    return result;
  });
}

}  // namespace kestradr::testing
