// Base of the in-memory test devices: settings ignored, time-outs kept to be read back, no
// line errors; a device supplies the two transfers.
#pragma once

#include "event.hpp"
#include "serial_device.hpp"

namespace kestradr::testing {

class InMemoryDevice : public SerialDevice {
 public:
  uint32_t ApplyLineSettings(uint32_t) override { return 0; }
  uint32_t SetQueueSizes(uint32_t, uint32_t) override { return 0; }
  uint32_t GetTimeouts(CommTimeouts& timeouts) override {
    timeouts = timeouts_;
    return 0;
  }
  uint32_t SetTimeouts(const CommTimeouts& timeouts) override {
    timeouts_ = timeouts;
    return 0;
  }
  uint32_t SetEventMask(uint32_t) override { return 0; }
  uint32_t PurgeOutput() override { return 0; }
  uint32_t PurgeInput() override { return 0; }
  uint32_t PurgeAll() override { return 0; }
  // Only the port's stop ends the wait.
  LineWait WaitLineEvent(const Event& stop, uint32_t&) override {
    return WaitForAny({&stop}) == 0 ? LineWait::Stopped : LineWait::Failed;
  }
  uint32_t ClearLineErrors(uint32_t& errors) override {
    errors = 0;
    return 0;
  }
  // No time passes on an in-memory line unless its device makes it.
  void Rest(std::chrono::milliseconds) override {}

 private:
  CommTimeouts timeouts_;
};

}  // namespace kestradr::testing
